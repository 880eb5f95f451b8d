// The about panel: the version line, the logo and the website link, and closing.
#include "aboutview.h"
#include "panelhost.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAboutView : public QObject
{
    Q_OBJECT

public slots:
    void openInBrowser(const QUrl &url) { m_opened.append(url); }

private slots:
    void details_data()
    {
        QTest::addColumn<QStringList>("details"); // version, build, website, logo's file
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("link"); // empty: none
        QTest::addColumn<bool>("logo");
        QTest::newRow("all known")
            << QStringList{"2.3", "57", "https://parlora.app/about", AboutView::defaultLogoPath}
            << u"Version 2.3 (57)"_s << u"parlora.app"_s << true;
        QTest::newRow("nothing known, not a web address, a logo not an image")
            << QStringList{"", "", "mailto:a@parlora.app", QCoreApplication::applicationFilePath()}
            << u"Version 1.0 (1)"_s << u""_s << false;
    }
    void details()
    {
        QFETCH(QStringList, details);
        QFETCH(QString, line);
        QFETCH(QString, link);
        QFETCH(bool, logo);
        PanelHost host;
        auto *view = host.show(
            new AboutView({details[0], details[1], QUrl(details[2]), details[3]}, host.closer()));
        const auto *website = view->findChild<QLabel *>("website");
        QCOMPARE(view->findChild<QLabel *>("version")->text(), line);
        QCOMPARE(website ? website->text() : QString(), link);
        QCOMPARE(view->findChild<QWidget *>("logo") != nullptr, logo);
    }

    // A click or Return opens the website, a press let go elsewhere does not. The popover
    // deletes a panel as it closes it, from within the close button's click.
    void linkAndClose()
    {
        const QUrl address(u"https://parlora.app/about"_s);
        QDesktopServices::setUrlHandler("https", this, "openInBrowser");
        PanelHost host;
        auto *view = host.show(new AboutView({"2.3", "57", address, {}}, [&host] {
            ++host.closes;
            host.discard();
        }));
        auto *link = view->findChild<QLabel *>("website");
        QTest::mouseClick(link, Qt::LeftButton);
        QTest::mousePress(link, Qt::LeftButton);
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-20, -20));
        link->setFocus();
        QTest::keyClick(link, Qt::Key_Return);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened, (QList<QUrl>{address, address}));
        QCOMPARE(host.closes, 0);
        QTest::mouseClick(view->findChild<QAbstractButton *>("close"), Qt::LeftButton);
        QTRY_VERIFY(!host.window());
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestAboutView)
#include "tst_aboutview.moc"
