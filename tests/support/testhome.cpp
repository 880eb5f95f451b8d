#include "testhome.h"

#include <QFile>

namespace {

bool active = false;
// Each variable and its folder under the temporary home.
constexpr std::pair<const char *, const char *> variables[] = {
    {"HOME", ""},
    {"XDG_DATA_HOME", "/.local/share"},
    {"XDG_CONFIG_HOME", "/.config"},
    {"XDG_CACHE_HOME", "/.cache"},
    {"XDG_STATE_HOME", "/.local/state"},
};

} // namespace

TestHome::TestHome()
{
    // Two at once would restore each other's environment in the wrong order.
    if (active || !m_dir.isValid()) {
        qFatal("TestHome: another TestHome is alive, or no temporary folder");
    }
    active = true;
    for (const auto &[name, folder] : variables) {
        m_saved.append({name, qgetenv(name)});
        qputenv(name, QFile::encodeName(m_dir.path() + QLatin1String(folder)));
    }
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
