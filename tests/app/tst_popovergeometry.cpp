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
        // On a screen of 1280 x 800 below a panel of 24 at the top.
        const auto row = [](const char *name, QRect anchor, QPoint topLeft,
                            QSize size = QSize(780, 460), QPoint pointer = {}) {
            QTest::newRow(name) << anchor << pointer << size << QRect(topLeft, size);
        };
        row("centred under a tray in the middle", QRect(600, 0, 24, 24), {221, 24});
        row("exactly at the right edge", QRect(879, 0, 24, 24), {500, 24});
        row("tray at the left edge", QRect(0, 0, 24, 24), {0, 24});
        row("exactly fits below", QRect(600, 316, 24, 24), {221, 340});
        row("one pixel too low: pushed up", QRect(600, 317, 24, 24), {221, 340});
        row("exactly fits above", QRect(600, 484, 24, 24), {221, 24});
        row("one pixel short above: pushed up", QRect(600, 483, 24, 24), {221, 340});
        row("no tray geometry: under the pointer", QRect(), {10, 301}, {780, 460}, {400, 300});
        row("screen smaller than the popover", QRect(600, 0, 24, 24), {0, 24}, {1400, 900});
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
