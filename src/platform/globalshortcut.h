#pragma once

#include <QObject>

#include <optional>

// A keyboard shortcut that works on the whole desktop, whichever window has the keyboard.
//
// setShortcut() asks for a key combination; the answer comes as registered() or failed(),
// possibly before setShortcut() returns. failed() says why in words for the user and of what
// kind the failure is: another program holds the combination, the combination cannot be
// written for this desktop, or the desktop gives programs no global shortcuts at all (no X
// server, no portal, a portal that refuses or later closes the session). A registered shortcut
// may fail later too, when the desktop takes it back. activated() follows every press of the
// combination and every key repeat while it is held; a press of the combination is not
// delivered to any window.
class GlobalShortcut : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        taken,       // another program holds the combination; another one may do
        unusable,    // this combination cannot be asked for here; another one may do
        unavailable, // no combination will do: the desktop offers no global shortcuts
    };
    Q_ENUM(Failure)

    struct FailureInfo
    {
        QString reason;
        Failure kind = Failure::unavailable;
    };

    explicit GlobalShortcut(QObject *parent = nullptr)
        : QObject(parent)
    {
        // Connected first, so that whoever hears failed() or registered() finds these updated.
        connect(this, &GlobalShortcut::failed, this, [this](const QString &reason, Failure kind) {
            m_lastFailure = FailureInfo{reason, kind};
        });
        connect(this, &GlobalShortcut::registered, this, [this] { m_lastFailure.reset(); });
    }

    // Replaces the previous shortcut; an empty combination only releases it.
    virtual void setShortcut(QKeyCombination combination) = 0;
    virtual QKeyCombination shortcut() const = 0;
    virtual bool isRegistered() const = 0;

    // What the last failed() said, until the next registered(): for whoever comes later.
    std::optional<FailureInfo> lastFailure() const { return m_lastFailure; }

signals:
    void activated();
    void registered();
    void failed(const QString &reason, GlobalShortcut::Failure kind);

private:
    std::optional<FailureInfo> m_lastFailure;
};
