// The popover's small controls: glyphs, the round icon buttons and the capsule behind them, the
// gear and swap buttons, the pointer over them, and dictation where there is none.
#include "actionicon.h"
#include "apptheme.h"
#include "capsulebuttongroup.h"
#include "cursormodifier.h"
#include "glyph.h"
#include "settingsgearbutton.h"
#include "swapbutton.h"
#include "unavailabledictation.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Scheme = AppTheme::Scheme;

namespace {

QColor rgba(float r, float g, float b, float a)
{
    return QColor::fromRgbF(r, g, b, a);
}

const QColor none = rgba(0, 0, 0, 0);
const QColor red = rgba(1, 0.27f, 0.27f, 1);

QColor hoverDisc(Scheme scheme)
{
    return scheme == Scheme::dark ? rgba(1, 1, 1, 0.1f) : rgba(0, 0, 0, 0.08f);
}

QColor faded(QColor color, float opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

// `layers`, bottom first, over the window colour: what grab() shows of a child widget.
QColor onWindow(const QWidget *widget, const QList<QColor> &layers)
{
    QColor c = widget->palette().color(QPalette::Window);
    for (const QColor &l : layers) {
        const float a = l.alphaF();
        c = QColor::fromRgbF(l.redF() * a + c.redF() * (1 - a),
                             l.greenF() * a + c.greenF() * (1 - a),
                             l.blueF() * a + c.blueF() * (1 - a));
    }
    return c;
}

bool near(const QColor &a, const QColor &b)
{
    const float tolerance = 4.f / 255;
    return std::abs(a.redF() - b.redF()) <= tolerance &&
           std::abs(a.greenF() - b.greenF()) <= tolerance &&
           std::abs(a.blueF() - b.blueF()) <= tolerance &&
           std::abs(a.alphaF() - b.alphaF()) <= tolerance;
}

#define COMPARE_COLOR(actual, expected)                                                            \
    QVERIFY2(near(actual, expected), qPrintable((actual).name(QColor::HexArgb) +                   \
                                                " != " + (expected).name(QColor::HexArgb)))

void hover(QWidget *widget)
{
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(widget, &enter);
}

void unhover(QWidget *widget)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &leave);
}

// An icon theme in a temporary folder, made the only one Qt looks in.
class FakeIconTheme
{
public:
    explicit FakeIconTheme(const QMap<QString, QImage> &icons)
    {
        const QString name = QStringLiteral("quenzal-test-%1").arg(++s_count);
        QDir(m_dir.path()).mkpath(name + "/any");
        QFile index(m_dir.filePath(name + "/index.theme"));
        if (index.open(QIODevice::WriteOnly)) {
            index.write("[Icon Theme]\nName=Test\nDirectories=any\n\n"
                        "[any]\nSize=24\nMinSize=1\nMaxSize=512\nType=Scalable\n");
        }
        for (auto it = icons.begin(); it != icons.end(); ++it) {
            it.value().save(m_dir.filePath(name + "/any/" + it.key() + ".png"));
        }
        QIcon::setThemeSearchPaths({m_dir.path()});
        QIcon::setThemeName(name);
    }
    ~FakeIconTheme() { QIcon::setThemeName(QStringLiteral("quenzal-none")); }

private:
    static inline int s_count = 0;
    QTemporaryDir m_dir;
};

QImage solid()
{
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(Qt::black);
    return image;
}

} // namespace

class TestActionControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // No desktop theme gets a say unless a test brings its own.
        QIcon::setThemeSearchPaths({m_noThemes.path()});
        QIcon::setThemeName(QStringLiteral("quenzal-none"));
    }
    void init() { AppTheme::apply(Scheme::light); }

    void everyGlyphHasOurArtwork_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : Glyph::names()) {
            QTest::newRow(qPrintable(name)) << name;
        }
    }
    void everyGlyphHasOurArtwork()
    {
        QFETCH(QString, name);
        const QPixmap pixmap = Glyph::pixmap(name, 24, Qt::black, Glyph::Order::themeFirst, 2);
        QCOMPARE(pixmap.size(), QSize(48, 48));
        QCOMPARE(pixmap.devicePixelRatio(), 2.0);
        // A picture: neither empty nor a solid square.
        const QImage image = pixmap.toImage();
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        bool opaque = false;
        for (int y = 0; y < image.height() && !opaque; ++y) {
            for (int x = 0; x < image.width() && !opaque; ++x) {
                opaque = image.pixelColor(x, y).alpha() == 255;
            }
        }
        QVERIFY(opaque);
    }

    void lookupOrder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Glyph::Order>("order");
        QTest::addColumn<bool>("fromTheme"); // the theme's pictures are solid, ours never
        QTest::newRow("the theme has the plain name") << "copy" << Glyph::Order::themeFirst << true;
        QTest::newRow("the theme has the symbolic name")
            << "warning" << Glyph::Order::themeFirst << true;
        QTest::newRow("the theme lacks it") << "microphone" << Glyph::Order::themeFirst << false;
        QTest::newRow("no good theme name") << "swap" << Glyph::Order::themeFirst << false;
        QTest::newRow("ours first") << "copy" << Glyph::Order::ownFirst << false;
    }
    void lookupOrder()
    {
        QFETCH(QString, name);
        QFETCH(Glyph::Order, order);
        QFETCH(bool, fromTheme);
        FakeIconTheme theme({{"edit-copy", solid()},
                             {"dialog-warning-symbolic", solid()},
                             {"object-flip-horizontal", solid()}});
        const QImage image = Glyph::pixmap(name, 24, Qt::black, order).toImage();
        QCOMPARE(image.pixelColor(0, 0).alpha(), fromTheme ? 255 : 0);
    }

    void unknownGlyphs_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pixelSize");
        QTest::newRow("unknown name") << "teapot" << 14;
        QTest::newRow("a theme name, not ours") << "edit-copy" << 14;
        QTest::newRow("a path") << "../icons/quenzal" << 14;
        QTest::newRow("no size") << "copy" << 0;
    }
    void unknownGlyphs()
    {
        QFETCH(QString, name);
        QFETCH(int, pixelSize);
        QVERIFY(Glyph::pixmap(name, pixelSize, Qt::black).isNull());
        QVERIFY(Glyph::pixmap(name, pixelSize, Qt::black, Glyph::Order::ownFirst).isNull());
        QImage canvas(32, 32, QImage::Format_ARGB32);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        Glyph::paint(painter, canvas.rect(), name, pixelSize, Qt::black);
        painter.end();
        QCOMPARE(canvas.pixelColor(16, 16).alpha(), 0);
    }

    void tinting_data()
    {
        QTest::addColumn<QColor>("tint");
        QTest::newRow("opaque blue") << rgba(0, 0, 1, 1);
        QTest::newRow("half-transparent orange") << rgba(1, 0.5f, 0, 0.5f);
    }
    void tinting()
    {
        QFETCH(QColor, tint);
        // Opaque red on the left, half-transparent green on the right.
        QImage source(24, 24, QImage::Format_ARGB32);
        source.fill(Qt::red);
        {
            QPainter painter(&source);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(12, 0, 12, 24, rgba(0, 1, 0, 0.5f));
        }
        FakeIconTheme theme({{"dialog-information-symbolic", source}});
        const QImage image = Glyph::pixmap("info", 24, tint).toImage();
        // The theme's colours are gone, its alpha stays.
        COMPARE_COLOR(image.pixelColor(3, 12), tint);
        COMPARE_COLOR(image.pixelColor(20, 12), faded(tint, 0.5f));
    }

    void actionIconLook_data()
    {
        QTest::addColumn<Scheme>("scheme");
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QColor>("glyph");
        QTest::addColumn<QColor>("disc");
        for (Scheme scheme : {Scheme::light, Scheme::dark}) {
            const char *name = scheme == Scheme::dark ? "dark" : "light";
            const AppTheme::Colors &c = AppTheme::colors(scheme);
            const QColor redDisc = faded(red, 0.12f);
            const QColor faint = faded(c.secondaryLabel, 0.35f);
            QTest::addRow("%s, at rest", name)
                << scheme << false << false << true << c.secondaryLabel << none;
            QTest::addRow("%s, hovered", name)
                << scheme << true << false << true << c.label << hoverDisc(scheme);
            QTest::addRow("%s, active", name) << scheme << false << true << true << red << redDisc;
            QTest::addRow("%s, active and hovered", name)
                << scheme << true << true << true << red << redDisc;
            QTest::addRow("%s, disabled and hovered", name)
                << scheme << true << false << false << faint << none;
        }
    }
    void actionIconLook()
    {
        QFETCH(Scheme, scheme);
        QFETCH(bool, hovered);
        QFETCH(bool, active);
        QFETCH(bool, enabled);
        QFETCH(QColor, glyph);
        QFETCH(QColor, disc);
        AppTheme::apply(scheme);
        QWidget host;
        auto *icon = new ActionIcon("stop", "Stop", &host); // a solid square in the middle
        icon->setActive(active);
        icon->setEnabled(enabled);
        host.show();
        if (hovered) {
            hover(icon);
        }
        const QImage image = icon->grab().toImage();
        QCOMPARE(image.size(), QSize(28, 28));
        COMPARE_COLOR(image.pixelColor(14, 14), onWindow(icon, {disc, glyph}));
        COMPARE_COLOR(image.pixelColor(14, 4), onWindow(icon, {disc}));
        COMPARE_COLOR(image.pixelColor(22, 22), onWindow(icon, {disc})); // within the circle
        COMPARE_COLOR(image.pixelColor(1, 1), onWindow(icon, {}));       // outside it
    }

    void schemeChangeShowsAtNextPaint()
    {
        QWidget host;
        auto *icon = new ActionIcon("stop", "Stop", &host);
        host.show();
        for (Scheme scheme : {Scheme::light, Scheme::dark}) {
            AppTheme::apply(scheme);
            COMPARE_COLOR(icon->grab().toImage().pixelColor(14, 14),
                          onWindow(icon, {AppTheme::colors(scheme).secondaryLabel}));
        }
    }

    void clicks_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<int>("clicks");
        QTest::newRow("left click") << true << Qt::LeftButton << QPoint(14, 14) << 1;
        QTest::newRow("right click") << true << Qt::RightButton << QPoint(14, 14) << 0;
        QTest::newRow("released outside") << true << Qt::LeftButton << QPoint(40, 14) << 0;
        QTest::newRow("disabled") << false << Qt::LeftButton << QPoint(14, 14) << 0;
    }
    void clicks()
    {
        QFETCH(bool, enabled);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPoint, release);
        QFETCH(int, clicks);
        QWidget host;
        auto *editor = new QLabel(&host); // anything that takes the focus
        editor->setFocusPolicy(Qt::StrongFocus);
        auto *icon = new ActionIcon("microphone", "Microphone", &host);
        icon->move(0, 30);
        icon->setEnabled(enabled);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        editor->setFocus();
        QSignalSpy clicked(icon, &ActionIcon::clicked);
        QTest::mousePress(icon, button, {}, {14, 14});
        QTest::mouseRelease(icon, button, {}, release);
        QCOMPARE(clicked.count(), clicks);
        QVERIFY(editor->hasFocus()); // the caret stays where the user was typing
    }

    void toolTips()
    {
        ActionIcon icon("speak", "Speak");
        const QImage speaking = icon.grab().toImage();
        icon.setGlyph("stop");
        icon.setToolTip("Stop speaking");
        QCOMPARE(icon.toolTip(), "Stop speaking");
        QCOMPARE(icon.accessibleName(), "Stop speaking");
        QVERIFY(icon.grab().toImage() != speaking);
        QCOMPARE(SettingsGearButton().toolTip(), "Settings");
        QCOMPARE(SwapButton().toolTip(), "Swap languages");
    }

    void capsuleGradient_data()
    {
        QTest::addColumn<Scheme>("scheme");
        QTest::addColumn<QList<float>>("fill"); // white's alpha at the top left, bottom right
        QTest::addColumn<QList<float>>("edge");
        QTest::newRow("light") << Scheme::light << QList<float>{0.75f, 0.35f}
                               << QList<float>{0.8f, 0.3f};
        QTest::newRow("dark") << Scheme::dark << QList<float>{0.12f, 0.05f}
                              << QList<float>{0.1f, 0.06f};
    }
    void capsuleGradient()
    {
        QFETCH(Scheme, scheme);
        QFETCH(QList<float>, fill);
        QFETCH(QList<float>, edge);
        AppTheme::apply(scheme);
        QWidget host;
        auto *group = new CapsuleButtonGroup(&host);
        for (const char *glyph : {"copy", "speak", "microphone"}) {
            group->addWidget(new ActionIcon(glyph, glyph));
        }
        host.show();
        const QImage image = group->grab().toImage();
        const int w = image.width();
        const int h = image.height();
        QCOMPARE(QSize(w, h), QSize(4 + 3 * 28 + 2 * 2 + 4, 3 + 28 + 3));

        const auto along = [&](const QList<float> &ends, QPoint p) {
            const float t = ((p.x() + 0.5f) * w + (p.y() + 0.5f) * h) / float(w * w + h * h);
            return rgba(1, 1, 1, ends[0] + (ends[1] - ends[0]) * t);
        };
        // Rounded ends leave the corners empty.
        for (QPoint p : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)}) {
            COMPARE_COLOR(image.pixelColor(p), onWindow(group, {}));
        }
        // The fill in the padding, the edge on top of it at the very rim.
        for (QPoint p :
             {QPoint(2, h / 2), QPoint(w - 3, h / 2), QPoint(w / 2, 1), QPoint(w / 2, h - 2)}) {
            COMPARE_COLOR(image.pixelColor(p), onWindow(group, {along(fill, p)}));
        }
        for (QPoint p :
             {QPoint(0, h / 2), QPoint(w - 1, h / 2), QPoint(h / 2, 0), QPoint(w - h / 2, h - 1)}) {
            COMPARE_COLOR(image.pixelColor(p), onWindow(group, {along(fill, p), along(edge, p)}));
        }
    }

    void gearAndSwapLook_data()
    {
        QTest::addColumn<Scheme>("scheme");
        QTest::addColumn<bool>("gear"); // else swap
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<QColor>("glyph");
        QTest::addColumn<QColor>("disc");
        for (Scheme scheme : {Scheme::light, Scheme::dark}) {
            const char *name = scheme == Scheme::dark ? "dark" : "light";
            const AppTheme::Colors &c = AppTheme::colors(scheme);
            for (bool gear : {true, false}) {
                const char *what = gear ? "gear" : "swap";
                QTest::addRow("%s %s at rest", name, what)
                    << scheme << gear << false << c.secondaryLabel << none;
                QTest::addRow("%s %s hovered", name, what)
                    << scheme << gear << true << c.label << (gear ? hoverDisc(scheme) : none);
            }
        }
    }
    void gearAndSwapLook()
    {
        QFETCH(Scheme, scheme);
        QFETCH(bool, gear);
        QFETCH(bool, hovered);
        QFETCH(QColor, glyph);
        QFETCH(QColor, disc);
        AppTheme::apply(scheme);
        QWidget host;
        QWidget *button =
            gear ? static_cast<QWidget *>(new SettingsGearButton(&host)) : new SwapButton(&host);
        host.show();
        if (hovered) {
            hover(button);
        }
        const QImage image = button->grab().toImage();
        const int side = gear ? 28 : 32;
        QCOMPARE(image.size(), QSize(side, side));

        // Where the glyph covers most, it shows its colour at that coverage.
        const QImage alone =
            Glyph::pixmap(gear ? "settings" : "swap", gear ? 14 : 13, Qt::black).toImage();
        int coverage = 0;
        for (int y = 0; y < alone.height(); ++y) {
            for (int x = 0; x < alone.width(); ++x) {
                coverage = std::max(coverage, alone.pixelColor(x, y).alpha());
            }
        }
        const QColor background = onWindow(button, {disc});
        QColor strongest = background;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::abs(c.lightness() - background.lightness()) >
                    std::abs(strongest.lightness() - background.lightness())) {
                    strongest = c;
                }
            }
        }
        COMPARE_COLOR(strongest, onWindow(button, {disc, faded(glyph, coverage / 255.f)}));
        // The disc, where there is one, is clipped to the circle of the frame.
        COMPARE_COLOR(image.pixelColor(side / 2, 2), background);
        COMPARE_COLOR(image.pixelColor(0, 0), onWindow(button, {}));
    }

    void cursorModifier_data()
    {
        QTest::addColumn<bool>("ownCursor"); // else the parent's shows
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("events"); // e: enter, l: leave
        QTest::addColumn<Qt::CursorShape>("during");
        QTest::newRow("parent's cursor") << false << true << "e" << Qt::PointingHandCursor;
        QTest::newRow("own cursor") << true << true << "e" << Qt::PointingHandCursor;
        QTest::newRow("entered twice") << true << true << "ee" << Qt::PointingHandCursor;
        QTest::newRow("entered again") << false << true << "ele" << Qt::PointingHandCursor;
        QTest::newRow("left without entering") << true << true << "" << Qt::CrossCursor;
        QTest::newRow("disabled") << false << false << "e" << Qt::IBeamCursor;
    }
    void cursorModifier()
    {
        QFETCH(bool, ownCursor);
        QFETCH(bool, enabled);
        QFETCH(QString, events);
        QFETCH(Qt::CursorShape, during);
        QWidget parent;
        parent.setCursor(Qt::IBeamCursor);
        auto *widget = new QWidget(&parent);
        if (ownCursor) {
            widget->setCursor(Qt::CrossCursor);
        }
        widget->setEnabled(enabled);
        const Qt::CursorShape before = widget->cursor().shape();
        new CursorModifier(widget, Qt::PointingHandCursor);
        for (QChar event : events) {
            event == 'e' ? hover(widget) : unhover(widget);
        }
        QCOMPARE(widget->cursor().shape(), during);
        unhover(widget);
        QCOMPARE(widget->cursor().shape(), before);
        // A widget that had no cursor of its own follows its parent again.
        parent.setCursor(Qt::WaitCursor);
        QCOMPARE(widget->cursor().shape(), ownCursor ? Qt::CrossCursor : Qt::WaitCursor);
    }

    void dictationIsUnavailable()
    {
        const auto dictation = std::make_unique<UnavailableDictation>();
        QVERIFY(!dictation->isAvailable());
        QSignalSpy failed(dictation.get(), &Dictation::failed);
        QSignalSpy listening(dictation.get(), &Dictation::listeningChanged);
        dictation->start();
        QCOMPARE(failed.count(), 1);
        QVERIFY(!failed.first().first().toString().isEmpty());
        QVERIFY(!dictation->isListening());
        QCOMPARE(listening.count(), 0);
    }

    // Not a check: every control in every state, in both schemes, to be looked at. Run with
    // QT_SCALE_FACTOR=2 for a high-density screen.
    void renderSheet()
    {
        QList<QImage> halves;
        for (Scheme scheme : {Scheme::light, Scheme::dark}) {
            AppTheme::apply(scheme);
            halves.append(sheet(scheme));
        }
        QImage both(halves[0].width() * 2, halves[0].height(), QImage::Format_ARGB32);
        QPainter painter(&both);
        painter.drawImage(0, 0, halves[0]);
        painter.drawImage(halves[0].width(), 0, halves[1]);
        painter.end();
        const QString path =
            QCoreApplication::applicationDirPath() +
            QStringLiteral("/actioncontrols-%1x.png").arg(qApp->devicePixelRatio());
        QVERIFY(both.save(path));
        qInfo("Sheet: %s", qPrintable(path));
    }

