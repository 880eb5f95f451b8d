#include "xdgautostartloginitem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QLatin1String desktopEntryGroup("[Desktop Entry]");

// Desktop entry booleans are "true" and "false"; GLib, which reads them for most sessions,
// takes "1" and "0" as well.
bool isTrue(QByteArrayView value)
{
    return value == "true" || value == "1";
}

bool isFalse(QByteArrayView value)
{
    return value == "false" || value == "0";
}

// Characters that make the shell-like splitting of Exec need quotes around an argument.
bool needsQuotes(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString applicationId, QString executable,
                                             QString name, QString autostartFolder)
    : m_applicationId(std::move(applicationId))
    , m_executable(std::move(executable))
    , m_name(std::move(name))
    , m_autostartFolder(std::move(autostartFolder))
{}

QString XdgAutostartLoginItem::autostartFolder() const
{
    if (!m_autostartFolder.isEmpty()) {
        return m_autostartFolder;
    }
    // By the base directory rules a relative path is to be ignored, as if unset.
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return configHome + QStringLiteral("/autostart");
}

QString XdgAutostartLoginItem::entryPath() const
{
    return autostartFolder() + QLatin1Char('/') + m_applicationId + QStringLiteral(".desktop");
}

bool XdgAutostartLoginItem::isEnabled() const
{
    QFile file(entryPath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    bool inEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inEntry = line == desktopEntryGroup;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inEntry || equals < 0) {
            continue;
        }
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && isTrue(value)) ||
            (key == "X-GNOME-Autostart-enabled" && isFalse(value))) {
            return false;
        }
    }
    return true;
}

bool XdgAutostartLoginItem::enable()
{
    if (!QDir().mkpath(autostartFolder())) {
        return false;
    }
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(entry(m_executable, m_name, m_applicationId));
    return file.commit();
}

bool XdgAutostartLoginItem::disable()
{
    const QString path = entryPath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return true;
    }
    return QFile::remove(path);
}

QByteArray XdgAutostartLoginItem::entry(const QString &executable, const QString &name,
                                        const QString &icon)
{
    // A name is a plain string value: only line breaks and backslashes would break the line.
    QString safeName = name;
    safeName.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"));
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Exec=%2\n"
                                        "Icon=%3\n"
                                        "Terminal=false\n"
                                        "NoDisplay=true\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(safeName, execValue(executable), icon);
    return text.toUtf8();
}

QString XdgAutostartLoginItem::execValue(const QString &executable)
{
    QString argument;
    if (std::any_of(executable.cbegin(), executable.cend(), needsQuotes)) {
        argument = QLatin1Char('"');
        for (const QChar c : executable) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\')) {
                argument += QLatin1Char('\\');
            }
            argument += c;
        }
        argument += QLatin1Char('"');
    } else {
        argument = executable;
    }
    argument.replace(QLatin1Char('%'), QLatin1String("%%"));

    // The general escapes of string values come on top of the quoting rules of Exec.
    QString value;
    for (const QChar c : argument) {
        switch (c.unicode()) {
        case '\\':
            value += QLatin1String("\\\\");
            break;
        case '\n':
            value += QLatin1String("\\n");
            break;
        case '\t':
            value += QLatin1String("\\t");
            break;
        case '\r':
            value += QLatin1String("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}
