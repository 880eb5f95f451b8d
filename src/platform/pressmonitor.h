#pragma once

#include <QObject>
#include <QPoint>

// Reports presses of the left and right mouse buttons anywhere on the desktop, in other
// programs' windows too, while started.
class PressMonitor : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // False when the monitor cannot observe presses (it then reports nothing).
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    // Where the pointer was, in Qt's global (device-independent) coordinates.
    void pressed(const QPoint &globalPosition);
};
