// The about panel: version line, logo, website link, closing.
#include "aboutview.h"
#include "apptheme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Stands in for the browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

struct Panel
{
    explicit Panel(AboutView::Details details)
        : view(std::make_unique<AboutView>(std::move(details), [this] { ++closes; }))
    {
        view->resize(780, 460);
        view->show();
    }

    QWidget *child(const char *name) const { return view->findChild<QWidget *>(name); }
    QString text(const char *name) const { return view->findChild<QLabel *>(name)->text(); }
    // The empty space between two items of the column.
    int gap(const char *upper, const char *lower) const
    {
        return child(lower)->geometry().top() - child(upper)->geometry().bottom() - 1;
    }

    int closes = 0;
    std::unique_ptr<AboutView> view;
};

AboutView::Details details(QUrl website = QUrl("https://parlora.app/about"),
                           QString logo = AboutView::defaultLogoPath)
{
    return {QStringLiteral("2.3"), QStringLiteral("57"), std::move(website), std::move(logo)};
}

void saveScreenshot(QWidget *panel, const QString &name)
{
    // Laid out as it would be before the next paint on screen.
    QCoreApplication::sendPostedEvents();
    panel->layout()->activate();
    const AppTheme::Colors &colors = AppTheme::colors();
    QImage image(panel->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(colors.window);
    {
        QPainter painter(&image);
        painter.fillRect(QRect(QPoint(), panel->size()), colors.tint);
    }
    panel->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QString folder = QCoreApplication::applicationDirPath() + QLatin1String("/screenshots");
    QDir().mkpath(folder);
    QVERIFY(image.save(folder + QLatin1Char('/') + name + QLatin1String(".png")));
}

} // namespace

