#pragma once

#include <QFile>
#include <QTemporaryDir>

// While it lives, HOME and the XDG data, config, cache and state folders are in a fresh
// temporary folder: no test reads or writes the user's own files.
class TestHome
{
public:
    TestHome()
    {
        for (const auto &[name, folder] : {std::pair{"HOME", ""},
                                           {"XDG_DATA_HOME", "/.local/share"},
                                           {"XDG_CONFIG_HOME", "/.config"},
                                           {"XDG_CACHE_HOME", "/.cache"},
                                           {"XDG_STATE_HOME", "/.local/state"}}) {
            m_saved.append({name, qgetenv(name)});
            qputenv(name, QFile::encodeName(m_dir.path() + QLatin1String(folder)));
        }
    }
    ~TestHome()
    {
        for (const auto &[name, value] : m_saved) {
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        }
    }

    QString path() const { return m_dir.path(); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/.local/share"); }

private:
    QTemporaryDir m_dir;
    QList<QPair<const char *, QByteArray>> m_saved;
};
