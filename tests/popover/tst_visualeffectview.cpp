// The popover's backdrop: what it paints in either scheme, with and without a compositor, and,
// on a real X display (scripts/with-desktop), the blur it asks KWin for.
#include "apptheme.h"
#include "visualeffectview.h"
#include "windowhints.h"
#include "x11display.h"

#include <QApplication>
#include <QTest>
#include <QWindow>

#include <xcb/xcb.h>

namespace {

// Only the desktop scripts/with-desktop starts is ours to open windows on, and there the X11
// test runs when asked for, rather than skip.
const bool desktopExpected = qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP");
bool x11Required = false;

// The window's _KDE_NET_WM_BLUR_BEHIND_REGION, when the X server holds it as 32-bit cardinals.
std::optional<QRegion> blurOf(QWindow *window)
{
    xcb_connection_t *x = X11Display::connection();
    const auto cookie = xcb_get_property(x, 0, xcb_window_t(window->winId()),
                                         X11Display::atom(x, "_KDE_NET_WM_BLUR_BEHIND_REGION"),
                                         XCB_ATOM_ANY, 0, 1 << 16);
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(x, cookie, nullptr), &std::free);
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32) {
        return std::nullopt;
    }
    const auto *data = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    QRegion region;
    for (int i = 0; i + 4 <= xcb_get_property_value_length(reply.get()) / 4; i += 4) {
        region |= QRect(int(data[i]), int(data[i + 1]), int(data[i + 2]), int(data[i + 3]));
    }
    return region;
}

} // namespace

class TestVisualEffectView : public QObject
{
    Q_OBJECT

private slots:
    // The desktop shows through the tint where there is a compositor, and there a nested backdrop
    // adds its tint and the corners are round; else the window colour is under the tint. The
    // colours are the scheme's at the time of painting.
    void paints()
    {
        // A translucent window, an opaque one, and a translucent one only for its corners.
        for (const auto &[translucent, opaque] :
             {std::pair(true, false), std::pair(false, false), std::pair(true, true)}) {
            VisualEffectView backdrop;
            backdrop.setAttribute(Qt::WA_TranslucentBackground, translucent);
            backdrop.setOpaque(opaque);
            backdrop.setCornerRadius(16);
            backdrop.resize(200, 120);
            (new VisualEffectView(&backdrop))->setGeometry(100, 40, 60, 40);
            (new VisualEffectView(&backdrop))->setGeometry(0, 0, 20, 20); // over a corner
            const bool desktop = translucent && !opaque;
            QCOMPARE(backdrop.showsDesktop(), desktop);
            const QImage light = backdrop.grab().toImage();
            AppTheme::apply(AppTheme::Scheme::dark);
            const QImage dark = backdrop.grab().toImage();
            AppTheme::apply(AppTheme::Scheme::light);
            QCOMPARE(light.pixelColor(50, 60).alpha() < 255, desktop);
            QVERIFY(light.pixelColor(50, 60) != dark.pixelColor(50, 60));
            QCOMPARE(light.pixelColor(130, 60) != light.pixelColor(50, 60), desktop); // nested
            QCOMPARE(light.pixelColor(2, 2).alpha() == 0, translucent); // a round corner
        }
    }

    // The region of the rounded window, following its size, as the popover asks for it; a nested
    // backdrop adds none. Asked for without a region, the whole window as an empty list.
    void blurRequestOnARealWindow()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QVERIFY2(!x11Required, "a desktop was promised, but there is no X display");
            QSKIP("needs an X desktop of its own: run under scripts/with-desktop");
        }
        VisualEffectView window;
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.setAttribute(Qt::WA_TranslucentBackground);
        window.setCornerRadius(16);
        connect(&window, &VisualEffectView::blurRequested, this,
                [](QWindow *window, const QRegion &region) {
                    WindowHints::requestBlurBehind(window, true, region);
                });
        (new VisualEffectView(&window))->setGeometry(40, 40, 100, 50);
        window.setGeometry(200, 200, 320, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWindow *handle = window.windowHandle();
        const std::optional<QRegion> blur = blurOf(handle);
        QVERIFY(blur && blur->rectCount() > 1); // the rounded corners take several
        QVERIFY(blur->contains(QPoint(160, 0)) && !blur->contains(QPoint(0, 0)));
        window.resize(400, 260);
        QTRY_COMPARE(blurOf(handle).value_or(QRegion()).boundingRect(), QRect(0, 0, 400, 260));
        WindowHints::requestBlurBehind(handle, true);
        QCOMPARE(blurOf(handle), std::optional(QRegion()));
        WindowHints::requestBlurBehind(handle, false);
        QVERIFY(!blurOf(handle));
    }
};

int main(int argc, char **argv)
{
    x11Required = desktopExpected && qgetenv("QT_QPA_PLATFORM") == "xcb";
    if (!desktopExpected || qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    AppTheme::apply(AppTheme::Scheme::light);
    TestVisualEffectView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_visualeffectview.moc"
