// The throwaway X desktop of scripts/with-desktop, typed and clicked on with xdotool (XTEST).
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace X11Desktop {

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
    // X delivers in order: once the line edit has this key, the input before has been handled.
    void typeMarker(const QString &key)
    {
        QVERIFY(xdotool({"key", key}));
        QVERIFY(QTest::qWaitFor([&] { return edit->text().endsWith(key); }, 10'000));
    }

    QWidget window;
    QLineEdit *edit = new QLineEdit(&window);
};

// Only the desktop of QUENZAL_TEST_DESKTOP is ours; elsewhere the tests needing none still run.
template <typename Test> int run(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace X11Desktop

#define QUENZAL_REQUIRE_DESKTOP()                                                                  \
    do {                                                                                           \
        if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP")) {                                  \
            QSKIP("needs an X desktop of its own: run under scripts/with-desktop");                \
        }                                                                                          \
    } while (false)
