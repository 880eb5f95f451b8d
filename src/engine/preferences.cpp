#include "preferences.h"

#include "modelcatalogue.h"

#include <QSettings>

#include <cmath>

namespace {

const QString styleKey = QStringLiteral("translationStyle");
const QString recentSourceKey = QStringLiteral("recentSourceLanguages");
const QString recentTargetKey = QStringLiteral("recentTargetLanguages");
const QString widthKey = QStringLiteral("popoverWidth");
const QString heightKey = QStringLiteral("popoverHeight");
const QString sizeKey = QStringLiteral("popoverSize");
QString shortcutKey(Preferences::ShortcutAction action)
{
    return action == Preferences::ShortcutAction::show
               ? QStringLiteral("showShortcut")
               : QStringLiteral("translateClipboardShortcut");
}
const QString themeKey = QStringLiteral("appTheme");
const QString dictationModelKey = QStringLiteral("dictationModel");
const QString launchAtLoginKey = QStringLiteral("launchAtLogin");

QStringList stringList(const QVariant &value, const QStringList &fallback)
{
    switch (value.typeId()) {
    case QMetaType::QStringList:
        return value.toStringList();
    case QMetaType::QString:
        return {value.toString()};
    case QMetaType::QVariantList: {
        QStringList ids;
        for (const QVariant &item : value.toList()) {
            if (item.typeId() != QMetaType::QString) {
                return fallback;
            }
            ids.append(item.toString());
        }
        return ids;
    }
    default:
        return fallback;
    }
}

// A number as the store holds it: INI files give numbers back as text.
std::optional<double> number(const QVariant &value)
{
    bool isNumber = false;
    const double result = value.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(result)) {
        return std::nullopt;
    }
    return result;
}

int storedLength(const QVariant &value, int fallback, int minimum, int maximum)
{
    const std::optional<double> length = number(value);
    if (!length || *length <= 0) {
        return fallback;
    }
    return int(std::lround(std::clamp(*length, double(minimum), double(maximum))));
}

} // namespace

Preferences::Preferences(QSettings &settings)
    : m_settings(settings)
{}

TranslationStyle Preferences::translationStyle() const
{
    const QVariant value = m_settings.value(styleKey);
    if (value.typeId() != QMetaType::QString) {
        return TranslationStyle::standard;
    }
    return TranslationStyle::fromRawValue(value.toString()).value_or(TranslationStyle::standard);
}

void Preferences::setTranslationStyle(TranslationStyle style)
{
    m_settings.setValue(styleKey, style.rawValue());
}

QStringList Preferences::recentSourceLanguages() const
{
    return stringList(m_settings.value(recentSourceKey),
                      {QStringLiteral("auto"), QStringLiteral("en"), QStringLiteral("ru")});
}

void Preferences::setRecentSourceLanguages(const QStringList &ids)
{
    m_settings.setValue(recentSourceKey, ids);
}

QStringList Preferences::recentTargetLanguages() const
{
    return stringList(m_settings.value(recentTargetKey),
                      {QStringLiteral("ru"), QStringLiteral("en"), QStringLiteral("tr")});
}

void Preferences::setRecentTargetLanguages(const QStringList &ids)
{
    m_settings.setValue(recentTargetKey, ids);
}

QSize Preferences::popoverSize() const
{
    return {storedLength(m_settings.value(widthKey), defaultPopoverSize.width(),
                         minimumPopoverSize.width(), maximumPopoverSize.width()),
            storedLength(m_settings.value(heightKey), defaultPopoverSize.height(),
                         minimumPopoverSize.height(), maximumPopoverSize.height())};
}

QSizeF Preferences::resizeOrigin() const
{
    const QVariantMap stored = m_settings.value(sizeKey).toMap();
    const QVariant width = stored.value(QStringLiteral("width"));
    const QVariant height = stored.value(QStringLiteral("height"));
    // Numbers only: a map written by another program may hold text.
    const auto isNumber = [](const QVariant &value) {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            return number(value).has_value();
        default:
            return false;
        }
    };
    if (!isNumber(width) || !isNumber(height)) {
        return defaultPopoverSize;
    }
    return {width.toDouble(), height.toDouble()};
}

void Preferences::setPopoverSize(QSize size)
{
    m_settings.setValue(widthKey, double(size.width()));
    m_settings.setValue(heightKey, double(size.height()));
    m_settings.setValue(sizeKey, QVariantMap{{QStringLiteral("width"), double(size.width())},
                                             {QStringLiteral("height"), double(size.height())}});
}

QSizeF Preferences::boundedPopoverSize(QSizeF size)
{
    const QSizeF minimum = minimumPopoverSize;
    const QSizeF maximum = maximumPopoverSize;
    return {std::max(std::min(size.width(), maximum.width()), minimum.width()),
            std::max(std::min(size.height(), maximum.height()), minimum.height())};
}

QString Preferences::shortcut(ShortcutAction action) const
{
    const QString stored = m_settings.value(shortcutKey(action)).toString();
    return stored.isEmpty() ? defaultShortcut(action) : stored;
}

void Preferences::setShortcut(ShortcutAction action, const QString &portableText)
{
    if (portableText.isEmpty()) {
        m_settings.remove(shortcutKey(action));
    } else {
        m_settings.setValue(shortcutKey(action), portableText);
    }
}

QString Preferences::defaultShortcut(ShortcutAction action)
{
    return action == ShortcutAction::show ? QStringLiteral("Alt+Space")
                                          : QStringLiteral("Alt+Shift+Space");
}

QString Preferences::dictationModel() const
{
    const ModelCatalogue catalogue = ModelCatalogue::standard();
    const QString name = m_settings.value(dictationModelKey).toString();
    return catalogue.find(name) ? name : catalogue.defaultModel().name;
}

void Preferences::setDictationModel(const QString &name)
{
    m_settings.setValue(dictationModelKey, name);
}

bool Preferences::prefersDarkTheme() const
{
    return m_settings.value(themeKey).toString() == QLatin1String("dark");
}

void Preferences::setLaunchAtLogin(bool enabled)
{
    m_settings.setValue(launchAtLoginKey, enabled);
}
