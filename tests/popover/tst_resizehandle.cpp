// The popover's resize grip: what a drag asks the shell for, within which bounds, and the size
// it starts from, as stored, malformed or missing.
#include "appnotifier.h"
#include "resizehandle.h"
#include "testtranslator.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <cmath>

namespace {

QVariantMap sized(double width, double height)
{
    return {{"width", width}, {"height", height}};
}

} // namespace

class TestResizeHandle : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_translator = std::make_unique<TestTranslator>();
        m_handle = std::make_unique<ResizeHandle>(m_translator->preferences);
        m_requests.clear();
        connect(&AppNotifier::instance(), &AppNotifier::posted, m_handle.get(),
                [this](const QString &name, const QVariantMap &userInfo) {
                    QCOMPARE(name, AppNotifier::popoverResizeRequested);
                    m_requests.append(userInfo);
                });
    }
    void cleanup()
    {
        m_handle.reset();
        m_translator.reset();
    }

    // From the stored size, held within 720 x 380 and 1200 x 900; a press alone asks for the
    // size it starts from.
    void drag_data()
    {
        QTest::addColumn<QVariant>("stored"); // null: nothing
        QTest::addColumn<QPoint>("moved");
        QTest::addColumn<QSizeF>("asked");
        const QVariant none;
        QTest::newRow("nothing stored") << none << QPoint(100, 50) << QSizeF(880, 510);
        QTest::newRow("far up and left") << none << QPoint(-1000, -1000) << QSizeF(720, 380);
        QTest::newRow("far down and right") << none << QPoint(1000, 1000) << QSizeF(1200, 900);
        QTest::newRow("from the stored size")
            << QVariant(sized(900, 600.5)) << QPoint(-30, 40) << QSizeF(870, 640.5);
        // Capped at the maximum first, then raised to the minimum.
        QTest::newRow("stored beyond the limits")
            << QVariant(sized(5000, -10)) << QPoint() << QSizeF(1200, 380);
        QTest::newRow("stored, a press alone")
            << QVariant(sized(1000, 700)) << QPoint() << QSizeF(1000, 700);
        QTest::newRow("no height")
            << QVariant(QVariantMap{{"width", 1000.0}}) << QPoint() << QSizeF(780, 460);
        QTest::newRow("not a number")
            << QVariant(sized(std::nan(""), 700)) << QPoint() << QSizeF(780, 460);
        QTest::newRow("not a map") << QVariant("1000x700") << QPoint() << QSizeF(780, 460);
    }
    void drag()
    {
        QFETCH(QVariant, stored);
        QFETCH(QPoint, moved);
        QFETCH(QSizeF, asked);
        m_translator->settings.setValue("popoverSize", stored);
        const QPointF start(500, 400);
        send(QEvent::MouseButtonPress, start);
        if (!moved.isNull()) {
            send(QEvent::MouseMove, start + QPointF(moved) / 2, Qt::NoButton);
            send(QEvent::MouseMove, start + QPointF(moved), Qt::NoButton);
        }
        send(QEvent::MouseButtonRelease, start + QPointF(moved));
        QCOMPARE(m_requests.size(), moved.isNull() ? 1 : 3);
        QCOMPARE(m_requests.last(), (QVariantMap{{"size", asked}, {"final", true}}));
        if (!moved.isNull()) {
            QCOMPARE(m_requests[1], (QVariantMap{{"size", asked}}));
            QVERIFY(!m_requests[0].contains("final"));
        }
    }

    // The size the shell stored after the last drag, not the one there was at construction.
    void startSizeIsReadAtThePress()
    {
        m_translator->settings.setValue("popoverSize", sized(1000, 700));
        send(QEvent::MouseButtonPress, {0, 0});
        send(QEvent::MouseButtonRelease, {0, 0});
        m_translator->settings.setValue("popoverSize", sized(1010, 710));
        send(QEvent::MouseButtonPress, {0, 0});
        send(QEvent::MouseMove, {5, -5}, Qt::NoButton);
        send(QEvent::MouseButtonRelease, {5, -5});
        QCOMPARE(m_requests.first().value("size"), QSizeF(1000, 700));
        QCOMPARE(m_requests.last().value("size"), QSizeF(1015, 705));
    }

    void otherButtonsAndStrayMovesAskForNothing()
    {
        send(QEvent::MouseMove, {40, 40}, Qt::NoButton);
        send(QEvent::MouseButtonPress, {0, 0}, Qt::RightButton);
        send(QEvent::MouseMove, {40, 40}, Qt::NoButton);
        send(QEvent::MouseButtonRelease, {40, 40}, Qt::RightButton);
        send(QEvent::MouseButtonRelease, {40, 40});
        QVERIFY(m_requests.isEmpty());
    }

private:
    // At `global` on the screen: the handle moves with the window it resizes.
    void send(QEvent::Type type, QPointF global, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, QPointF(16, 16), global, button, held, Qt::NoModifier);
        QApplication::sendEvent(m_handle.get(), &event);
    }

    std::unique_ptr<TestTranslator> m_translator;
    std::unique_ptr<ResizeHandle> m_handle;
    QList<QVariantMap> m_requests;
};

QTEST_MAIN(TestResizeHandle)
#include "tst_resizehandle.moc"
