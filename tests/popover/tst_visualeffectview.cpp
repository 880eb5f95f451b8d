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

bool near(const QColor &actual, const QColor &expected)
{
    return qAbs(actual.red() - expected.red()) <= 2 &&
           qAbs(actual.green() - expected.green()) <= 2 &&
           qAbs(actual.blue() - expected.blue()) <= 2 &&
           qAbs(actual.alpha() - expected.alpha()) <= 2;
}

} // namespace

class TestVisualEffectView : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { AppTheme::apply(AppTheme::Scheme::light); }

    // The desktop, where it shows, with the tint over it; else the window colour under the
    // tint. Never the widget's own palette; a nested backdrop adds its tint; round corners.
    // The scheme is the one at the time of painting.
    void paints_data()
    {
        QTest::addColumn<AppTheme::Scheme>("scheme");
        QTest::addColumn<bool>("translucent");
        for (const auto scheme : {AppTheme::Scheme::light, AppTheme::Scheme::dark}) {
            const char *name = scheme == AppTheme::Scheme::dark ? "dark" : "light";
            QTest::addRow("%s, composited", name) << scheme << true;
            QTest::addRow("%s, opaque", name) << scheme << false;
        }
    }
    void paints()
    {
        QFETCH(AppTheme::Scheme, scheme);
        QFETCH(bool, translucent);
        AppTheme::apply(scheme == AppTheme::Scheme::dark ? AppTheme::Scheme::light
                                                         : AppTheme::Scheme::dark);
        VisualEffectView backdrop;
        backdrop.setAttribute(Qt::WA_TranslucentBackground, translucent);
        QPalette palette = backdrop.palette();
        palette.setColor(QPalette::Window, Qt::red);
        backdrop.setPalette(palette);
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
        QTRY_COMPARE(blurProperty(handle).value_or(BlurProperty()).region.boundingRect(),
                     QRect(0, 0, 400, 260));

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
