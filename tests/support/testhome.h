#pragma once

#include <QString>
#include <QTemporaryDir>

// Points HOME and the XDG data, config, cache and state folders at a fresh temporary folder
// for the life of the object, so a test never reads or writes the user's own files.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome &) = delete;
    TestHome &operator=(const TestHome &) = delete;

    QString path() const { return m_dir.path(); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/.local/share"); }

private:
    QTemporaryDir m_dir;
    QList<QPair<QByteArray, QByteArray>> m_saved;
};
