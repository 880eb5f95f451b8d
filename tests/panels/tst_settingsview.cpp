// The settings panel over the real view model and keyring helper, with a login item, a keyring
// and a global shortcut in memory: the style rows, the two schemes' fills, the launch-at-login
// switch, recording a shortcut, and the API key against a working, failing, slow or missing
// keyring. Leaves pictures of the panel in both schemes under screenshots/.
#include "apikeysection.h"
#include "apptheme.h"
#include "deployment.h"
#include "fakeglobalshortcut.h"
#include "fakeloginitem.h"
#include "fakesecretstore.h"
#include "globalshortcut.h"
#include "keychainhelper.h"
#include "settingsview.h"
#include "shortcutrecorder.h"
#include "shortcutrow.h"
#include "stylerow.h"
#include "testtranslator.h"
#include "waitfortask.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <memory>

using namespace std::chrono_literals;
using Scheme = AppTheme::Scheme;

namespace {

const QColor backdrop(128, 128, 128);

// A keyring that can refuse writes and removals while it still reads.
class RefusingStore : public FakeSecretStore
{
public:
    QCoro::Task<bool> write(QString service, QString account, QByteArray data) override
    {
        if (refuseWrites) {
            ++writes;
            co_return false;
        }
        co_return co_await FakeSecretStore::write(service, account, data);
    }
    QCoro::Task<bool> remove(QString service, QString account) override
    {
        if (refuseRemoves) {
            ++removes;
            co_return false;
        }
        co_return co_await FakeSecretStore::remove(service, account);
    }

    bool refuseWrites = false;
    bool refuseRemoves = false;
};

// A keyring that answers only when told to, like one waiting behind its unlock prompt.
class Gate : public QObject
{
    Q_OBJECT
signals:
    void opened();
};

class SlowStore : public FakeSecretStore
{
public:
    QCoro::Task<ReadResult> read(QString service, QString account) override
    {
        co_await qCoro(&gate, &Gate::opened);
        co_return co_await FakeSecretStore::read(service, account);
    }
    Gate gate;
};

QColor over(const QList<QColor> &layers, QColor base = backdrop)
{
    for (const QColor &l : layers) {
        const float a = l.alphaF();
        base = QColor::fromRgbF(l.redF() * a + base.redF() * (1 - a),
                                l.greenF() * a + base.greenF() * (1 - a),
                                l.blueF() * a + base.blueF() * (1 - a));
    }
    return base;
}

QColor white(float alpha)
{
    return QColor::fromRgbF(1, 1, 1, alpha);
}

QColor black(float alpha)
{
    return QColor::fromRgbF(0, 0, 0, alpha);
}

bool near(const QColor &a, const QColor &b)
{
    const float tolerance = 3.f / 255;
    return std::abs(a.redF() - b.redF()) <= tolerance &&
           std::abs(a.greenF() - b.greenF()) <= tolerance &&
           std::abs(a.blueF() - b.blueF()) <= tolerance;
}

#define COMPARE_COLOR(actual, expected)                                                            \
    QVERIFY2(near(actual, expected), qPrintable((actual).name(QColor::HexArgb) +                   \
                                                " != " + (expected).name(QColor::HexArgb)))

// Pixels of the accent blue in `widget` as drawn.
int accentPixels(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.blueF() > 0.7f && c.redF() < 0.45f && c.blueF() - c.greenF() > 0.2f;
        }
    }
    return count;
}

QStringList captions(const QWidget *view)
{
    QStringList result;
    for (const QLabel *label : view->findChildren<QLabel *>()) {
        if (!label->text().isEmpty() && label->text() == label->text().toUpper() &&
            label->text().at(0).isLetter()) {
            result.append(label->text());
        }
    }
    return result;
}

} // namespace