class TestAboutView : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDesktopServices::setUrlHandler("https", &m_browser, "open"); }
    void cleanup()
    {
        QDesktopServices::unsetUrlHandler("https");
        m_browser.opened.clear();
    }

    void versionLine_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("build");
        QTest::addColumn<QString>("line");
        QTest::newRow("both") << "2.3"
                              << "57"
                              << "Version 2.3 (57)";
        QTest::newRow("neither") << ""
                                 << ""
                                 << "Version 1.0 (1)";
        QTest::newRow("no build") << "2.3"
                                  << ""
                                  << "Version 2.3 (1)";
        QTest::newRow("no version") << ""
                                    << "57"
                                    << "Version 1.0 (57)";
        QTest::newRow("placeholders in values") << "%2"
                                                << "%1"
                                                << "Version %2 (%1)";
    }
    void versionLine()
    {
        QFETCH(QString, version);
        QFETCH(QString, build);
        QFETCH(QString, line);
        QCOMPARE(AboutView::versionLine(version, build), line);
        Panel panel({version, build, QUrl(), QString()});
        QCOMPARE(panel.text("version"), line);
    }

    void column()
    {
        Panel panel(details());
        QCOMPARE(panel.text("header"), "About");
        QCOMPARE(panel.text("title"), "Parlora - Quenzal");
        QCOMPARE(panel.text("tagline"), "AI-powered translator");
        QCOMPARE(panel.child("logo")->size(), QSize(80, 80));
        QCOMPARE(panel.gap("header", "logo"), 16 + 4);
        QCOMPARE(panel.gap("logo", "title"), 16);
        QCOMPARE(panel.gap("title", "version"), 16);
        QCOMPARE(panel.gap("version", "tagline"), 16 + 4);
        QCOMPARE(panel.gap("tagline", "website"), 16);
        // Centred in the panel, both ways.
        const int centre = panel.view->width() / 2;
        for (const char *name : {"logo", "title", "version", "tagline", "website"}) {
            QVERIFY2(qAbs(panel.child(name)->geometry().center().x() - centre) <= 1, name);
        }
        const int above = panel.child("header")->geometry().top();
        const int below = panel.view->height() - 1 - panel.child("website")->geometry().bottom();
        QVERIFY(qAbs(above - below) <= 1);
        QVERIFY(above >= 24);
    }

    void logoLeftOut_data()
    {
        QTest::addColumn<QString>("contents"); // written to a file, unless empty
        QTest::newRow("missing") << "";
        QTest::newRow("not an image") << "<svg this is not";
        QTest::newRow("empty file") << " ";
    }
    void logoLeftOut()
    {
        QFETCH(QString, contents);
        QTemporaryDir dir;
        const QString path = dir.filePath("parlora-about.svg");
        if (!contents.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents.toUtf8());
        }
        Panel panel(details(QUrl("https://parlora.app"), path));
        QVERIFY(!panel.child("logo"));
        QCOMPARE(panel.gap("header", "title"), 16 + 4);
    }

    void website_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("text"); // empty: no link
        QTest::newRow("address with path") << QUrl("https://parlora.app/about") << "parlora.app";
        QTest::newRow("plain http") << QUrl("http://www.example.org") << "www.example.org";
        QTest::newRow("none") << QUrl() << "";
        QTest::newRow("not a web address") << QUrl("mailto:help@parlora.app") << "";
        QTest::newRow("no host") << QUrl("https://") << "";
        QTest::newRow("relative") << QUrl("parlora.app") << "";
    }
    void website()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, text);
        QCOMPARE(AboutView::websiteText(url), text);
        Panel panel(details(url));
        if (text.isEmpty()) {
            QVERIFY(!panel.child("website"));
            QCOMPARE(panel.gap("version", "tagline"), 16 + 4);
            return;
        }
        QCOMPARE(panel.text("website"), text);
        QCOMPARE(panel.child("website")->palette().color(QPalette::WindowText),
                 AppTheme::colors().accent);
    }

    void linkOpensTheWebsite()
    {
        Panel panel(details());
        QWidget *link = panel.child("website");
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(m_browser.opened, QList<QUrl>{QUrl("https://parlora.app/about")});

        // Let go elsewhere: no click.
        QTest::mousePress(link, Qt::LeftButton);
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-20, -20));
        QCOMPARE(m_browser.opened.size(), 1);

        link->setFocus();
        QTest::keyClick(link, Qt::Key_Return);
        QCOMPARE(m_browser.opened.size(), 2);
        QVERIFY(panel.view->isVisible());
    }

    void closeButtonClosesOncePerClick()
    {
        Panel panel(details());
        auto *close = panel.view->findChild<QAbstractButton *>("close");
        QTest::mouseClick(close, Qt::LeftButton);
        QTRY_COMPARE(panel.closes, 1);
        QTest::mouseClick(close, Qt::LeftButton);
        QTRY_COMPARE(panel.closes, 2);
    }

    void closeMayDiscardThePanel()
    {
        std::unique_ptr<AboutView> view;
        int closes = 0;
        view = std::make_unique<AboutView>(details(), [&] {
            ++closes;
            view.reset();
        });
        view->show();
        QTest::mouseClick(view->findChild<QAbstractButton *>("close"), Qt::LeftButton);
        QTRY_COMPARE(closes, 1);
        QVERIFY(!view);
    }

    void deploymentDetailsHaveOurLogo()
    {
        const AboutView::Details own = AboutView::deploymentDetails();
        QVERIFY(!own.version.isEmpty());
        Panel panel(own);
        QVERIFY(panel.child("logo"));
    }

    void screenshots_data()
    {
        QTest::addColumn<AppTheme::Scheme>("scheme");
        QTest::addColumn<QString>("name");
        QTest::newRow("light") << AppTheme::Scheme::light << "about-light";
        QTest::newRow("dark") << AppTheme::Scheme::dark << "about-dark";
    }
    void screenshots()
    {
        QFETCH(AppTheme::Scheme, scheme);
        QFETCH(QString, name);
        AppTheme::apply(scheme);
        Panel panel(details(QUrl("https://parlora.app")));
        saveScreenshot(panel.view.get(), name);
        AppTheme::apply(AppTheme::Scheme::light);
    }

private:
    UrlCatcher m_browser;
};

// At twice the pixel density, so that the screenshots show the panel as a HiDPI screen does.
int main(int argc, char **argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestAboutView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_aboutview.moc"
