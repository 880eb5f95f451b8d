#pragma once

#include "translationstyle.h"

#include <QSize>
#include <QSizeF>
#include <QStringList>

class QSettings;

// Every setting the program keeps, with its key, type, default and what counts as a usable
// stored value, over the user's settings store (organisation and application "Quenzal"). A value
// that does not read as its type counts as absent and gives the default; the store is never
// rewritten for that. Keys and formats are the ones users' files already hold.
class Preferences
{
public:
    static constexpr QSize defaultPopoverSize{780, 460};
    static constexpr QSize minimumPopoverSize{720, 380};
    static constexpr QSize maximumPopoverSize{1200, 900};

    // The actions that have a global shortcut of their own.
    enum class ShortcutAction { show, translateClipboard };

    // `settings` must outlive the preferences.
    explicit Preferences(QSettings &settings);

    // "translationStyle": a style's raw value; standard.
    TranslationStyle translationStyle() const;
    void setTranslationStyle(TranslationStyle style);

    // "recentSourceLanguages" and "recentTargetLanguages": lists of language ids, newest first
    // (auto, en, ru and ru, en, tr). An INI file keeps a one-item list as a plain string, which
    // reads as that one item; a list holding anything but strings counts as absent.
    QStringList recentSourceLanguages() const;
    void setRecentSourceLanguages(const QStringList &ids);
    QStringList recentTargetLanguages() const;
    void setRecentTargetLanguages(const QStringList &ids);

    // "popoverWidth" and "popoverHeight": each is the default when absent, not a number or not
    // above zero, and is kept within the limits.
    QSize popoverSize() const;
    // "popoverSize", a map of "width" and "height": where a drag of the resize handle starts.
    // The default size unless both are numbers.
    QSizeF resizeOrigin() const;
    // Writes all three keys.
    void setPopoverSize(QSize size);
    // Within the limits: each side capped at the maximum, then raised to the minimum.
    static QSizeF boundedPopoverSize(QSizeF size);

    // "showShortcut" and "translateClipboardShortcut": a key combination in Qt's portable text
    // form ("Alt+Space"); the default when absent or empty. Setting the empty text removes the
    // key.
    QString shortcut(ShortcutAction action) const;
    void setShortcut(ShortcutAction action, const QString &portableText);
    // Alt+Space shows the popover. Alt+Shift+Space translates the selection: no desktop, editor
    // or terminal binds it by default, and it sits next to the other.
    static QString defaultShortcut(ShortcutAction action);

    // "dictationModel": the name of the speech model dictation uses, one of the standard
    // catalogue's; its default ("base") when absent or unknown.
    QString dictationModel() const;
    void setDictationModel(const QString &name);

    // "appTheme": "dark" selects the dark scheme, anything else the light one. Nothing in the
    // program writes it.
    bool prefersDarkTheme() const;

    // "launchAtLogin": what the user last chose in the settings. Nothing in the program reads
    // it back: the autostart entry itself is the truth.
    void setLaunchAtLogin(bool enabled);

private:
    QSettings &m_settings;
};
