// The popover's resize grip: what a drag asks the shell for, where it starts from, and the
// stroke it paints.
#include "appnotifier.h"
#include "apptheme.h"
#include "preferences.h"
#include "resizehandle.h"
#include "testhome.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

using Requests = QList<QVariantMap>;

// A map as QSettings gives it back; a null variant stores nothing.
void store(QSettings &settings, const QVariant &value)
{
    settings.remove("popoverSize");
    if (value.isValid()) {
        settings.setValue("popoverSize", value);
    }
}

QVariantMap sized(double width, double height)
{
    return {{"width", width}, {"height", height}};
}

} // namespace

class TestResizeHandle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        AppTheme::apply(AppTheme::Scheme::light);
    }

    void init()
    {
        m_settings =
            std::make_unique<QSettings>(m_home->path() + "/settings.ini", QSettings::IniFormat);
        m_settings->clear();
        m_preferences = std::make_unique<Preferences>(*m_settings);
        m_handle = std::make_unique<ResizeHandle>(*m_preferences);
        m_requests.clear();
        m_connection = connect(&AppNotifier::instance(), &AppNotifier::posted, this,
                               [this](const QString &name, const QVariantMap &userInfo) {
                                   QCOMPARE(name, AppNotifier::popoverResizeRequested);
                                   m_requests.append(userInfo);
                               });
    }

    void cleanup()
    {
        disconnect(m_connection);
        m_handle.reset();
        m_preferences.reset();
        m_settings.reset();
    }

    // The pointing hand while the pointer is over the handle, the arrow again after.
    void cursor()
    {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(m_handle.get(), &enter);
        QCOMPARE(m_handle->cursor().shape(), Qt::PointingHandCursor);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(m_handle.get(), &leave);
        QCOMPARE(m_handle->cursor().shape(), Qt::ArrowCursor);
    }

    void drag_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QPoint>("moved");
        QTest::addColumn<QSizeF>("asked");
        QTest::newRow("nothing stored, right and down")
            << QVariant() << QPoint(100, 50) << QSizeF(880, 510);
        QTest::newRow("far up and left") << QVariant() << QPoint(-1000, -1000) << QSizeF(720, 380);
        QTest::newRow("far down and right")
            << QVariant() << QPoint(1000, 1000) << QSizeF(1200, 900);
        QTest::newRow("from the stored size")
            << QVariant(sized(900, 600)) << QPoint(-30, 40) << QSizeF(870, 640);
        QTest::newRow("fractions kept")
            << QVariant(sized(800.5, 500.25)) << QPoint(1, 1) << QSizeF(801.5, 501.25);
        // Capped at the maximum first, then raised to the minimum: a stored size beyond the
        // maximum comes back within the limits.
        QTest::newRow("stored beyond the limits")
            << QVariant(sized(5000, -10)) << QPoint(0, 0) << QSizeF(1200, 380);
    }
    void drag()
    {
        QFETCH(QVariant, stored);
        QFETCH(QPoint, moved);
        QFETCH(QSizeF, asked);
        store(*m_settings, stored);
        const QPointF start(500, 400);
        send(QEvent::MouseButtonPress, start, Qt::LeftButton);
        send(QEvent::MouseMove, start + QPointF(moved) / 2, Qt::NoButton);
        send(QEvent::MouseMove, start + QPointF(moved), Qt::NoButton);
        send(QEvent::MouseButtonRelease, start + QPointF(moved), Qt::LeftButton);

        QCOMPARE(m_requests.size(), 3);
        QCOMPARE(m_requests[1], (QVariantMap{{"size", asked}}));
        QCOMPARE(m_requests[2], (QVariantMap{{"size", asked}, {"final", true}}));
        QCOMPARE(m_requests[0].value("size").typeId(), QMetaType::QSizeF);
        QVERIFY(!m_requests[0].contains("final"));
    }

    void pressWithoutMovementAsksForTheStartSize_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QSizeF>("asked");
        QTest::newRow("nothing stored") << QVariant() << QSizeF(780, 460);
        QTest::newRow("stored") << QVariant(sized(1000, 700)) << QSizeF(1000, 700);
        QTest::newRow("whole numbers")
            << QVariant(QVariantMap{{"width", 1000}, {"height", 700}}) << QSizeF(1000, 700);
        QTest::newRow("no height") << QVariant(QVariantMap{{"width", 1000.0}}) << QSizeF(780, 460);
        QTest::newRow("a flag") << QVariant(QVariantMap{{"width", true}, {"height", 700.0}})
                                << QSizeF(780, 460);
        QTest::newRow("not a number") << QVariant(sized(std::nan(""), 700)) << QSizeF(780, 460);
        QTest::newRow("not a map") << QVariant("1000x700") << QSizeF(780, 460);
        QTest::newRow("too small") << QVariant(sized(100, 100)) << QSizeF(720, 380);
    }
    void pressWithoutMovementAsksForTheStartSize()
    {
        QFETCH(QVariant, stored);
        QFETCH(QSizeF, asked);
        store(*m_settings, stored);
        // Read back from the file, as at the next start.
        m_settings->sync();
        QSettings reread(m_settings->fileName(), QSettings::IniFormat);
        Preferences preferences(reread);
        ResizeHandle handle(preferences);
        send(handle, QEvent::MouseButtonPress, {300, 300}, Qt::LeftButton);
        send(handle, QEvent::MouseButtonRelease, {300, 300}, Qt::LeftButton);
        QCOMPARE(m_requests, (Requests{{{"size", asked}, {"final", true}}}));
    }

    // The size the shell stored after the last drag, not the one there was at construction.
    void startSizeIsReadAtThePress()
    {
        store(*m_settings, sized(1000, 700));
        send(QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, {0, 0}, Qt::LeftButton);
        store(*m_settings, sized(1010, 710));
        send(QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton);
        send(QEvent::MouseMove, {5, -5}, Qt::NoButton);
        send(QEvent::MouseButtonRelease, {5, -5}, Qt::LeftButton);
        QCOMPARE(m_requests, (Requests{{{"size", QSizeF(1000, 700)}, {"final", true}},
                                       {{"size", QSizeF(1015, 705)}},
                                       {{"size", QSizeF(1015, 705)}, {"final", true}}}));
    }

    void otherButtonsAndStrayMovesAskForNothing()
    {
        send(QEvent::MouseMove, {40, 40}, Qt::NoButton);
        send(QEvent::MouseButtonPress, {0, 0}, Qt::RightButton);
        send(QEvent::MouseMove, {40, 40}, Qt::NoButton);
        send(QEvent::MouseButtonRelease, {40, 40}, Qt::RightButton);
        send(QEvent::MouseButtonRelease, {40, 40}, Qt::LeftButton);
        QVERIFY(m_requests.isEmpty());
    }

    void stroke_data()
    {
        QTest::addColumn<AppTheme::Scheme>("scheme");
        QTest::newRow("light") << AppTheme::Scheme::light;
        QTest::newRow("dark") << AppTheme::Scheme::dark;
    }
    void stroke()
    {
        QFETCH(AppTheme::Scheme, scheme);
        AppTheme::apply(scheme);
        const QImage image = render(*m_handle, 4);
        AppTheme::apply(AppTheme::Scheme::light);

        // Only within the 18 x 18 canvas in the corner, and 3 points in from its edges.
        QRect inked;
        int strongest = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() > 0) {
                    inked |= QRect(x, y, 1, 1);
                    strongest = std::max(strongest, pixel.alpha());
                }
                if (pixel.alpha() >= 20) {
                    const int expected = scheme == AppTheme::Scheme::dark ? 255 : 0;
                    QVERIFY2(std::abs(pixel.red() - expected) <= 8,
                             qPrintable(QString::number(pixel.red())));
                }
            }
        }
        const QRectF points(QPointF(inked.topLeft()) / 4, QSizeF(inked.size()) / 4);
        QVERIFY2(points.left() >= 14 && points.top() >= 14,
                 qPrintable(QString("%1,%2").arg(points.left()).arg(points.top())));
        // The ends at (29, 15) and (15, 29), half the stroke width around them.
        QVERIFY(std::abs(points.right() - 29.75) < 0.5);
        QVERIFY(std::abs(points.bottom() - 29.75) < 0.5);
        QVERIFY(std::abs(points.left() - 14.25) < 0.5);
        QVERIFY(std::abs(points.top() - 14.25) < 0.5);
        // The curve passes through its middle at (25.5, 25.5) and leaves the corner itself
        // clear.
        QVERIFY(image.pixelColor(102, 102).alpha() > 0);
        QCOMPARE(image.pixelColor(31 * 4, 31 * 4).alpha(), 0);
        QCOMPARE(image.pixelColor(21 * 4, 21 * 4).alpha(), 0);
        // The tertiary label colour at 60 %.
        const double expectedAlpha = AppTheme::colors(scheme).tertiaryLabel.alphaF() * 0.6 * 255;
        QVERIFY2(std::abs(strongest - expectedAlpha) <= 2, qPrintable(QString::number(strongest)));
    }

    // Not a check: pictures to look at, under the build folder.
    void renderStates()
    {
        const QString folder = QCoreApplication::applicationDirPath() + "/handle-png";
        QVERIFY(QDir().mkpath(folder));
        for (AppTheme::Scheme scheme : {AppTheme::Scheme::light, AppTheme::Scheme::dark}) {
            AppTheme::apply(scheme);
            const QString name = scheme == AppTheme::Scheme::dark ? "dark" : "light";
            QImage image = render(*m_handle, 8);
            // Over the scheme's window colour with the tint, as it sits in the popover.
            QImage composed(image.size(), QImage::Format_ARGB32_Premultiplied);
            composed.fill(AppTheme::colors().window);
            QPainter painter(&composed);
            painter.fillRect(composed.rect(), AppTheme::colors().tint);
            painter.drawImage(0, 0, image);
            painter.setPen(QColor(255, 0, 0, 60));
            painter.drawRect(QRectF(14 * 8, 14 * 8, 18 * 8 - 1, 18 * 8 - 1)); // the canvas
            painter.end();
            QVERIFY(composed.save(folder + "/handle-" + name + "@8x.png"));
        }
        AppTheme::apply(AppTheme::Scheme::light);
    }

private:
    static QImage render(QWidget &widget, int scale)
    {
        QImage image(widget.size() * scale, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        widget.render(&image, {}, {}, QWidget::DrawChildren);
        image.setDevicePixelRatio(1);
        return image.convertToFormat(QImage::Format_ARGB32);
    }

    // A mouse event at `global` on the screen; the handle's own position does not matter.
    static void send(QWidget &target, QEvent::Type type, const QPointF &global,
                     Qt::MouseButton button)
    {
        const Qt::MouseButtons buttons =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, QPointF(16, 16), global, button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&target, &event);
    }
    void send(QEvent::Type type, const QPointF &global, Qt::MouseButton button)
    {
        send(*m_handle, type, global, button);
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<ResizeHandle> m_handle;
    Requests m_requests;
    QMetaObject::Connection m_connection;
};

QTEST_MAIN(TestResizeHandle)
#include "tst_resizehandle.moc"
