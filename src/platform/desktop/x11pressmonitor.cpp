#include "x11pressmonitor.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace {

constexpr quint32 leftButton = 1;
constexpr quint32 rightButton = 3;

// An XInput event mask one unit (four bytes) long, as the wire format wants it.
struct EventMask
{
    xcb_input_event_mask_t header;
    quint32 bits;
};

} // namespace

X11PressMonitor::X11PressMonitor(QObject *parent)
    : PressMonitor(parent)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11) {
        return;
    }
    m_connection = x11->connection();
    // Qt has asked about XInput already, so this costs no round trip.
    const xcb_query_extension_reply_t *xinput = xcb_get_extension_data(m_connection, &xcb_input_id);
    if (xinput && xinput->present) {
        m_xinputOpcode = xinput->major_opcode;
    }
}

X11PressMonitor::~X11PressMonitor()
{
    stop();
}

bool X11PressMonitor::start()
{
    if (m_active) {
        return true;
    }
    if (m_xinputOpcode == 0 || !select(true)) {
        return false;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_active = true;
    return true;
}

void X11PressMonitor::stop()
{
    if (!m_active) {
        return;
    }
    m_active = false;
    // Without the application the connection has gone, and the selection with it.
    if (!qGuiApp) {
        return;
    }
    // Presses already on their way find no filter, and Qt drops the raw events it never asked
    // for; none of them is reported.
    QCoreApplication::instance()->removeNativeEventFilter(this);
    select(false);
}

bool X11PressMonitor::isActive() const
{
    return m_active;
}

bool X11PressMonitor::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto *event = static_cast<const xcb_ge_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC || event->extension != m_xinputOpcode ||
        event->event_type != XCB_INPUT_RAW_BUTTON_PRESS) {
        return false;
    }
    // Raw events carry no position, so the pointer is read as the press is handled: a moment
    // late, close enough to tell inside the popover from outside.
    const auto *press = static_cast<const xcb_input_raw_button_press_event_t *>(message);
    if (m_active && (press->detail == leftButton || press->detail == rightButton)) {
        emit pressed(QCursor::pos());
    }
    return true;
}

bool X11PressMonitor::select(bool rawPresses)
{
    // Qt selects its own XInput events on the root window for all devices; the selection here,
    // for the master devices, is a separate one and leaves Qt's alone.
    EventMask mask{};
    mask.header.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.header.mask_len = 1;
    mask.bits = rawPresses ? XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS : 0;
    bool selected = true;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); it.rem;
         xcb_screen_next(&it)) {
        const xcb_void_cookie_t cookie =
            xcb_input_xi_select_events_checked(m_connection, it.data->root, 1, &mask.header);
        if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
            std::free(error);
            selected = false;
        }
    }
    return selected;
}