class TestSettingsView : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        AppTheme::apply(Scheme::light);
        m_translator = std::make_unique<TestTranslator>();
        m_viewModel = m_translator->viewModel.get();
        m_server = &m_translator->server;
        m_settings = &m_translator->settings;
        m_viewModel->setDebounceInterval(1ms);
        m_loginItem = FakeLoginItem();
        m_store = std::make_unique<RefusingStore>();
        m_shortcut = std::make_unique<FakeGlobalShortcut>();
        m_shortcut->setShortcut(SettingsView::defaultShowShortcut()[0]);
        m_shortcut->calls.clear();
        m_closed = 0;
    }
    void cleanup()
    {
        m_host.reset();
        m_keychain.reset();
        m_shortcut.reset();
        m_store.reset();
        m_translator.reset();
    }

    void layout()
    {
        SettingsView *view = open();
        QCOMPARE(captions(view),
                 (QStringList{"SHORTCUTS", "TRANSLATION STYLE", "DEEPSEEK API KEY", "OTHER"}));
        QCOMPARE(view->showShortcutRow()->title(), "Show Parlora - Quenzal");
        QCOMPARE(view->showShortcutRow()->badge()->displayText(), "Alt+Space");
        QCOMPARE(view->clipboardShortcutRow()->title(), "Translate Clipboard");
        QCOMPARE(view->clipboardShortcutRow()->badge()->displayText(), "Ctrl+B");

        QStringList titles;
        for (StyleRow *row : view->styleRows()) {
            titles.append(row->text() + ": " + row->accessibleDescription());
        }
        QCOMPARE(titles,
                 (QStringList{"Standard: Accurate, neutral", "Casual: Informal, conversational",
                              "Formal: Business, professional", "Creative: Literary, free-form",
                              "Technical: Technical terms preserved"}));
        // Rows and dividers alternate in each card, a row first.
        QWidget *styleCard = view->styleRows().first()->parentWidget();
        QStringList sequence;
        for (int i = 0; i < styleCard->layout()->count(); ++i) {
            sequence.append(styleCard->layout()->itemAt(i)->widget()->objectName());
        }
        QCOMPARE(sequence,
                 (QStringList{"", "divider", "", "divider", "", "divider", "", "divider", ""}));

        // The sections are taller than the popover; the wheel brings up the rest.
        QScrollBar *bar = view->scrollArea()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QWidget *viewport = view->scrollArea()->viewport();
        QWheelEvent wheel(QPointF(100, 100), viewport->mapToGlobal(QPointF(100, 100)), {},
                          QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &wheel);
        QVERIFY(bar->value() > 0);

        view->closeButton()->click();
        QCOMPARE(m_closed, 1);
    }

    void choosingAStyle_data()
    {
        QTest::addColumn<QString>("stored"); // empty: nothing stored
        QTest::addColumn<int>("tapped");
        QTest::newRow("first start, tap formal") << "" << 2;
        QTest::newRow("casual stored, tap technical") << "casual" << 4;
        QTest::newRow("tap the selected one") << "creative" << 3;
        QTest::newRow("tap standard, the default") << "" << 0;
    }
    void choosingAStyle()
    {
        QFETCH(QString, stored);
        QFETCH(int, tapped);
        if (!stored.isEmpty()) {
            m_viewModel->setTranslationStyle(*TranslationStyle::fromRawValue(stored));
            m_settings->remove("translationStyle"); // so that rewriting the same one shows
        }
        // A finished translation on screen, which a style change must not redo.
        m_viewModel->setSourceLanguage(*Language::find(Language::sourceLanguages(), u"en"));
        m_viewModel->setTargetLanguage(*Language::find(Language::targetLanguages(), u"de"));
        m_viewModel->setSourceText("Hello");
        QTRY_VERIFY(!m_viewModel->isDebouncePending() && !m_viewModel->isTranslating());
        QCOMPARE(m_server->requests().size(), 1);

        SettingsView *view = open();
        const QList<StyleRow *> rows = view->styleRows();
        const int before = int(
            TranslationStyle::fromRawValue(stored).value_or(TranslationStyle::standard).value());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i]->isSelected(), i == before);
        }

        QTest::mouseClick(rows[tapped], Qt::LeftButton, {}, QPoint(30, 10));
        const TranslationStyle style = TranslationStyle::allCases()[tapped];
        QCOMPARE(m_viewModel->translationStyle(), style);
        QCOMPARE(m_settings->value("translationStyle").toString(), style.rawValue());
        QVERIFY(!m_viewModel->isDebouncePending());
        QVERIFY(!m_viewModel->isTranslating());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i]->isSelected(), i == tapped);
            QCOMPARE(accentPixels(rows[i]) > 10, i == tapped);
        }
        QCOMPARE(m_server->requests().size(), 1);
    }

    // A style set elsewhere (another opening, a restart) moves the check mark too.
    void followsTheViewModel()
    {
        SettingsView *view = open();
        m_viewModel->setTranslationStyle(TranslationStyle::formal);
        QVERIFY(view->styleRows()[2]->isSelected());
        QVERIFY(!view->styleRows()[0]->isSelected());
    }

    void schemeColours_data()
    {
        QTest::addColumn<Scheme>("scheme");
        QTest::addColumn<float>("cardFill");
        QTest::addColumn<float>("cardBorder");
        QTest::addColumn<float>("divider");
        QTest::addColumn<float>("badgeFill");
        QTest::newRow("light") << Scheme::light << 0.5f << 0.3f << 1.0f << 0.8f;
        QTest::newRow("dark") << Scheme::dark << 0.08f << 0.1f << 0.3f << 0.12f;
    }
    void schemeColours()
    {
        QFETCH(Scheme, scheme);
        QFETCH(float, cardFill);
        QFETCH(float, cardBorder);
        QFETCH(float, divider);
        QFETCH(float, badgeFill);
        AppTheme::apply(scheme);
        SettingsView *view = open();
        const QImage image = m_host->grab().toImage();
        auto pixel = [&](QWidget *widget, QPoint at) {
            return image.pixelColor(widget->mapTo(m_host.get(), at));
        };

        // Nothing in the scrolling area paints a background of its own over the popover's
        // backdrop (QScrollArea::setWidget() turns it on for the content).
        QVERIFY(!view->scrollArea()->viewport()->autoFillBackground());
        QVERIFY(!view->scrollArea()->widget()->autoFillBackground());

        QWidget *card = view->showShortcutRow()->parentWidget();
        const QColor fill = over({white(cardFill)});
        COMPARE_COLOR(pixel(card, QPoint(card->width() / 2, 3)), fill);
        COMPARE_COLOR(pixel(card, QPoint(card->width() / 2, 0)),
                      over({white(cardFill), white(cardBorder)}));

        QWidget *line = card->findChild<QWidget *>("divider");
        QColor separator = AppTheme::colors(scheme).separator;
        separator.setAlphaF(separator.alphaF() * divider);
        COMPARE_COLOR(pixel(line, QPoint(line->width() - 20, 0)), over({separator}, fill));
        COMPARE_COLOR(pixel(line, QPoint(8, 0)), fill); // indented

        ShortcutRecorder *badge = view->showShortcutRow()->badge();
        const QColor badgeColor = over({white(badgeFill)}, fill);
        COMPARE_COLOR(pixel(badge, QPoint(badge->width() / 2, 2)), badgeColor);
        COMPARE_COLOR(pixel(badge, QPoint(badge->width() / 2, 0)),
                      over({black(0.08f)}, badgeColor));
    }

    void switchStartsFromTheLoginItem_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("enabled, nothing stored") << true << QVariant();
        QTest::newRow("enabled, false stored") << true << QVariant(false);
        QTest::newRow("disabled, true stored") << false << QVariant(true);
        QTest::newRow("disabled, nothing stored") << false << QVariant();
    }
    void switchStartsFromTheLoginItem()
    {
        QFETCH(bool, enabled);
        QFETCH(QVariant, stored);
        m_loginItem.enabled = enabled;
        if (stored.isValid()) {
            m_settings->setValue("launchAtLogin", stored);
        }
        SettingsView *view = open();
        QCOMPARE(view->launchAtLoginSwitch()->isChecked(), enabled);
        QVERIFY(m_loginItem.calls.isEmpty()); // showing it changes nothing
        QCOMPARE(m_settings->value("launchAtLogin"), stored);
    }

    void switchChanges_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("failing");
        QTest::newRow("turn on") << false << false;
        QTest::newRow("turn off") << true << false;
        QTest::newRow("turn on, enabling fails") << false << true;
        QTest::newRow("turn off, disabling fails") << true << true;
    }
    void switchChanges()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, failing);
        m_loginItem.enabled = enabled;
        m_loginItem.failing = failing;
        QVariant storedAtCall;
        m_loginItem.onCall = [&] { storedAtCall = m_settings->value("launchAtLogin"); };

        SettingsView *view = open();
        QTest::mouseClick(view->launchAtLoginSwitch(), Qt::LeftButton);
        QCOMPARE(m_loginItem.calls, QStringList{enabled ? "disable" : "enable"});
        QCOMPARE(storedAtCall, QVariant(!enabled)); // written before the login item is asked
        QCOMPARE(m_settings->value("launchAtLogin").toBool(), !enabled);
        QCOMPARE(view->launchAtLoginSwitch()->isChecked(), !enabled); // also when it failed
        QCOMPARE(m_loginItem.enabled, failing ? enabled : !enabled);

        // The next opening shows where the login item really is.
        view = open();
        QCOMPARE(view->launchAtLoginSwitch()->isChecked(), failing ? enabled : !enabled);
    }

    void recording_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("badge");   // what the badge shows afterwards
        QTest::addColumn<QVariant>("stored"); // "showShortcut" afterwards
        QTest::addColumn<bool>("recording");  // still recording afterwards
        const QVariant before("Ctrl+Alt+T");
        const auto none = Qt::KeyboardModifiers();
        QTest::newRow("Ctrl+Shift+K") << int(Qt::Key_K) << (Qt::ControlModifier | Qt::ShiftModifier)
                                      << "Ctrl+Shift+K" << QVariant("Ctrl+Shift+K") << false;
        QTest::newRow("Meta+Space") << int(Qt::Key_Space) << Qt::KeyboardModifiers(Qt::MetaModifier)
                                    << "Meta+Space" << QVariant("Meta+Space") << false;
        QTest::newRow("F12 alone") << int(Qt::Key_F12) << none << "F12" << QVariant("F12") << false;
        QTest::newRow("the same again") << int(Qt::Key_T) << (Qt::ControlModifier | Qt::AltModifier)
                                        << "Ctrl+Alt+T" << before << false;
        QTest::newRow("Escape cancels")
            << int(Qt::Key_Escape) << none << "Ctrl+Alt+T" << before << false;
        QTest::newRow("Backspace restores Alt+Space")
            << int(Qt::Key_Backspace) << none << "Alt+Space" << QVariant() << false;
        QTest::newRow("a plain letter is no shortcut")
            << int(Qt::Key_A) << none << ShortcutRecorder::promptText << before << true;
        QTest::newRow("nor a shifted one")
            << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "Shift+..." << before
            << true;
        QTest::newRow("a modifier alone waits for its key")
            << int(Qt::Key_Control) << Qt::KeyboardModifiers(Qt::ControlModifier) << "Ctrl+..."
            << before << true;
    }
    void recording()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, badge);
        QFETCH(QVariant, stored);
        QFETCH(bool, recording);
        const QKeySequence previous = QKeySequence::fromString("Ctrl+Alt+T");
        m_settings->setValue("showShortcut", "Ctrl+Alt+T");
        m_shortcut->setShortcut(previous[0]);
        m_shortcut->calls.clear();

        SettingsView *view = open();
        ShortcutRow *row = view->showShortcutRow();
        ShortcutRecorder *recorder = row->badge();
        QCOMPARE(recorder->displayText(), "Ctrl+Alt+T");
        QTest::mouseClick(recorder, Qt::LeftButton);
        QVERIFY(recorder->isRecording());
        QCOMPARE(recorder->displayText(), ShortcutRecorder::promptText);
        QCOMPARE(row->note(), SettingsView::recordingHintText);
        // Released while recording, so that pressing it reaches the badge.
        QCOMPARE(m_shortcut->calls, QList<QKeySequence>{QKeySequence()});

        QTest::keyPress(recorder, Qt::Key(key), modifiers);
        QCOMPARE(recorder->isRecording(), recording);
        QCOMPARE(recorder->displayText(), badge);
        QCOMPARE(m_settings->value("showShortcut"), stored);
        if (recording) {
            QCOMPARE(m_shortcut->calls.size(), 1);
            return;
        }
        // Whatever the outcome, the global shortcut is the one shown, at once.
        QCOMPARE(m_shortcut->calls.size(), 2);
        QCOMPARE(QKeySequence(m_shortcut->shortcut()).toString(QKeySequence::NativeText), badge);
        QVERIFY(m_shortcut->isRegistered());
        QCOMPARE(row->note(), QString());
    }

    void shortcutInUse()
    {
        const QKeySequence taken = QKeySequence::fromString("Ctrl+Alt+D");
        m_shortcut->taken = {taken};
        SettingsView *view = open();
        ShortcutRow *row = view->showShortcutRow();
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QTest::keyPress(row->badge(), Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(m_settings->value("showShortcut").toString(), "Ctrl+Alt+D");
        QCOMPARE(row->note(), SettingsView::shortcutInUseText);
        QVERIFY(!m_shortcut->isRegistered());

        // The same state at the next opening; a free shortcut clears it.
        view = open();
        row = view->showShortcutRow();
        QCOMPARE(row->badge()->displayText(), "Ctrl+Alt+D");
        QCOMPARE(row->note(), SettingsView::shortcutInUseText);
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QTest::keyPress(row->badge(), Qt::Key_Backspace);
        QCOMPARE(row->note(), QString());
        QVERIFY(m_shortcut->isRegistered());
    }

    void recordingEndsWithoutAKey_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("badge clicked again") << "click";
        QTest::newRow("panel closed") << "destroy";
        QTest::newRow("panel hidden") << "hide";
    }
    void recordingEndsWithoutAKey()
    {
        QFETCH(QString, how);
        SettingsView *view = open();
        ShortcutRecorder *recorder = view->showShortcutRow()->badge();
        QTest::mouseClick(recorder, Qt::LeftButton);
        QCOMPARE(m_shortcut->shortcut().toCombined(), 0);
        if (how == "click") {
            QTest::mouseClick(recorder, Qt::LeftButton);
            QVERIFY(!recorder->isRecording());
        } else if (how == "hide") {
            m_host->hide();
            QVERIFY(!recorder->isRecording());
        } else {
            m_host.reset();
        }
        QCOMPARE(m_shortcut->shortcut(), SettingsView::defaultShowShortcut());
        QVERIFY(m_shortcut->isRegistered());
        QVERIFY(!m_settings->contains("showShortcut"));
    }

    // Without a global shortcut (none could be made) the choice is kept for the next start.
    void recordingWithoutAGlobalShortcut()
    {
        SettingsView *view = open(m_store.get(), nullptr);
        ShortcutRecorder *recorder = view->showShortcutRow()->badge();
        QTest::mouseClick(recorder, Qt::LeftButton);
        QTest::keyPress(recorder, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(m_settings->value("showShortcut").toString(), "Ctrl+Space");
        QCOMPARE(SettingsView::storedShowShortcut(m_translator->preferences).toString(),
                 "Ctrl+Space");
        view = open(m_store.get(), nullptr);
        QCOMPARE(view->showShortcutRow()->badge()->displayText(), "Ctrl+Space");
    }

    void noKeyring()
    {
        SettingsView *view = open(nullptr);
        ApiKeySection *section = view->apiKeySection();
        QCOMPARE(section->status(), ApiKeySection::noKeyringText);
        QVERIFY(!section->field()->isEnabled());
        QVERIFY(!section->saveButton()->isEnabled());
        QVERIFY(!section->removeButton()->isEnabled());
    }

    void storedKeyAtOpening_data()
    {
        QTest::addColumn<QByteArray>("item"); // null: none
        QTest::addColumn<QString>("status");
        QTest::newRow("a key") << QByteArray("sk-stored") << ApiKeySection::keyStoredText;
        QTest::newRow("no item") << QByteArray() << ApiKeySection::noKeyStoredText;
        QTest::newRow("an empty item") << QByteArray("") << ApiKeySection::noKeyStoredText;
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe") << ApiKeySection::noKeyStoredText;
        QTest::newRow("locked") << QByteArray("sk-stored") << ApiKeySection::lockedText;
    }
    void storedKeyAtOpening()
    {
        QFETCH(QByteArray, item);
        QFETCH(QString, status);
        if (status == ApiKeySection::lockedText) {
            m_store->readOutcome = SecretStore::Outcome::locked;
        }
        if (!item.isNull()) {
            m_store->items.insert({Deployment::appId(), "deepseek_api_key"}, item);
        }
        ApiKeySection *section = open()->apiKeySection();
        QCOMPARE(section->status(), status);
        QCOMPARE(section->removeButton()->isEnabled(), status == ApiKeySection::keyStoredText);
        QVERIFY(!section->saveButton()->isEnabled()); // nothing typed
        // Never the key itself, anywhere in the panel.
        for (const QLabel *label : section->findChildren<QLabel *>()) {
            QVERIFY(!label->text().contains("sk-stored"));
        }
        QVERIFY(section->field()->text().isEmpty());
    }

    void savingAKey_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QByteArray>("item"); // in the keyring afterwards; null: none
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("field");
        QTest::newRow("a key") << "sk-new" << false << QByteArray("sk-new") << ""
                               << "A key is stored"
                               << "";
        QTest::newRow("pasted with a line break and spaces") << "  sk-new\n"
                                                             << false << QByteArray("sk-new") << ""
                                                             << "A key is stored"
                                                             << "";
        QTest::newRow("keyring refuses: the old key stays, the new one in the field")
            << "sk-new" << true << QByteArray("sk-old") << ApiKeySection::saveFailedText
            << "A key is stored"
            << "sk-new";
        QTest::newRow("a space inside") << "sk new" << false << QByteArray("sk-old")
                                        << ApiKeySection::unsendableKeyText << "A key is stored"
                                        << "sk new";
        QTest::newRow("non-ASCII") << "sk-ключ" << false << QByteArray("sk-old")
                                   << ApiKeySection::unsendableKeyText << "A key is stored"
                                   << "sk-ключ";
    }
    void savingAKey()
    {
        QFETCH(QString, typed);
        QFETCH(bool, refuse);
        QFETCH(QByteArray, item);
        QFETCH(QString, message);
        QFETCH(QString, status);
        QFETCH(QString, field);
        const QPair<QString, QString> address{Deployment::appId(), "deepseek_api_key"};
        m_store->items.insert(address, "sk-old");
        m_store->refuseWrites = refuse;
        ApiKeySection *section = open()->apiKeySection();
        QCOMPARE(section->status(), ApiKeySection::keyStoredText);

        section->field()->setText(typed);
        QVERIFY(section->saveButton()->isEnabled());
        QTest::mouseClick(section->saveButton(), Qt::LeftButton);
        QTRY_VERIFY(!section->isBusy());
        QCOMPARE(m_store->items.value(address, QByteArray()), item);
        QCOMPARE(m_store->items.contains(address), !item.isNull());
        QCOMPARE(section->message(), message);
        QCOMPARE(section->status(), status);
        QCOMPARE(section->field()->text(), field);
        if (item == "sk-new") {
            // The very item the translator reads its key from.
            KeychainHelper engine(
                Deployment::appId(),
                std::shared_ptr<SecretStore>(std::shared_ptr<SecretStore>(), m_store.get()));
            QCOMPARE(waitForTask(engine.deepSeekApiKey()), "sk-new");
        }
    }

    void returnSaves()
    {
        ApiKeySection *section = open()->apiKeySection();
        QTest::keyClicks(section->field(), "sk-typed");
        QTest::keyClick(section->field(), Qt::Key_Return);
        QTRY_COMPARE(section->status(), ApiKeySection::keyStoredText);
        QCOMPARE(m_store->items.value({Deployment::appId(), "deepseek_api_key"}), "sk-typed");
    }

    void removingTheKey_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("removed") << false << ApiKeySection::noKeyStoredText << "";
        QTest::newRow("keyring refuses")
            << true << ApiKeySection::keyStoredText << ApiKeySection::removeFailedText;
    }
    void removingTheKey()
    {
        QFETCH(bool, refuse);
        QFETCH(QString, status);
        QFETCH(QString, message);
        m_store->items.insert({Deployment::appId(), "deepseek_api_key"}, "sk-old");
        m_store->refuseRemoves = refuse;
        ApiKeySection *section = open()->apiKeySection();
        QTest::mouseClick(section->removeButton(), Qt::LeftButton);
        QTRY_VERIFY(!section->isBusy());
        QCOMPARE(section->status(), status);
        QCOMPARE(section->message(), message);
        QCOMPARE(m_store->items.contains({Deployment::appId(), "deepseek_api_key"}), refuse);
        QCOMPARE(section->removeButton()->isEnabled(), refuse);
    }

    // A keyring that answers late: nothing can be pressed meanwhile, and an answer for a panel
    // that is gone goes nowhere.
    void slowKeyring()
    {
        SlowStore store;
        store.items.insert({Deployment::appId(), "deepseek_api_key"}, "sk-old");
        ApiKeySection *section = open(&store)->apiKeySection();
        QCOMPARE(section->status(), ApiKeySection::lookingText);
        section->field()->setText("sk-new");
        QVERIFY(!section->saveButton()->isEnabled());
        QVERIFY(!section->removeButton()->isEnabled());
        emit store.gate.opened();
        QTRY_COMPARE(section->status(), ApiKeySection::keyStoredText);
        QVERIFY(section->saveButton()->isEnabled());

        open(&store);
        m_host.reset();
        emit store.gate.opened(); // resumes the look-up of the panel just destroyed
        QTRY_COMPARE(store.reads, 2);
    }

    // Not a check: the panel as it looks, for the eye.
    void screenshots()
    {
        const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
        QVERIFY(QDir().mkpath(folder));
        for (Scheme scheme : {Scheme::light, Scheme::dark}) {
            AppTheme::apply(scheme);
            const QString name = scheme == Scheme::dark ? "dark" : "light";
            m_viewModel->setTranslationStyle(TranslationStyle::casual);
            m_loginItem.enabled = false;
            m_store->items.clear();
            // Over the popover's own backdrop where nothing is translucent.
            const AppTheme::Colors &colors = AppTheme::colors(scheme);
            SettingsView *view =
                open(m_store.get(), m_shortcut.get(), over({colors.tint}, colors.window));
            QVERIFY(m_host->grab().save(folder + "/settings-" + name + ".png"));

            // Everything at once, in one tall picture: a refused shortcut, a key the keyring
            // refused, the switch on.
            m_shortcut->taken = {QKeySequence::fromString("Ctrl+Alt+D")};
            QTest::mouseClick(view->showShortcutRow()->badge(), Qt::LeftButton);
            QTest::keyPress(view->showShortcutRow()->badge(), Qt::Key_D,
                            Qt::ControlModifier | Qt::AltModifier);
            m_store->refuseWrites = true;
            view->apiKeySection()->field()->setText("sk-refused");
            view->apiKeySection()->saveButton()->click();
            QTRY_VERIFY(!view->apiKeySection()->isBusy());
            view->launchAtLoginSwitch()->click();
            m_host->resize(780, view->scrollArea()->widget()->sizeHint().height() + 62);
            QTest::qWait(200); // the switch's slide
            QVERIFY(m_host->grab().save(folder + "/settings-" + name + "-full.png"));

            // And recording, at the popover's size.
            m_host->resize(780, 460);
            QTest::mouseClick(view->showShortcutRow()->badge(), Qt::LeftButton);
            QTest::keyPress(view->showShortcutRow()->badge(), Qt::Key_Control, Qt::ControlModifier);
            QCoreApplication::sendPostedEvents(); // the row's new layout
            QVERIFY(m_host->grab().save(folder + "/settings-" + name + "-recording.png"));
            m_shortcut->taken.clear();
            m_store->refuseWrites = false;
            m_settings->remove("showShortcut");
        }
        qInfo("Screenshots: %s", qPrintable(folder));
    }

