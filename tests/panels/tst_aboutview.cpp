// The about panel: the version line, the logo and the website link, closing, and the colours
// of the scheme in use.
#include "aboutview.h"
#include "apptheme.h"
#include "panelhost.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Stands in for the browser.
class Browser : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

const QUrl address(u"https://parlora.app/about"_s);

} // namespace

class TestAboutView : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDesktopServices::setUrlHandler("https", &m_browser, "open"); }
    void cleanup()
    {
        QDesktopServices::unsetUrlHandler("https");
        AppTheme::apply(AppTheme::Scheme::light);
    }

    void versionLine_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("build");
        QTest::addColumn<QString>("line");
        QTest::newRow("both") << u"2.3"_s << u"57"_s << u"Version 2.3 (57)"_s;
        QTest::newRow("neither") << u""_s << u""_s << u"Version 1.0 (1)"_s;
        QTest::newRow("placeholders in values") << u"%2"_s << u"%1"_s << u"Version %2 (%1)"_s;
    }
    void versionLine()
    {
        QFETCH(QString, version);
        QFETCH(QString, build);
        QFETCH(QString, line);
        PanelHost host;
        auto *view = host.show(new AboutView({version, build, QUrl(), QString()}, host.closer()));
        QCOMPARE(view->findChild<QLabel *>("version")->text(), line);
    }

    void logoAndLink_data()
    {
        QTest::addColumn<QString>("logo"); // "ours", else what the logo's file holds ("": none)
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("link"); // empty: no link
        QTest::newRow("address with a path") << u"ours"_s << address << u"parlora.app"_s;
        QTest::newRow("plain http") << u"ours"_s << QUrl("http://example.org") << u"example.org"_s;
        QTest::newRow("no address") << u"ours"_s << QUrl() << u""_s;
        QTest::newRow("not a web address") << u"ours"_s << QUrl("mailto:a@parlora.app") << u""_s;
        QTest::newRow("no host") << u"ours"_s << QUrl("https://") << u""_s;
        QTest::newRow("logo missing") << u""_s << address << u"parlora.app"_s;
        QTest::newRow("logo not an image") << u"<svg this is not"_s << address << u"parlora.app"_s;
    }
    void logoAndLink()
    {
        QFETCH(QString, logo);
        QFETCH(QUrl, url);
        QFETCH(QString, link);
        QTemporaryDir dir;
        QString path = logo == "ours" ? AboutView::defaultLogoPath : dir.filePath("logo.svg");
        QFile file(path);
        QVERIFY(logo.isEmpty() || logo == "ours" ||
                (file.open(QIODevice::WriteOnly) && file.write(logo.toUtf8()) && file.flush()));
        PanelHost host;
        auto *view = host.show(new AboutView({"2.3", "57", url, path}, host.closer()));
        QCOMPARE(view->findChild<QWidget *>("logo") != nullptr, logo == "ours");
        const auto *label = view->findChild<QLabel *>("website");
        QCOMPARE(label ? label->text() : QString(), link);
    }

    // A click or Return opens the website, a press let go elsewhere does not. The popover
    // deletes a panel as it closes it, from within the close button's click.
    void linkAndClose()
    {
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
        QCOMPARE(m_browser.opened, (QList<QUrl>{address, address}));
        QCOMPARE(host.closes, 0);
        QTest::mouseClick(view->findChild<QAbstractButton *>("close"), Qt::LeftButton);
        QTRY_VERIFY(!host.window());
    }

    void schemeChangeRecolours()
    {
        PanelHost host;
        const auto *title = host.show(new AboutView(host.closer()))->findChild<QLabel *>("title");
        for (const auto scheme : {AppTheme::Scheme::dark, AppTheme::Scheme::light}) {
            AppTheme::apply(scheme);
            QCOMPARE(title->palette().color(QPalette::WindowText), AppTheme::colors(scheme).label);
        }
    }

private:
    Browser m_browser;
};

QTEST_MAIN(TestAboutView)
#include "tst_aboutview.moc"
