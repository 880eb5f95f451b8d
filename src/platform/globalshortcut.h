#pragma once

#include <QObject>

// A keyboard shortcut that works on the whole desktop, whichever window has the keyboard.
//
// setShortcut() asks for a key combination; the answer comes as registered() or failed()
// (another program holds the combination, no X server, no portal...), possibly before
// setShortcut() returns. activated() follows every press of the combination and every key
// repeat while it is held; a press of the combination is not delivered to any window.
class GlobalShortcut : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Replaces the previous shortcut; an empty combination only releases it.
    virtual void setShortcut(QKeyCombination combination) = 0;
    virtual QKeyCombination shortcut() const = 0;
    virtual bool isRegistered() const = 0;

signals:
    void activated();
    void registered();
    void failed(const QString &reason);
};