private:
    static QImage sheet(Scheme scheme)
    {
        QWidget page;
        page.setAutoFillBackground(true);
        auto *grid = new QGridLayout(&page);
        int row = 0;
        grid->addWidget(new QLabel("rest, hover, active, active+hover, disabled"), row++, 0, 1, 6);
        const QStringList names{"copy", "microphone", "clear", "speak", "stop", "sparkle"};
        for (const QString &name : names) {
            for (int state = 0; state < 5; ++state) {
                auto *icon = new ActionIcon(name, name);
                grid->addWidget(icon, row, state);
                icon->setActive(state == 2 || state == 3);
                icon->setEnabled(state != 4);
                if (state == 1 || state == 3) {
                    hover(icon);
                }
            }
            ++row;
        }
        const QList<QWidget *> others{new SettingsGearButton, new SettingsGearButton,
                                      new SwapButton, new SwapButton};
        for (qsizetype i = 0; i < others.size(); ++i) {
            grid->addWidget(others[i], row, int(i));
            if (i % 2) {
                hover(others[i]);
            }
        }
        ++row;
        for (bool listening : {false, true}) {
            auto *capsule = new CapsuleButtonGroup;
            QList<ActionIcon *> icons;
            for (const char *glyph : {"clear", "microphone", "copy"}) {
                icons.append(new ActionIcon(glyph, glyph));
                capsule->addWidget(icons.last());
            }
            hover(icons[0]);
            icons[1]->setActive(listening);
            grid->addWidget(capsule, row, listening ? 3 : 0, 1, 3);
        }
        ++row;
        const qreal ratio = qApp->devicePixelRatio();
        for (int size : {14, 24, 48}) {
            QPixmap strip(QSize((size + 8) * int(Glyph::names().size()), size + 8) * ratio);
            strip.setDevicePixelRatio(ratio);
            strip.fill(Qt::transparent);
            QPainter painter(&strip);
            for (qsizetype i = 0; i < Glyph::names().size(); ++i) {
                const QString name = Glyph::names()[i];
                Glyph::paint(painter, QRectF((size + 8) * i, 0, size + 8, size + 8), name, size,
                             name == "warning" ? red : AppTheme::colors(scheme).label);
            }
            painter.end();
            auto *label = new QLabel;
            label->setPixmap(strip);
            grid->addWidget(label, row++, 0, 1, 6);
        }
        page.show();
        page.adjustSize();
        QImage image = page.grab().toImage();
        image.setDevicePixelRatio(1); // pixel for pixel into the sheet
        return image;
    }

    QTemporaryDir m_noThemes;
};

QTEST_MAIN(TestActionControls)
#include "tst_actioncontrols.moc"