private:
    // A new panel, as at every opening, in a window of the popover's default size over a
    // plain grey backdrop.
    SettingsView *open(SecretStore *store, GlobalShortcut *shortcut,
                       const QColor &background = backdrop)
    {
        m_host.reset();
        m_host = std::make_unique<QWidget>();
        m_host->setAutoFillBackground(true);
        QPalette palette = m_host->palette();
        palette.setColor(QPalette::Window, background);
        m_host->setPalette(palette);
        // Over a store the test owns, as the program's keychain is over its keyring.
        m_keychain.reset();
        if (store) {
            m_keychain = std::make_unique<KeychainHelper>(
                Deployment::appId(),
                std::shared_ptr<SecretStore>(std::shared_ptr<SecretStore>(), store));
        }
        auto *view = new SettingsView(*m_viewModel, m_loginItem, m_keychain.get(), shortcut,
                                      m_translator->preferences, [this] { ++m_closed; });
        auto *layout = new QVBoxLayout(m_host.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        m_host->resize(780, 460);
        m_host->show();
        if (!QTest::qWaitForWindowExposed(m_host.get())) {
            qWarning("the panel's window was not exposed");
        }
        return view;
    }
    SettingsView *open(SecretStore *store) { return open(store, m_shortcut.get()); }
    SettingsView *open() { return open(m_store.get(), m_shortcut.get()); }

    std::unique_ptr<TestTranslator> m_translator;
    TranslatorViewModel *m_viewModel = nullptr;
    TestHttpServer *m_server = nullptr;
    QSettings *m_settings = nullptr;
    std::unique_ptr<KeychainHelper> m_keychain;
    FakeLoginItem m_loginItem;
    std::unique_ptr<RefusingStore> m_store;
    std::unique_ptr<FakeGlobalShortcut> m_shortcut;
    std::unique_ptr<QWidget> m_host;
    int m_closed = 0;
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
