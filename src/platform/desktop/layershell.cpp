#include "layershell.h"

// The generated C header names an argument "namespace".
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace {

Q_LOGGING_CATEGORY(lcLayer, "quenzal.layershell", QtInfoMsg)

// The layer shell, bound once on an event queue of our own: Qt dispatches its queue on its own
// schedule, and a window's first configure must be waited for before Qt draws into it.
struct Globals
{
    wl_display *display = nullptr;
    wl_event_queue *queue = nullptr;
    zwlr_layer_shell_v1 *shell = nullptr;
    uint32_t version = 0;
};

void registryGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface,
                    uint32_t version)
{
    auto *globals = static_cast<Globals *>(data);
    if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !globals->shell) {
        globals->version = std::min<uint32_t>(version, 4);
        globals->shell = static_cast<zwlr_layer_shell_v1 *>(
            wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, globals->version));
    }
}

void registryGlobalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener registryListener{registryGlobal, registryGlobalRemove};

Globals bind()
{
    Globals globals;
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return globals;
    }
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    globals.display = static_cast<wl_display *>(
        native->nativeResourceForIntegration(QByteArrayLiteral("wl_display")));
    if (!globals.display) {
        return globals;
    }
    globals.queue = wl_display_create_queue(globals.display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(globals.display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), globals.queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip_queue(globals.display, globals.queue);
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    qCDebug(lcLayer) << "layer shell" << (globals.shell ? "offered, version" : "not offered")
                     << globals.version;
    return globals;
}

Globals &globals()
{
    static Globals instance = bind();
    return instance;
}

// One window's time on the layer, from its show to its hide.
class LayerSurface : public QObject
{
public:
    LayerSurface(QWindow *window, wl_surface *base, zwlr_layer_surface_v1 *surface, bool fills)
        : QObject(window)
        , m_window(window)
        , m_base(base)
        , m_surface(surface)
        , m_fills(fills)
    {
        zwlr_layer_surface_v1_add_listener(m_surface, &listener, this);
        window->installEventFilter(this);
        if (!fills) {
            connect(window, &QWindow::widthChanged, this, &LayerSurface::followSize);
            connect(window, &QWindow::heightChanged, this, &LayerSurface::followSize);
        }
    }

    ~LayerSurface() override { zwlr_layer_surface_v1_destroy(m_surface); }

    wl_surface *base() const { return m_base; }

    // Waits for the compositor's first word on the surface; Qt must not attach a buffer before.
    bool waitForConfigure()
    {
        Globals &g = globals();
        wl_surface_commit(m_base);
        while (!m_configured && !m_closed) {
            if (wl_display_roundtrip_queue(g.display, g.queue) < 0) {
                return false;
            }
        }
        // From now on Qt's own dispatching serves the surface, on the GUI thread.
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(m_surface), nullptr);
        return !m_closed;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Qt takes the window's surface away as it hides it; the role object follows it.
        if (watched == m_window && event->type() == QEvent::Hide) {
            deleteLater();
            m_window->removeEventFilter(this);
        }
        return false;
    }

private:
    void followSize()
    {
        zwlr_layer_surface_v1_set_size(m_surface, m_window->width(), m_window->height());
    }

    static void configure(void *data, zwlr_layer_surface_v1 *surface, uint32_t serial,
                          uint32_t width, uint32_t height)
    {
        auto *self = static_cast<LayerSurface *>(data);
        zwlr_layer_surface_v1_ack_configure(surface, serial);
        self->m_configured = true;
        // The compositor sizes a surface that fills the free area: the window draws at that size.
        if (self->m_fills && self->m_window && width > 0 && height > 0) {
            self->m_window->resize(int(width), int(height));
        }
        qCDebug(lcLayer) << "configured" << width << height;
    }

    static void closed(void *data, zwlr_layer_surface_v1 *)
    {
        auto *self = static_cast<LayerSurface *>(data);
        self->m_closed = true;
        // The compositor took the surface away (its output went): the window follows.
        if (self->m_window) {
            QMetaObject::invokeMethod(self->m_window, &QWindow::hide, Qt::QueuedConnection);
        }
    }

    static constexpr zwlr_layer_surface_v1_listener listener{configure, closed};

    QPointer<QWindow> m_window;
    wl_surface *m_base;
    zwlr_layer_surface_v1 *m_surface;
    bool m_fills;
    bool m_configured = false;
    bool m_closed = false;
};

// Attaches a window each time Qt has made its surface, before the first frame.
class ShowWatcher : public QObject
{
public:
    ShowWatcher(QWindow *window, std::function<QMargins()> margins, LayerShell::Role role)
        : QObject(window)
        , m_margins(std::move(margins))
        , m_role(role)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            auto *window = static_cast<QWindow *>(watched);
            if (!LayerShell::attach(window, m_margins(), m_role)) {
                qCWarning(lcLayer) << "the compositor refused a popup its layer";
            }
        }
        return false;
    }

private:
    std::function<QMargins()> m_margins;
    LayerShell::Role m_role;
};

} // namespace

void LayerShell::attachAtEveryShow(QWindow *window, std::function<QMargins()> margins, Role role)
{
    window->setFlag(Qt::BypassWindowManagerHint);
    new ShowWatcher(window, std::move(margins), role);
}

void LayerShell::prepareProcess()
{
    qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
}

bool LayerShell::isAvailable()
{
    return globals().shell != nullptr;
}

bool LayerShell::attach(QWindow *window, const QMargins &margins, Role role)
{
    Globals &g = globals();
    auto *surface = static_cast<wl_surface *>(
        QGuiApplication::platformNativeInterface()->nativeResourceForWindow("surface", window));
    if (!g.shell || !surface) {
        return false;
    }
    // Shown again without a hide in between (a popup asked twice): the surface has its role.
    for (const QObject *child : window->children()) {
        const auto *placed = dynamic_cast<const LayerSurface *>(child);
        if (placed && placed->base() == surface) {
            return true;
        }
    }
    zwlr_layer_surface_v1 *layer = zwlr_layer_shell_v1_get_layer_surface(
        g.shell, surface, nullptr,
        role == Role::panel || role == Role::shield ? ZWLR_LAYER_SHELL_V1_LAYER_TOP
                                                    : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
        "quenzal");
    const bool fills = role == Role::shield;
    constexpr uint32_t allEdges =
        ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
        ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;
    zwlr_layer_surface_v1_set_size(layer, fills ? 0 : window->width(),
                                   fills ? 0 : window->height());
    zwlr_layer_surface_v1_set_anchor(layer, fills ? allEdges
                                                  : ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                        ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_margin(layer, margins.top(), margins.right(), margins.bottom(),
                                     margins.left());
    // On demand: typing goes here until the user clicks elsewhere, which then closes it.
    const bool typing = role == Role::panel || role == Role::popup;
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer, !typing          ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE
               : g.version >= 4 ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_ON_DEMAND
                                : 1);
    auto *placed = new LayerSurface(window, surface, layer, fills);
    if (!placed->waitForConfigure()) {
        delete placed;
        return false;
    }
    return true;
}
