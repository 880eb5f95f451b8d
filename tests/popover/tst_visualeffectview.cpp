// The popover's backdrop: the colours it paints in both schemes, with and without a compositor,
// and, on a real X display (scripts/with-desktop), the blur it asks KWin for.
#include "apptheme.h"
#include "visualeffectview.h"
#include "windowhints.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace {

// Only the desktop scripts/with-desktop starts is ours to open windows on: with no promise of
// one, the display found may well be the user's own.
bool desktopExpected()
{
    return qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP");
}

bool onOwnDesktop()
{
    return desktopExpected() && !qEnvironmentVariableIsEmpty("DISPLAY");
}

bool x11Asked = false;

struct BlurProperty
{
    xcb_atom_t type = XCB_ATOM_NONE;
    int format = 0;
    QRegion region;
    int rectangles = 0;
};

// The window's _KDE_NET_WM_BLUR_BEHIND_REGION as the X server holds it; nothing when it has none.
std::optional<BlurProperty> blurProperty(QWindow *window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11->connection();
    const QByteArray name = "_KDE_NET_WM_BLUR_BEHIND_REGION";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()),
            nullptr),
        &std::free);
    if (!atom) {
        return std::nullopt;
    }
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, xcb_window_t(window->winId()),
                                                atom->atom, XCB_ATOM_ANY, 0, 1 << 16),
                               nullptr),
        &std::free);
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    BlurProperty property;
    property.type = reply->type;
    property.format = reply->format;
    const int values = xcb_get_property_value_length(reply.get()) / 4;
    const auto *data = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    property.rectangles = values / 4;
    for (int i = 0; i + 3 < values; i += 4) {
        property.region |=
            QRect(int(data[i]), int(data[i + 1]), int(data[i + 2]), int(data[i + 3]));
    }
    return property;
}

QColor centre(QWidget &widget)
{
    return widget.grab().toImage().pixelColor(widget.width() / 2, widget.height() / 2);
}

bool near(const QColor &actual, const QColor &expected)
{
    return std::abs(actual.red() - expected.red()) <= 2 &&
           std::abs(actual.green() - expected.green()) <= 2 &&
           std::abs(actual.blue() - expected.blue()) <= 2 &&
           std::abs(actual.alpha() - expected.alpha()) <= 2;
}

QString describe(const QColor &color)
{
    return color.name(QColor::HexArgb);
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

} // namespace

