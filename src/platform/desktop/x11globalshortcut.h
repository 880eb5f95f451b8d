#pragma once

#include "globalshortcut.h"

#include <QAbstractNativeEventFilter>
#include <QKeySequence>

#include <optional>
#include <utility>
#include <vector>

struct xcb_connection_t;

// A global shortcut as a passive key grab on the root window, taken on Qt's own X connection so
// that the key events come to this process, where a native event filter picks them out. The
// grab is taken with and without NumLock, which the user has on or off rather than holds; with
// Caps Lock on, or with any modifier the combination does not ask for, the key goes to the
// focused window as usual.
class X11GlobalShortcut : public GlobalShortcut, private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // What a key event must carry to be the combination: one of the keys that type its keysym,
    // and exactly its modifiers (X modifier bits) give or take the lock ones.
    struct Combination
    {
        std::vector<quint8> keycodes;
        quint16 modifiers = 0;
        quint16 ignoredModifiers = 0;
    };

    // Needs the xcb platform; without it every setShortcut() fails.
    explicit X11GlobalShortcut(QObject *parent = nullptr);
    ~X11GlobalShortcut() override;

    void setShortcut(QKeyCombination combination) override;
    QKeyCombination shortcut() const override;
    bool isRegistered() const override;

    static bool matches(const Combination &combination, quint8 keycode, quint16 state);

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    // The grabs to take: each key, with the modifiers alone and with NumLock added.
    std::vector<std::pair<quint8, quint16>> grabs() const;
    // Nothing when the grab is taken, why not otherwise.
    std::optional<FailureInfo> grab(const QKeySequence &sequence);
    void release();
    void ungrab();
    // After the keyboard map changed (a new layout or keyboard): the keys that type the
    // combination and the modifier bits may be others now.
    void regrab();

    xcb_connection_t *m_connection = nullptr;
    QKeySequence m_sequence;
    Combination m_combination;
    bool m_registered = false;
    bool m_regrabPending = false;
    // The first event code of the XKB extension, through which Qt's connection learns of a new
    // keyboard map (it gets no core MappingNotify once it uses XKB); 0 without XKB.
    quint8 m_xkbEvent = 0;
};
