#include "testhome.h"

#include <QDir>

namespace {
bool active = false;
const char *const variables[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                 "XDG_STATE_HOME"};
} // namespace

TestHome::TestHome()
{
    // Two at once would restore each other's environment in the wrong order.
    if (active || !m_dir.isValid()) {
        qFatal("TestHome: another TestHome is alive, or no temporary folder");
    }
    active = true;
    for (const char *name : variables) {
        m_saved.append({name, qgetenv(name)});
    }
    const QString home = m_dir.path();
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/.cache")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home + QStringLiteral("/.local/state")));
}

TestHome::~TestHome()
{
    active = false;
    for (const auto &[name, value] : m_saved) {
        if (value.isNull()) {
            qunsetenv(name.constData());
        } else {
            qputenv(name.constData(), value);
        }
    }
}

QString TestHome::dataHome() const
{
    return m_dir.path() + QStringLiteral("/.local/share");
}
