// The popover's resize grip: what a drag asks the shell for, within which bounds, from the size
// stored when the press comes.
#include "appnotifier.h"
#include "resizehandle.h"
#include "testtranslator.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

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

    // Held within 720 x 380 and 1200 x 900; a press alone asks for the size it starts from.
    void drag_data()
    {
        QTest::addColumn<QVariant>("stored"); // null: nothing
        QTest::addColumn<QPoint>("moved");
        QTest::addColumn<QSizeF>("asked");
        QTest::newRow("nothing stored") << QVariant() << QPoint(100, 50) << QSizeF(880, 510);
        QTest::newRow("far up and left") << QVariant() << QPoint(-1000, -1000) << QSizeF(720, 380);
        QTest::newRow("far down and right")
            << QVariant() << QPoint(1000, 1000) << QSizeF(1200, 900);
        QTest::newRow("from the stored size")
            << QVariant(sized(900, 600.5)) << QPoint(-30, 40) << QSizeF(870, 640.5);
        QTest::newRow("stored, a press alone")
            << QVariant(sized(1000, 700)) << QPoint() << QSizeF(1000, 700);
        QTest::newRow("stored, not a map") << QVariant("1000x700") << QPoint() << QSizeF(780, 460);
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
        QVERIFY(moved.isNull() || m_requests[1] == (QVariantMap{{"size", asked}}));
    }

    // Other buttons and moves without a press ask for nothing; the next drag starts from the
    // size the shell stored after the last one.
    void pressesAndStoredSize()
    {
        send(QEvent::MouseMove, {40, 40}, Qt::NoButton);
        send(QEvent::MouseButtonPress, {0, 0}, Qt::RightButton);
        send(QEvent::MouseMove, {40, 40}, Qt::NoButton);
        send(QEvent::MouseButtonRelease, {40, 40}, Qt::RightButton);
        send(QEvent::MouseButtonRelease, {40, 40});
        QVERIFY(m_requests.isEmpty());

        m_translator->settings.setValue("popoverSize", sized(1000, 700));
        send(QEvent::MouseButtonPress, {0, 0});
        send(QEvent::MouseButtonRelease, {0, 0});
        m_translator->settings.setValue("popoverSize", sized(1010, 710));
        send(QEvent::MouseButtonPress, {0, 0});
        send(QEvent::MouseMove, {5, -5}, Qt::NoButton);
        send(QEvent::MouseButtonRelease, {5, -5});
        send(QEvent::MouseButtonRelease, {9, 9}); // a second release: the drag is over
        QCOMPARE(m_requests.size(), 3);
        QCOMPARE(m_requests.first().value("size"), QSizeF(1000, 700));
        QCOMPARE(m_requests.last().value("size"), QSizeF(1015, 705));
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
