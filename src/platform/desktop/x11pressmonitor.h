#pragma once

#include "pressmonitor.h"

#include <QAbstractNativeEventFilter>

struct xcb_connection_t;

// Left and right button presses anywhere on the X11 desktop, as XInput 2 raw events selected on
// the root window. Raw events reach every client that selects them, whoever holds the pointer
// or a grab, and they include presses in our own windows. Between start() and stop() nothing
// runs but the event filter; stopped, not even that.
class X11PressMonitor : public PressMonitor, private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // Needs the xcb platform; without it start() fails.
    explicit X11PressMonitor(QObject *parent = nullptr);
    ~X11PressMonitor() override;

    bool start() override;
    void stop() override;
    bool isActive() const override;

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    // False when the server refuses the selection.
    bool select(bool rawPresses);

    xcb_connection_t *m_connection = nullptr;
    quint8 m_xinputOpcode = 0;
    bool m_active = false;
};
