#pragma once

#include <QWidget>

#include <functional>

class ApiKeySection;
class Dictation;
class DictationSection;
class GlobalShortcut;
class LoginItem;
class OverlayScrollBar;
class QAbstractButton;
class KeychainHelper;
class Preferences;
class QScrollArea;
class ShortcutRow;
class ShortcutSetting;
class StyleRow;
class TranslatorViewModel;

// The settings panel, shown in the popover in place of the translator: the two shortcuts (each
// changed by clicking its badge, see ShortcutSetting), the translation style, the speech model
// of dictation (see DictationSection), the DeepSeek API key and launching at login, under a
// header with the close button.
//
// Built anew at every opening: the launch-at-login switch starts from the login item as it is
// then. A change of the switch goes to the preferences first and is then carried out on the
// login item; when that fails nothing is said and the switch stays where the user put it. A
// click on a style row sets the view model's style, also when it is the style already in use.
// While one shortcut records, both are released, so that neither acts on what is pressed.
//
// Everything passed in must outlive the panel; `keychain` null means no keyring, a null
// shortcut that a new combination takes effect at the next start only, a null `dictation` no
// dictation section. The panel paints no background of its own: the popover's backdrop shows
// through.
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

    struct Shortcuts
    {
        GlobalShortcut *show = nullptr;
        GlobalShortcut *translateClipboard = nullptr;
    };

    SettingsView(TranslatorViewModel &vm, LoginItem &loginItem, KeychainHelper *keychain,
                 Shortcuts shortcuts, Preferences &preferences, Dictation *dictation,
                 std::function<void()> onClose, QWidget *parent = nullptr);
    ~SettingsView() override;

    QList<StyleRow *> styleRows() const { return m_styleRows; }
    ShortcutRow *showShortcutRow() const { return m_showRow; }
    ShortcutRow *clipboardShortcutRow() const { return m_clipboardRow; }
    QAbstractButton *launchAtLoginSwitch() const { return m_launchAtLogin; }
    QAbstractButton *closeButton() const { return m_close; }
    ApiKeySection *apiKeySection() const { return m_apiKey; }
    // Null without dictation.
    DictationSection *dictationSection() const { return m_dictation; }
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
    void makeShortcutSettings(Shortcuts shortcuts);

    TranslatorViewModel &m_vm;
    LoginItem &m_loginItem;
    Preferences &m_preferences;
    std::function<void()> m_onClose;

    QAbstractButton *m_close = nullptr;
    QScrollArea *m_scroll = nullptr;
    OverlayScrollBar *m_scrollIndicator = nullptr;
    QList<StyleRow *> m_styleRows;
    ShortcutRow *m_showRow = nullptr;
    ShortcutRow *m_clipboardRow = nullptr;
    ShortcutSetting *m_showSetting = nullptr;
    ShortcutSetting *m_clipboardSetting = nullptr;
    ApiKeySection *m_apiKey = nullptr;
    DictationSection *m_dictation = nullptr;
    QAbstractButton *m_launchAtLogin = nullptr;
};
