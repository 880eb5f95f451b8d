#include "shortcutsetting.h"

#include "shortcutrecorder.h"
#include "shortcutrow.h"

ShortcutSetting::ShortcutSetting(ShortcutRow *row, GlobalShortcut *shortcut,
                                 Preferences &preferences, Preferences::ShortcutAction action,
                                 QObject *parent)
    : QObject(parent)
    , m_row(row)
    , m_shortcut(shortcut)
    , m_preferences(preferences)
    , m_action(action)
{
    ShortcutRecorder *badge = m_row->badge();
    badge->setSequence(m_shortcut && m_shortcut->shortcut().toCombined() != 0
                           ? QKeySequence(m_shortcut->shortcut())
                           : stored(m_preferences, m_action));
    badge->setRecordable(true);
    badge->setToolTip(tr("Click to record another shortcut"));
    connect(badge, &ShortcutRecorder::recordingStarted, this, [this] {
        suspend();
        clearNote();
        m_row->setNote(recordingHint(m_action));
        emit recordingStarted();
    });
    connect(badge, &ShortcutRecorder::recorded, this, [this](const QKeySequence &sequence) {
        if (!m_reserved.isEmpty() && sequence.matches(m_reserved) == QKeySequence::ExactMatch) {
            resume();
            m_row->setNote(takenByOtherRowText, true);
        } else {
            m_preferences.setShortcut(m_action, sequence.toString(QKeySequence::PortableText));
            m_row->badge()->setSequence(sequence);
            apply(sequence);
        }
        emit recordingEnded();
    });
    connect(badge, &ShortcutRecorder::resetRequested, this, [this] {
        m_preferences.setShortcut(m_action, {});
        m_row->badge()->setSequence(defaultSequence(m_action));
        apply(defaultSequence(m_action));
        emit recordingEnded();
    });
    connect(badge, &ShortcutRecorder::cancelled, this, [this] {
        resume();
        emit recordingEnded();
    });
    if (m_shortcut) {
        connect(m_shortcut, &GlobalShortcut::failed, this, &ShortcutSetting::showFailure);
        connect(m_shortcut, &GlobalShortcut::registered, this, [this] {
            if (!m_suspended) {
                clearNote();
            }
        });
        // Said before the panel was there; while the desktop has not answered yet, nothing.
        if (const auto failure = m_shortcut->lastFailure();
            failure && m_shortcut->shortcut().toCombined() != 0 && !m_shortcut->isRegistered()) {
            showFailure(failure->reason, failure->kind);
        }
    }
}

ShortcutSetting::~ShortcutSetting()
{
    // Nothing may call back into a half-destroyed panel, and a shortcut released for recording
    // is taken back.
    m_row->badge()->disconnect(this);
    if (m_shortcut) {
        m_shortcut->disconnect(this);
        if (m_suspended) {
            m_shortcut->setShortcut((*m_suspended)[0]);
        }
    }
}

QKeySequence ShortcutSetting::defaultSequence(Preferences::ShortcutAction action)
{
    return QKeySequence::fromString(Preferences::defaultShortcut(action),
                                    QKeySequence::PortableText);
}

QKeySequence ShortcutSetting::stored(const Preferences &preferences,
                                     Preferences::ShortcutAction action)
{
    const QKeySequence sequence =
        QKeySequence::fromString(preferences.shortcut(action), QKeySequence::PortableText);
    return sequence.isEmpty() ? defaultSequence(action) : sequence;
}

QString ShortcutSetting::recordingHint(Preferences::ShortcutAction action)
{
    return tr("Use Ctrl, Alt or Meta. Esc cancels, Backspace restores %1")
        .arg(defaultSequence(action).toString(QKeySequence::NativeText));
}

QString ShortcutSetting::bindCommandHint(Preferences::ShortcutAction action)
{
    return tr("This desktop offers no global shortcuts: bind the command %1 to a key in its "
              "keyboard settings.")
        .arg(action == Preferences::ShortcutAction::show
                 ? QStringLiteral("quenzal --toggle")
                 : QStringLiteral("quenzal --translate-clipboard"));
}

QKeySequence ShortcutSetting::sequence() const
{
    return m_row->badge()->sequence();
}

void ShortcutSetting::suspend()
{
    if (!m_shortcut || m_suspended) {
        return;
    }
    m_suspended = QKeySequence(m_shortcut->shortcut());
    m_shortcut->setShortcut(QKeyCombination::fromCombined(0));
}

void ShortcutSetting::resume()
{
    if (m_suspended) {
        const QKeySequence suspended = *m_suspended; // apply() forgets it
        apply(suspended);
    }
}

void ShortcutSetting::apply(const QKeySequence &sequence)
{
    m_suspended.reset();
    clearNote();
    if (m_shortcut) {
        m_shortcut->setShortcut(sequence[0]); // may answer with failed() before it returns
    }
}

void ShortcutSetting::showFailure(const QString &reason, GlobalShortcut::Failure kind)
{
    if (m_suspended) {
        return;
    }
    switch (kind) {
    case GlobalShortcut::Failure::taken:
        m_row->setNote(inUseText, true, reason);
        m_row->setDetail({});
        break;
    case GlobalShortcut::Failure::unusable:
        m_row->setNote(unusableText, true, reason);
        m_row->setDetail({});
        break;
    case GlobalShortcut::Failure::unavailable:
        m_row->setNote(unavailableText, true, reason);
        m_row->setDetail(bindCommandHint(m_action));
        break;
    }
}

void ShortcutSetting::clearNote()
{
    m_row->setNote({});
    m_row->setDetail({});
}
