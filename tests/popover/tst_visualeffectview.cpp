// The popover's backdrop: what it paints in either scheme, with and without a compositor, and,
// on a real X display (scripts/with-desktop), the blur it asks KWin for.
#include "apptheme.h"
#include "visualeffectview.h"
#include "windowhints.h"

#include <QApplication>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>

#include <xcb/xcb.h>

namespace {

// Only the desktop scripts/with-desktop starts is ours to open windows on: with no promise of
// one, the display found may well be the user's own.
const bool desktopExpected = qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP");
bool x11Asked = false;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

// The window's _KDE_NET_WM_BLUR_BEHIND_REGION, and how many rectangles make it, when the X
// server holds it as 32-bit cardinals.
std::optional<std::pair<QRegion, int>> blurOf(QWindow *window)
{
    xcb_connection_t *x =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const QByteArray name = "_KDE_NET_WM_BLUR_BEHIND_REGION";
    const Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(name.size()), name.data()),
                              nullptr),
        &std::free);
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(x,
                               xcb_get_property(x, 0, xcb_window_t(window->winId()), atom->atom,
                                                XCB_ATOM_ANY, 0, 1 << 16),
                               nullptr),
        &std::free);
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32) {
        return std::nullopt;
    }
    const int count = xcb_get_property_value_length(reply.get()) / 16;
    const auto *data = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    QRegion region;
    for (int i = 0; i < count * 4; i += 4) {
        region |= QRect(int(data[i]), int(data[i + 1]), int(data[i + 2]), int(data[i + 3]));
    }
    return std::pair{region, count};
}

// `layers` painted in turn over nothing.
QColor over(const QList<QColor> &layers)
{
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (const QColor &layer : layers) {
        painter.fillRect(image.rect(), layer);
    }
    painter.end();
    return image.pixelColor(0, 0);
}

bool near(const QColor &a, const QColor &b)
{
    return std::max({qAbs(a.red() - b.red()), qAbs(a.green() - b.green()),
                     qAbs(a.blue() - b.blue()), qAbs(a.alpha() - b.alpha())}) <= 2;
}

} // namespace

class TestVisualEffectView : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { AppTheme::apply(AppTheme::Scheme::light); }

    // The desktop, where it shows, with the tint over it, else the window colour under the
    // tint, of the scheme at the time of painting; a nested backdrop adds its tint.
    void paints_data()
    {
        QTest::addColumn<AppTheme::Scheme>("scheme");
        QTest::addColumn<bool>("translucent");
        QTest::newRow("light, composited") << AppTheme::Scheme::light << true;
        QTest::newRow("dark, opaque") << AppTheme::Scheme::dark << false;
    }
    void paints()
    {
        QFETCH(AppTheme::Scheme, scheme);
        QFETCH(bool, translucent);
        AppTheme::apply(scheme == AppTheme::Scheme::dark ? AppTheme::Scheme::light
                                                         : AppTheme::Scheme::dark);
        VisualEffectView backdrop;
        backdrop.setAttribute(Qt::WA_TranslucentBackground, translucent);
        backdrop.setCornerRadius(16);
        backdrop.resize(200, 120);
        (new VisualEffectView(&backdrop))->setGeometry(100, 40, 60, 40);
        QCOMPARE(backdrop.showsDesktop(), translucent);
        AppTheme::apply(scheme);

        const AppTheme::Colors &colors = AppTheme::colors(scheme);
        const QImage image = backdrop.grab().toImage();
        const QList<QColor> under = {translucent ? colors.tint : colors.window, colors.tint};
        QVERIFY(near(image.pixelColor(50, 60), over(under.mid(translucent ? 1 : 0))));
        QVERIFY(near(image.pixelColor(130, 60), over(under)));        // the nested one
        QVERIFY(!translucent || image.pixelColor(2, 2).alpha() == 0); // a round corner
    }

    // The region of the rounded window, following its size; asked for without a region, the
    // whole window as an empty list.
    void blurRequestOnARealWindow()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            if (desktopExpected && x11Asked) {
                QFAIL("QUENZAL_TEST_DESKTOP is set but there is no X display");
            }
            QSKIP("needs an X desktop of its own: run under scripts/with-desktop");
        }
        QWidget window(nullptr, Qt::FramelessWindowHint);
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
        (new VisualEffectView(backdrop))->setGeometry(40, 40, 100, 50);
        window.setGeometry(200, 200, 320, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWindow *handle = window.windowHandle();

        const auto blur = blurOf(handle);
        QVERIFY(blur && blur->second > 1); // the rounded corners take several
        QCOMPARE(blur->first.boundingRect(), QRect(QPoint(0, 0), window.size()));
        QVERIFY(blur->first.contains(QPoint(160, 0)) && !blur->first.contains(QPoint(0, 0)));
        window.resize(400, 260);
        QTRY_COMPARE(blurOf(handle).value_or(std::pair{QRegion(), 0}).first.boundingRect(),
                     QRect(0, 0, 400, 260));
        WindowHints::requestBlurBehind(handle, true);
        QCOMPARE(blurOf(handle).value_or(std::pair{QRegion(), -1}).second, 0);
        WindowHints::requestBlurBehind(handle, false);
        QVERIFY(!blurOf(handle));
    }
};

int main(int argc, char **argv)
{
    // Elsewhere the X11 test skips, or fails when a desktop was promised.
    x11Asked = qgetenv("QT_QPA_PLATFORM") == "xcb";
    if (!desktopExpected || qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    AppTheme::apply(AppTheme::Scheme::light);
    TestVisualEffectView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_visualeffectview.moc"
