// Presses anywhere on the real X desktop of scripts/with-desktop, through XInput 2 raw events.
#include "x11desktop.h"
#include "x11pressmonitor.h"

#include <QSignalSpy>

// The position is the pointer's when the press is read: each click is awaited before the next.
static bool click(const QPoint &position, int button)
{
    return X11Desktop::xdotool({"mousemove", QString::number(position.x()),
                                QString::number(position.y()), "click", QString::number(button)});
}

class TestX11PressMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QUENZAL_REQUIRE_DESKTOP();
        m_window = std::make_unique<X11Desktop::TypingWindow>(QRect(700, 500, 300, 80));
    }
    void init()
    {
        m_window->focus();
        m_monitor = std::make_unique<X11PressMonitor>();
        QVERIFY(m_monitor->start());
        QVERIFY(m_monitor->isActive());
    }

    void buttons_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QPoint>("position"); // null: in our own window
        QTest::addColumn<bool>("reported");
        QTest::newRow("right") << 3 << QPoint(120, 220) << true;
        QTest::newRow("middle") << 2 << QPoint(320, 240) << false;
        QTest::newRow("left, in our own window") << 1 << QPoint(0, 0) << true;
    }
    void buttons()
    {
        QFETCH(int, button);
        QFETCH(QPoint, position);
        QFETCH(bool, reported);
        if (position.isNull()) {
            position = m_window->mapToGlobal(m_window->rect().center());
        }
        QSignalSpy pressed(m_monitor.get(), &PressMonitor::pressed);
        QVERIFY(click(position, button));
        if (reported) {
            QVERIFY(pressed.wait());
            QCOMPARE(pressed.takeFirst().at(0).toPoint(), position);
        }
        // Presses come in order: once this one is in, the one before has been dealt with.
        QVERIFY(click({50, 900}, 1));
        QVERIFY(pressed.wait());
        QCOMPARE(QList<QVariantList>(pressed), QList<QVariantList>{{QPoint(50, 900)}});
    }

    void nothingAfterStop()
    {
        QSignalSpy pressed(m_monitor.get(), &PressMonitor::pressed);
        QVERIFY(click({100, 200}, 1)); // sent before stop(), not yet read when it comes
        m_monitor->stop();
        QVERIFY(!m_monitor->isActive());
        QVERIFY(click({200, 300}, 3));
        m_window->typeMarker(QStringLiteral("1"));
        QCOMPARE(pressed.count(), 0);

        QVERIFY(m_monitor->start()); // and it starts again
        QVERIFY(click({300, 400}, 1));
        QVERIFY(pressed.wait());
        QCOMPARE(QList<QVariantList>(pressed), QList<QVariantList>{{QPoint(300, 400)}});
    }

private:
    std::unique_ptr<X11Desktop::TypingWindow> m_window;
    std::unique_ptr<X11PressMonitor> m_monitor;
};

int main(int argc, char **argv)
{
    return X11Desktop::run<TestX11PressMonitor>(argc, argv);
}

#include "tst_x11pressmonitor.moc"
