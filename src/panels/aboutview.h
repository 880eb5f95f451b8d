#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class CloseButton;

// The "About" panel: the product's round logo, name, version and website, in one column
// centred in the space the host gives it. Keeps no state; a host makes a new one for each
// showing.
class AboutView : public QWidget
{
    Q_OBJECT

public:
    struct Details
    {
        QString version;  // empty: "1.0"
        QString build;    // empty: "1"
        QUrl website;     // the link is left out unless this is an http(s) address with a host
        QString logoPath; // an image, SVG or raster; left out when it cannot be read
    };

    static constexpr int logoSize = 80;
    static inline const QString defaultLogoPath = QStringLiteral(":/parlora-about.svg");

    // The deployment's version, build and website, and our own logo.
    static Details deploymentDetails();

    explicit AboutView(std::function<void()> onClose, QWidget *parent = nullptr);
    AboutView(Details details, std::function<void()> onClose, QWidget *parent = nullptr);
    ~AboutView() override;

    // "Version 2.3 (57)", the fallbacks standing in for empty values.
    static QString versionLine(const QString &version, const QString &build);
    // The host name shown for `website`; empty when the link is to be left out.
    static QString websiteText(const QUrl &website);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyColors();

    std::function<void()> m_onClose;
    bool m_applyingColors = false;

    QLabel *m_header;
    CloseButton *m_closeButton;
    QWidget *m_logo = nullptr;
    QLabel *m_title;
    QLabel *m_version;
    QLabel *m_tagline;
    QLabel *m_link = nullptr;
};
