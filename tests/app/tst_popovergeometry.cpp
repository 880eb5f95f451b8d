// Size and place of the popover, and which presses close it.
#include "popovergeometry.h"

#include <QTest>

#include <limits>

class TestPopoverGeometry : public QObject
{
    Q_OBJECT

private slots:
    void resizeRequests_data()
    {
        QTest::addColumn<QVariantMap>("userInfo");
        QTest::addColumn<QSize>("size"); // empty: ignored
        QTest::newRow("whole size") << QVariantMap{{"size", QSize(880, 510)}} << QSize(880, 510);
        QTest::newRow("beyond the limits")
            << QVariantMap{{"size", QSizeF(5000, 10)}} << QSize(1200, 380);
        QTest::newRow("no size") << QVariantMap{{"final", true}} << QSize();
        QTest::newRow("not a size") << QVariantMap{{"size", "880x510"}} << QSize();
        QTest::newRow("infinite")
            << QVariantMap{{"size", QSizeF(std::numeric_limits<double>::infinity(), 500)}}
            << QSize();
    }
    void resizeRequests()
    {
        QFETCH(QVariantMap, userInfo);
        QFETCH(QSize, size);
        QCOMPARE(PopoverGeometry::requestedSize(userInfo).value_or(QSize()), size);
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("frame");
        const QRect screen(0, 24, 1280, 776); // a panel of 24 at the top
        const QSize popover(780, 460);
        QTest::newRow("centred under a tray in the middle")
            << QRect(600, 0, 24, 24) << QPoint() << popover << QRect(QPoint(221, 24), popover);
        QTest::newRow("tray at the right edge")
            << QRect(1256, 0, 24, 24) << QPoint() << popover << QRect(QPoint(500, 24), popover);
        QTest::newRow("tray at the left edge")
            << QRect(0, 0, 24, 24) << QPoint() << popover << QRect(QPoint(0, 24), popover);
        QTest::newRow("tray at the bottom: above it")
            << QRect(1200, 776, 24, 24) << QPoint() << popover << QRect(QPoint(500, 316), popover);
        QTest::newRow("no tray geometry: under the pointer")
            << QRect() << QPoint(400, 300) << popover << QRect(QPoint(10, 301), popover);
        QTest::newRow("screen smaller than the popover")
            << QRect(600, 0, 24, 24) << QPoint() << QSize(1400, 900)
            << QRect(QPoint(0, 24), QSize(1400, 900));
    }
    void placement()
    {
        QFETCH(QRect, anchor);
        QFETCH(QPoint, pointer);
        QFETCH(QSize, size);
        QFETCH(QRect, frame);
        QCOMPARE(PopoverGeometry::placement(anchor, pointer, size, QRect(0, 24, 1280, 776)), frame);
    }

    void pressesThatClose_data()
    {
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("closes");
        QTest::newRow("top-left edge") << QPoint(500, 24) << true << false;
        QTest::newRow("bottom-right edge") << QPoint(1279, 483) << true << false;
        QTest::newRow("just outside") << QPoint(1280, 483) << true << true;
        QTest::newRow("outside, popover hidden") << QPoint(1280, 483) << false << false;
        QTest::newRow("on the tray icon") << QPoint(900, 10) << true << false;
        QTest::newRow("beside the tray icon") << QPoint(920, 10) << true << true;
    }
    void pressesThatClose()
    {
        QFETCH(QPoint, press);
        QFETCH(bool, visible);
        QFETCH(bool, closes);
        QCOMPARE(PopoverGeometry::closesPopover(QRect(500, 24, 780, 460), visible, press,
                                                QRect(890, 2, 22, 22)),
                 closes);
    }
};

QTEST_GUILESS_MAIN(TestPopoverGeometry)
#include "tst_popovergeometry.moc"
