#pragma once

#include "globalshortcut.h"

#include <QKeySequence>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class ApiKeySection;
class LoginItem;
class OverlayScrollBar;
class QAbstractButton;
class KeychainHelper;
class Preferences;
class QScrollArea;
class ShortcutRow;
class StyleRow;
class TranslatorViewModel;

// The settings panel, shown in the popover in place of the translator: the shortcuts (the one
// that shows the popover can be changed by clicking its badge), the translation style, the
// DeepSeek API key and launching at login, under a header with the close button.
//
// Built anew at every opening: the launch-at-login switch starts from the login item as it is
// then. A change of the switch goes to the preferences first and is then carried out on the
// login item; when that fails nothing is said and the switch stays where the user put it. A
// click on a style row sets the view model's style, also when it is the style already in use.
// A new shortcut is stored in the preferences (cleared to go back to Alt+Space) and handed to
// `shortcut` at once; while the badge records, the old shortcut is released, so that pressing
// it again can be recorded rather than hide the popover. When the desktop refuses the shortcut
// the row says why in a word, the full reason in its tooltip: taken by another program, not
// usable here, or, where the desktop offers programs no global shortcuts, not available, with a
// line below on binding the command that toggles the popover in the desktop's own settings.
//
// Everything passed in must outlive the panel; `keychain` null means no keyring, `shortcut`
// null that the new shortcut takes effect at the next start only. The panel paints no
// background of its own: the popover's backdrop shows through.
class SettingsView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int headerPadding = 20;
    static constexpr int titleSize = 15;
    static constexpr int closeButtonSize = 22;
    static constexpr int contentPadding = 20;
    static constexpr int sectionSpacing = 20;
    static constexpr int captionSpacing = 6;
    static constexpr int captionSize = 11;
    static constexpr int captionPadding = 4;
    static constexpr int cardRadius = 10;
    static constexpr int dividerIndent = 16;
    static constexpr int rowTitleSize = 14;

    static inline const QString shortcutInUseText = QStringLiteral("In use by another program");
    static inline const QString shortcutUnusableText = QStringLiteral("Cannot be used here");
    static inline const QString shortcutUnavailableText = QStringLiteral("Not available here");
    static inline const QString bindCommandText =
        QStringLiteral("This desktop offers no global shortcuts: bind the command quenzal --toggle "
                       "to a key in its keyboard settings.");
    static inline const QString recordingHintText =
        QStringLiteral("Use Ctrl, Alt or Meta. Esc cancels, Backspace restores Alt+Space");

    SettingsView(TranslatorViewModel &vm, LoginItem &loginItem, KeychainHelper *keychain,
                 GlobalShortcut *shortcut, Preferences &preferences, std::function<void()> onClose,
                 QWidget *parent = nullptr);
    ~SettingsView() override;

    // Alt+Space, unless the preferences hold another usable shortcut.
    static QKeySequence defaultShowShortcut();
    static QKeySequence storedShowShortcut(const Preferences &preferences);

    QList<StyleRow *> styleRows() const { return m_styleRows; }
    ShortcutRow *showShortcutRow() const { return m_showRow; }
    ShortcutRow *clipboardShortcutRow() const { return m_clipboardRow; }
    QAbstractButton *launchAtLoginSwitch() const { return m_launchAtLogin; }
    QAbstractButton *closeButton() const { return m_close; }
    ApiKeySection *apiKeySection() const { return m_apiKey; }
    QScrollArea *scrollArea() const { return m_scroll; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeHeader();
    QWidget *makeSection(const QString &caption, const QList<QWidget *> &rows);
    QWidget *makeLaunchAtLoginRow();
    void setLaunchAtLogin(bool enabled);
    void showSelectedStyle();

    void suspendShowShortcut();
    void applyShowShortcut(const QKeySequence &sequence);
    void showShortcutFailed(const QString &reason, GlobalShortcut::Failure kind);
    void clearShortcutNote();

    TranslatorViewModel &m_vm;
    LoginItem &m_loginItem;
    QPointer<GlobalShortcut> m_shortcut;
    Preferences &m_preferences;
    std::function<void()> m_onClose;
    // The shortcut released while the badge records, to take back when nothing is recorded.
    std::optional<QKeySequence> m_suspended;

    QAbstractButton *m_close = nullptr;
    QScrollArea *m_scroll = nullptr;
    OverlayScrollBar *m_scrollIndicator = nullptr;
    QList<StyleRow *> m_styleRows;
    ShortcutRow *m_showRow = nullptr;
    ShortcutRow *m_clipboardRow = nullptr;
    ApiKeySection *m_apiKey = nullptr;
    QAbstractButton *m_launchAtLogin = nullptr;
};