class TestVisualEffectView : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { AppTheme::apply(AppTheme::Scheme::light); }

    void colours_data()
    {
        QTest::addColumn<AppTheme::Scheme>("scheme");
        QTest::addColumn<bool>("translucent");
        QTest::addColumn<QColor>("outer");
        QTest::addColumn<QColor>("nested");
        // Over the desktop: the tint alone, and twice over inside a nested backdrop.
        QTest::newRow("light, composited")
            << AppTheme::Scheme::light << true << QColor(255, 255, 255, 128)
            << QColor(255, 255, 255, 191);
        QTest::newRow("dark, composited")
            << AppTheme::Scheme::dark << true << QColor(0, 0, 0, 38) << QColor(0, 0, 0, 71);
        // Without: the window colour (0xec or 0x2d) with the tint over it, each time.
        QTest::newRow("light, opaque")
            << AppTheme::Scheme::light << false << QColor(246, 246, 246) << QColor(246, 246, 246);
        QTest::newRow("dark, opaque")
            << AppTheme::Scheme::dark << false << QColor(38, 38, 38) << QColor(38, 38, 38);
    }
    void colours()
    {
        QFETCH(AppTheme::Scheme, scheme);
        QFETCH(bool, translucent);
        QFETCH(QColor, outer);
        QFETCH(QColor, nested);
        AppTheme::apply(scheme);
        VisualEffectView backdrop;
        backdrop.setAttribute(Qt::WA_TranslucentBackground, translucent);
        // A window background of its own must not show: the backdrop paints all of it.
        QPalette palette = backdrop.palette();
        palette.setColor(QPalette::Window, Qt::red);
        backdrop.setPalette(palette);
        backdrop.resize(200, 120);
        auto *inner = new VisualEffectView(&backdrop);
        inner->setGeometry(100, 0, 100, 120);
        QCOMPARE(backdrop.showsDesktop(), translucent);
        QCOMPARE(inner->showsDesktop(), translucent);

        const QImage image = backdrop.grab().toImage();
        const QColor outerPixel = image.pixelColor(50, 60);
        const QColor nestedPixel = image.pixelColor(150, 60);
        QVERIFY2(near(outerPixel, outer), qPrintable(describe(outerPixel)));
        QVERIFY2(near(nestedPixel, nested), qPrintable(describe(nestedPixel)));
    }

    void roundedCorners()
    {
        VisualEffectView backdrop;
        backdrop.setAttribute(Qt::WA_TranslucentBackground);
        backdrop.setCornerRadius(16);
        backdrop.resize(200, 120);
        const QImage image = backdrop.grab().toImage();
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(199, 0), QPoint(0, 119), QPoint(199, 119), QPoint(2, 2)}) {
            QCOMPARE(image.pixelColor(corner).alpha(), 0);
        }
        QVERIFY(near(image.pixelColor(16, 0), QColor(255, 255, 255, 128)));
        QVERIFY(near(image.pixelColor(6, 6), QColor(255, 255, 255, 128)));
    }

    // The tint follows a change of scheme at the next paint, which the change itself brings.
    void schemeChangeRepaints_data()
    {
        QTest::addColumn<bool>("translucent");
        QTest::newRow("composited") << true;
        QTest::newRow("opaque") << false;
    }
    void schemeChangeRepaints()
    {
        QFETCH(bool, translucent);
        QWidget window;
        window.setAttribute(Qt::WA_TranslucentBackground, translucent);
        window.resize(200, 120);
        auto *backdrop = new VisualEffectView(&window);
        backdrop->resize(window.size());
        PaintCounter counter;
        backdrop->installEventFilter(&counter);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        const int before = counter.paints;

        AppTheme::apply(AppTheme::Scheme::dark);
        QCoreApplication::processEvents();
        QVERIFY(counter.paints > before);
        const QColor dark = centre(window);
        QVERIFY2(near(dark, translucent ? QColor(0, 0, 0, 38) : QColor(38, 38, 38)),
                 qPrintable(describe(dark)));

        AppTheme::apply(AppTheme::Scheme::light);
        const QColor light = centre(window);
        QVERIFY2(near(light, translucent ? QColor(255, 255, 255, 128) : QColor(246, 246, 246)),
                 qPrintable(describe(light)));
    }

    void blurRequestOnARealWindow()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            if (desktopExpected() && x11Asked) {
                QFAIL("QUENZAL_TEST_DESKTOP is set but there is no X display: run under "
                      "scripts/with-desktop");
            }
            QSKIP("needs an X desktop of its own: run under scripts/with-desktop");
        }
        QWidget window(nullptr, Qt::FramelessWindowHint);
        window.setWindowTitle("tst_visualeffectview");
        window.setAttribute(Qt::WA_TranslucentBackground);
        auto *backdrop = new VisualEffectView(&window);
        backdrop->setCornerRadius(16);
        // As the popover's window does.
        connect(backdrop, &VisualEffectView::blurRequested, this,
                [](QWindow *window, const QRegion &region) {
                    WindowHints::requestBlurBehind(window, true, region);
                });
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(backdrop);
        // A nested backdrop adds its tint, not a region of its own.
        auto *nested = new VisualEffectView(backdrop);
        nested->setGeometry(40, 40, 100, 50);
        window.setGeometry(200, 200, 320, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWindow *handle = window.windowHandle();

        std::optional<BlurProperty> property = blurProperty(handle);
        QVERIFY(property);
        QCOMPARE(property->type, xcb_atom_t(XCB_ATOM_CARDINAL));
        QCOMPARE(property->format, 32);
        QVERIFY(property->rectangles > 1); // the rounded corners take several
        QCOMPARE(property->region.boundingRect(), QRect(QPoint(0, 0), window.size()));
        QVERIFY(property->region.contains(QPoint(160, 100)));
        QVERIFY(property->region.contains(QPoint(160, 0)));
        QVERIFY(!property->region.contains(QPoint(0, 0)));
        QVERIFY(!property->region.contains(QPoint(319, 199)));

        // It follows the window's size.
        window.resize(400, 260);
        QTRY_COMPARE(blurProperty(handle)->region.boundingRect(), QRect(0, 0, 400, 260));

        // Asked for without a region: the whole window, as an empty list.
        WindowHints::requestBlurBehind(handle, true);
        property = blurProperty(handle);
        QVERIFY(property);
        QCOMPARE(property->type, xcb_atom_t(XCB_ATOM_CARDINAL));
        QCOMPARE(property->rectangles, 0);

        WindowHints::requestBlurBehind(handle, false);
        QVERIFY(!blurProperty(handle));

        // An opaque window asks for no blur at all.
        QWidget opaque(nullptr, Qt::FramelessWindowHint);
        (new VisualEffectView(&opaque))->resize(200, 100);
        opaque.setGeometry(200, 200, 200, 100);
        opaque.show();
        QVERIFY(QTest::qWaitForWindowExposed(&opaque));
        QVERIFY(!blurProperty(opaque.windowHandle()));
    }

    // Not a check: pictures to look at, under the build folder.
    void renderStates()
    {
        const QString folder = QCoreApplication::applicationDirPath() + "/backdrop-png";
        QVERIFY(QDir().mkpath(folder));
        // A stand-in for the desktop behind a composited window.
        QImage desktop(360, 220, QImage::Format_ARGB32_Premultiplied);
        QPainter desktopPainter(&desktop);
        QLinearGradient gradient(0, 0, 360, 220);
        gradient.setColorAt(0, QColor(0x2a, 0x6f, 0xdb));
        gradient.setColorAt(1, QColor(0xe0, 0x7a, 0x2f));
        desktopPainter.fillRect(desktop.rect(), gradient);
        desktopPainter.end();

        for (AppTheme::Scheme scheme : {AppTheme::Scheme::light, AppTheme::Scheme::dark}) {
            AppTheme::apply(scheme);
            for (bool translucent : {true, false}) {
                QWidget window;
                window.setAttribute(Qt::WA_TranslucentBackground, translucent);
                window.resize(320, 180);
                auto *backdrop = new VisualEffectView(&window);
                backdrop->setCornerRadius(16);
                backdrop->resize(window.size());
                auto *nested = new VisualEffectView(backdrop);
                nested->setGeometry(20, 60, 280, 100);
                auto *label = new QLabel("Backdrop, and a nested one", backdrop);
                label->move(20, 24);
                const QImage grabbed = window.grab().toImage();
                QImage composed = desktop.copy();
                QPainter painter(&composed);
                painter.drawImage(20, 20, grabbed);
                painter.end();
                QVERIFY(composed.save(folder +
                                      QString("/backdrop-%1-%2.png")
                                          .arg(scheme == AppTheme::Scheme::dark ? "dark" : "light")
                                          .arg(translucent ? "composited" : "opaque")));
            }
        }
    }
};

int main(int argc, char **argv)
{
    x11Asked = qgetenv("QT_QPA_PLATFORM") == "xcb";
    // Elsewhere the X11 tests skip, or fail when a desktop was promised.
    if (!onOwnDesktop()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    AppTheme::apply(AppTheme::Scheme::light);
    TestVisualEffectView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_visualeffectview.moc"
