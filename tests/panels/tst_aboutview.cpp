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
    // What the build does not know reads as 1.0 (1); only a web address is a link, and a logo
    // file that is no image shows no logo.
    void details()
    {
        PanelHost host;
        auto *view = host.show(new AboutView(
            {"2.3", "57", QUrl(u"https://parlora.app/about"_s), AboutView::defaultLogoPath},
            host.closer));
        QCOMPARE(view->findChild<QLabel *>("version")->text(), "Version 2.3 (57)");
        QCOMPARE(view->findChild<QLabel *>("website")->text(), "parlora.app");
        QVERIFY(view->findChild<QWidget *>("logo"));
        view = host.show(new AboutView(
            {"", "", QUrl(u"mailto:a@parlora.app"_s), QCoreApplication::applicationFilePath()},
            host.closer));
        QCOMPARE(view->findChild<QLabel *>("version")->text(), "Version 1.0 (1)");
        QVERIFY(!view->findChild<QLabel *>("website"));
        QVERIFY(!view->findChild<QWidget *>("logo"));
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
        QTest::mouseClick(view->findChild<QAbstractButton *>("close"), Qt::LeftButton);
        QTRY_VERIFY(!host.window());
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestAboutView)
#include "tst_aboutview.moc"
