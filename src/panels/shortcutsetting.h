#pragma once

#include "globalshortcut.h"
#include "preferences.h"

#include <QKeySequence>
#include <QObject>
#include <QPointer>

#include <optional>

class ShortcutRow;

// One shortcut row of the settings, made live: a click on its badge records another
// combination, which is stored in the preferences (cleared to go back to the default) and handed
// to the global shortcut at once. While the badge records, the shortcut is released, so that
// pressing it can be recorded rather than act; the panel may release it for other rows'
// recording too (suspend()/resume()). When the desktop refuses the combination the row says why
// in a word, the full reason in its tooltip: taken by another program, not usable here, or, where
// the desktop offers programs no global shortcuts, not available, with a line below on binding
// the action's command in the desktop's own keyboard settings.
//
// `row` and `preferences` must outlive this object; `shortcut` null means that a new combination
// takes effect at the next start only.
class ShortcutSetting : public QObject
{
    Q_OBJECT

public:
    static inline const QString inUseText = QStringLiteral("In use by another program");
    static inline const QString unusableText = QStringLiteral("Cannot be used here");
    static inline const QString unavailableText = QStringLiteral("Not available here");
    static inline const QString takenByOtherRowText = QStringLiteral("Used by the other shortcut");

    ShortcutSetting(ShortcutRow *row, GlobalShortcut *shortcut, Preferences &preferences,
                    Preferences::ShortcutAction action, QObject *parent = nullptr);
    ~ShortcutSetting() override;

    // The combination stored for `action`, else its default.
    static QKeySequence stored(const Preferences &preferences, Preferences::ShortcutAction action);
    static QKeySequence defaultSequence(Preferences::ShortcutAction action);
    // "Use Ctrl, Alt or Meta. Esc cancels, Backspace restores Alt+Space"
    static QString recordingHint(Preferences::ShortcutAction action);
    // What to bind where the desktop has no global shortcuts for programs.
    static QString bindCommandHint(Preferences::ShortcutAction action);

    QKeySequence sequence() const;
    // A combination the recorder must refuse (the other row's); none when empty.
    void setReserved(const QKeySequence &sequence) { m_reserved = sequence; }
    // Releases the shortcut until resume(); nothing happens when already released.
    void suspend();
    void resume();

signals:
    void recordingStarted();
    void recordingEnded();

private:
    void apply(const QKeySequence &sequence);
    void showFailure(const QString &reason, GlobalShortcut::Failure kind);
    void clearNote();

    ShortcutRow *m_row;
    QPointer<GlobalShortcut> m_shortcut;
    Preferences &m_preferences;
    Preferences::ShortcutAction m_action;
    QKeySequence m_reserved;
    // The combination released meanwhile, to take back when nothing is recorded.
    std::optional<QKeySequence> m_suspended;
};
