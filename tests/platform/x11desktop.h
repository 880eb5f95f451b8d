// The throwaway X desktop of scripts/with-desktop, and typing and clicking on it with xdotool,
// whose input goes through XTEST like a real keyboard's and mouse's.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

namespace X11Desktop {

// Only the desktop scripts/with-desktop starts is ours to type on: with no promise of one, the
// display found may well be the user's own.
inline bool promised()
{
    return qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP");
}

inline bool ours()
{
    return promised() && !qEnvironmentVariableIsEmpty("DISPLAY");
}

// Runs xdotool to its end.
inline bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A window of ours with a line edit that has the keyboard focus.
struct TypingWindow
{
    TypingWindow(const QString &title, const QRect &geometry)
    {
        window.setWindowTitle(title);
        (new QVBoxLayout(&window))->addWidget(edit);
        window.setGeometry(geometry);
        window.show();
    }

    void focus()
    {
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        edit->clear();
    }

    // Waits until the line edit has been given `key`, typed as a marker after the input under
    // test: X delivers in order, so by then that has been dealt with.
    void typeMarker(const QString &key)
    {
        QVERIFY(xdotool({"key", key}));
        QVERIFY(QTest::qWaitFor([&] { return edit->text().endsWith(key); }, 10'000));
    }

    QWidget window;
    QLineEdit *edit = new QLineEdit(&window);
};

// Elsewhere the tests that need no display still run; the rest skip, or fail when a desktop
// was promised.
template <typename Test> int run(int argc, char **argv)
{
    if (!ours()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace X11Desktop

// For init() or initTestCase(): skips without a desktop of our own, fails if one was promised.
#define QUENZAL_REQUIRE_DESKTOP()                                                                  \
    do {                                                                                           \
        if (!X11Desktop::ours()) {                                                                 \
            if (X11Desktop::promised()) {                                                          \
                QFAIL("QUENZAL_TEST_DESKTOP is set but there is no DISPLAY");                      \
            }                                                                                      \
            QSKIP("needs an X desktop of its own: run under scripts/with-desktop");                \
        }                                                                                          \
    } while (false)
