// The settings panel over the real view model and keyring helper, with a login item, a keyring
// and a global shortcut in memory.
#include "apikeysection.h"
#include "deployment.h"
#include "fakeglobalshortcut.h"
#include "fakeloginitem.h"
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "panelhost.h"
#include "settingsview.h"
#include "shortcutrecorder.h"
#include "shortcutrow.h"
#include "stylerow.h"
#include "testtranslator.h"

#include <QCoro/QCoroSignal>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// A keyring that can refuse removals and, given a gate, answers reads only once it opens, like
// one waiting behind its unlock prompt.
class TestStore : public FakeSecretStore
{
public:
    QCoro::Task<ReadResult> read(QString service, QString account) override
    {
        if (gate) {
            co_await qCoro(gate, &Gate::opened);
        }
        co_return co_await FakeSecretStore::read(service, account);
    }
    QCoro::Task<bool> remove(QString service, QString account) override
    {
        if (refuseRemoves) {
            co_return false;
        }
        co_return co_await FakeSecretStore::remove(service, account);
    }

    Gate *gate = nullptr;
    bool refuseRemoves = false;
};

const QPair<QString, QString> keyItem{Deployment::appId(), u"deepseek_api_key"_s};

} // namespace

class TestSettingsView : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_translator = std::make_unique<TestTranslator>();
        m_settings = &m_translator->settings;
        m_loginItem = FakeLoginItem();
        m_store = std::make_unique<TestStore>();
        m_shortcut = std::make_unique<FakeGlobalShortcut>();
        m_shortcut->setShortcut(Qt::ALT | Qt::Key_Space);
        m_shortcut->calls.clear();
    }
    void cleanup()
    {
        m_host.discard();
        m_keychain.reset();
        m_translator.reset();
    }

    // A click sets the view model's style, also the one in use, and translates nothing again.
    void choosingAStyle_data()
    {
        QTest::addColumn<int>("stored"); // -1: nothing
        QTest::addColumn<int>("tapped");
        QTest::newRow("first start, tap formal") << -1 << 2;
        QTest::newRow("casual stored, tap technical") << 1 << 4;
        QTest::newRow("tap the selected one") << 3 << 3;
    }
    void choosingAStyle()
    {
        QFETCH(int, stored);
        QFETCH(int, tapped);
        TranslatorViewModel &model = *m_translator->viewModel;
        if (stored >= 0) {
            model.setTranslationStyle(TranslationStyle::allCases()[stored]);
            m_settings->remove("translationStyle"); // so that rewriting the same one shows
        }
        model.setDebounceInterval(1ms);
        model.setSourceLanguage(*Language::find(Language::sourceLanguages(), u"en"));
        model.setTargetLanguage(*Language::find(Language::targetLanguages(), u"de"));
        model.setSourceText("Hello");
        QTRY_VERIFY(!model.isDebouncePending() && !model.isTranslating());

        const QList<StyleRow *> rows = open()->styleRows();
        const auto checked = [&rows] {
            QList<int> result;
            for (int i = 0; i < rows.size(); ++i) {
                if (rows[i]->isSelected()) {
                    result.append(i);
                }
            }
            return result;
        };
        QCOMPARE(checked(), QList<int>{std::max(stored, 0)});
        QTest::mouseClick(rows[tapped], Qt::LeftButton, {}, QPoint(30, 10));
        QCOMPARE(model.translationStyle(), TranslationStyle::allCases()[tapped]);
        QCOMPARE(m_settings->value("translationStyle"), model.translationStyle().rawValue());
        QCOMPARE(checked(), QList<int>{tapped});
        QVERIFY(!model.isDebouncePending() && !model.isTranslating());
        QCOMPARE(m_translator->server.requests().size(), 1);
        // A style set elsewhere moves the check mark too.
        model.setTranslationStyle(TranslationStyle::standard);
        QCOMPARE(checked(), QList<int>{0});
    }

    // The switch starts from the login item, stores the choice before carrying it out, and
    // stays where the user put it when that fails; the next opening shows the truth.
    void launchAtLogin_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("failing");
        QTest::newRow("on, nothing stored") << true << QVariant() << false;
        QTest::newRow("off, true stored") << false << QVariant(true) << false;
        QTest::newRow("on, false stored, disabling fails") << true << QVariant(false) << true;
        QTest::newRow("off, enabling fails") << false << QVariant() << true;
    }
    void launchAtLogin()
    {
        QFETCH(bool, enabled);
        QFETCH(QVariant, stored);
        QFETCH(bool, failing);
        m_loginItem.enabled = enabled;
        m_loginItem.failing = failing;
        if (stored.isValid()) {
            m_settings->setValue("launchAtLogin", stored);
        }
        QVariant storedAtCall;
        m_loginItem.onCall = [&] { storedAtCall = m_settings->value("launchAtLogin"); };
        QAbstractButton *toggle = open()->launchAtLoginSwitch();
        QCOMPARE(toggle->isChecked(), enabled);
        QVERIFY(m_loginItem.calls.isEmpty());
        QCOMPARE(m_settings->value("launchAtLogin"), stored);

        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(m_loginItem.calls, QStringList{enabled ? "disable" : "enable"});
        QCOMPARE(storedAtCall, QVariant(!enabled));
        QCOMPARE(toggle->isChecked(), !enabled);
        QCOMPARE(m_loginItem.enabled, failing ? enabled : !enabled);
        QCOMPARE(open()->launchAtLoginSwitch()->isChecked(), m_loginItem.enabled);
        m_loginItem.onCall = {};
    }

    // From Ctrl+Alt+T. While the badge records, the global shortcut is released so that its
    // keys reach the badge; afterwards it is the one the badge shows.
    void recording_data()
    {
        QTest::addColumn<QKeyCombination>("keys");
        QTest::addColumn<QString>("badge");
        const QString before = u"Ctrl+Alt+T"_s;
        QTest::newRow("Ctrl+Shift+K") << (Qt::CTRL | Qt::SHIFT | Qt::Key_K) << u"Ctrl+Shift+K"_s;
        QTest::newRow("F12 alone") << QKeyCombination(Qt::Key_F12) << u"F12"_s;
        QTest::newRow("the same again") << (Qt::CTRL | Qt::ALT | Qt::Key_T) << before;
        QTest::newRow("Escape cancels") << QKeyCombination(Qt::Key_Escape) << before;
        QTest::newRow("badge clicked again") << QKeyCombination() << before;
        QTest::newRow("Backspace restores Alt+Space")
            << QKeyCombination(Qt::Key_Backspace) << u"Alt+Space"_s;
        QTest::newRow("a plain letter")
            << QKeyCombination(Qt::Key_A) << ShortcutRecorder::promptText;
        QTest::newRow("a shifted letter") << (Qt::SHIFT | Qt::Key_A) << u"Shift+..."_s;
        QTest::newRow("a modifier alone") << (Qt::CTRL | Qt::Key_Control) << u"Ctrl+..."_s;
    }
    void recording()
    {
        QFETCH(QKeyCombination, keys);
        QFETCH(QString, badge);
        const bool recording = badge.endsWith("..."); // still
        m_settings->setValue("showShortcut", "Ctrl+Alt+T");
        m_shortcut->setShortcut(Qt::CTRL | Qt::ALT | Qt::Key_T);
        m_shortcut->calls.clear();
        ShortcutRow *row = open()->showShortcutRow();
        QCOMPARE(row->badge()->displayText(), "Ctrl+Alt+T");
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QCOMPARE(row->badge()->displayText(), ShortcutRecorder::promptText);
        QCOMPARE(row->note(), SettingsView::recordingHintText);
        QCOMPARE(m_shortcut->calls, QList<QKeySequence>{QKeySequence()});

        if (keys.key() == Qt::Key_unknown) {
            QTest::mouseClick(row->badge(), Qt::LeftButton);
        } else {
            QTest::keyPress(row->badge(), keys.key(), keys.keyboardModifiers());
        }
        QCOMPARE(row->badge()->isRecording(), recording);
        QCOMPARE(row->badge()->displayText(), badge);
        // The badge's shortcut is stored; Alt+Space, the default, as nothing.
        const QVariant shown = recording ? u"Ctrl+Alt+T"_s : badge;
        QCOMPARE(m_settings->value("showShortcut"), badge == "Alt+Space" ? QVariant() : shown);
        QCOMPARE(m_shortcut->calls.size(), recording ? 1 : 2);
        QVERIFY(recording || QKeySequence(m_shortcut->shortcut()).toString() == badge);
        QVERIFY(recording || m_shortcut->isRegistered());
    }

    // Ended by the panel going, the old shortcut is back.
    void recordingEndsWithThePanel()
    {
        QTest::mouseClick(open()->showShortcutRow()->badge(), Qt::LeftButton);
        QCOMPARE(m_shortcut->shortcut().toCombined(), 0);
        m_host.discard();
        QCOMPARE(m_shortcut->shortcut(), Qt::ALT | Qt::Key_Space);
        QVERIFY(m_shortcut->isRegistered());
        QVERIFY(!m_settings->contains("showShortcut"));
    }

    // Kept and said, also at the next opening, until a free one is chosen.
    void shortcutInUseByAnotherProgram()
    {
        m_shortcut->taken = {QKeySequence(u"Ctrl+Alt+D"_s)};
        ShortcutRow *row = open()->showShortcutRow();
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QTest::keyPress(row->badge(), Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(m_settings->value("showShortcut"), "Ctrl+Alt+D");
        QCOMPARE(row->note(), "In use by another program");
        QVERIFY(!m_shortcut->isRegistered());
        row = open()->showShortcutRow();
        QCOMPARE(row->note(), "In use by another program");
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QTest::keyPress(row->badge(), Qt::Key_Backspace);
        QCOMPARE(row->note(), QString());
        QVERIFY(m_shortcut->isRegistered());
    }

    // What the section says of the keyring at opening; never the key itself.
    void keyAtOpening_data()
    {
        QTest::addColumn<QByteArray>("item"); // null: none
        QTest::addColumn<QString>("status");
        QTest::newRow("a key") << QByteArray("sk-stored") << ApiKeySection::keyStoredText;
        QTest::newRow("no item") << QByteArray() << ApiKeySection::noKeyStoredText;
        QTest::newRow("an empty item") << QByteArray("") << ApiKeySection::noKeyStoredText;
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe") << ApiKeySection::noKeyStoredText;
        QTest::newRow("locked") << QByteArray("sk-stored") << ApiKeySection::lockedText;
        QTest::newRow("no keyring") << QByteArray("sk-stored") << ApiKeySection::noKeyringText;
    }
    void keyAtOpening()
    {
        QFETCH(QByteArray, item);
        QFETCH(QString, status);
        const bool keyring = status != ApiKeySection::noKeyringText;
        if (status == ApiKeySection::lockedText) {
            m_store->readOutcome = SecretStore::Outcome::locked;
        }
        if (!item.isNull()) {
            m_store->items.insert(keyItem, item);
        }
        ApiKeySection *section = open(keyring)->apiKeySection();
        QCOMPARE(section->status(), status);
        QCOMPARE(section->field()->isEnabled(), keyring);
        QCOMPARE(section->removeButton()->isEnabled(), status == ApiKeySection::keyStoredText);
        QVERIFY(!section->saveButton()->isEnabled()); // nothing typed
        for (const QLabel *label : section->findChildren<QLabel *>()) {
            QVERIFY(!label->text().contains("sk-stored"));
        }
    }

    // Saved into the very item the translator reads, or removed; a key refused, by the keyring
    // or as unusable, stays in the field for another try and the old one in the keyring.
    void changingTheKey_data()
    {
        QTest::addColumn<QString>("typed"); // empty: Remove is pressed
        QTest::addColumn<bool>("keyringAgrees");
        QTest::addColumn<QString>("message"); // empty: done
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("a key") << u"sk-new"_s << true << u""_s << QByteArray("sk-new");
        QTest::newRow("pasted with a line break and spaces")
            << u"  sk-new\n"_s << true << u""_s << QByteArray("sk-new");
        QTest::newRow("the keyring refuses to save")
            << u"sk-new"_s << false << ApiKeySection::saveFailedText << QByteArray("sk-old");
        QTest::newRow("a space inside")
            << u"sk new"_s << true << ApiKeySection::unsendableKeyText << QByteArray("sk-old");
        QTest::newRow("non-ASCII")
            << u"sk-ключ"_s << true << ApiKeySection::unsendableKeyText << QByteArray("sk-old");
        QTest::newRow("removed") << u""_s << true << u""_s << QByteArray();
        QTest::newRow("the keyring refuses to remove")
            << u""_s << false << ApiKeySection::removeFailedText << QByteArray("sk-old");
    }
    void changingTheKey()
    {
        QFETCH(QString, typed);
        QFETCH(bool, keyringAgrees);
        QFETCH(QString, message);
        QFETCH(QByteArray, kept);
        m_store->items.insert(keyItem, "sk-old");
        m_store->writable = keyringAgrees;
        m_store->refuseRemoves = !keyringAgrees;
        ApiKeySection *section = open()->apiKeySection();
        section->field()->setText(typed);
        if (typed.isEmpty()) {
            QTest::mouseClick(section->removeButton(), Qt::LeftButton);
        } else if (keyringAgrees) {
            QTest::keyClick(section->field(), Qt::Key_Return); // saves as the button does
        } else {
            QTest::mouseClick(section->saveButton(), Qt::LeftButton);
        }
        QTRY_VERIFY(!section->isBusy());
        QCOMPARE(section->message(), message);
        QCOMPARE(section->status(),
                 kept.isEmpty() ? ApiKeySection::noKeyStoredText : ApiKeySection::keyStoredText);
        QCOMPARE(section->removeButton()->isEnabled(), !kept.isEmpty());
        QCOMPARE(section->field()->text(), message.isEmpty() ? QString() : typed);
        QCOMPARE(m_store->items.value(keyItem), kept);
    }

    // A keyring that answers late: nothing can be pressed meanwhile, and an answer for a panel
    // that is gone goes nowhere.
    void slowKeyring()
    {
        Gate gate;
        m_store->gate = &gate;
        m_store->items.insert(keyItem, "sk-old");
        ApiKeySection *section = open()->apiKeySection();
        QCOMPARE(section->status(), ApiKeySection::lookingText);
        section->field()->setText("sk-new");
        QVERIFY(!section->saveButton()->isEnabled());
        QVERIFY(!section->removeButton()->isEnabled());
        emit gate.opened(true);
        QTRY_COMPARE(section->status(), ApiKeySection::keyStoredText);
        QVERIFY(section->saveButton()->isEnabled());

        open();
        m_host.discard();
        emit gate.opened(true);
        QTRY_COMPARE(m_store->reads, 2);
    }

private:
    // A new panel, as at every opening, its keychain over the test's keyring as the
    // program's is over the desktop's.
    SettingsView *open(bool keyring = true)
    {
        m_host.discard();
        m_keychain.reset();
        if (keyring) {
            m_keychain = std::make_unique<KeychainHelper>(
                Deployment::appId(),
                std::shared_ptr<SecretStore>(std::shared_ptr<SecretStore>(), m_store.get()));
        }
        return m_host.show(new SettingsView(*m_translator->viewModel, m_loginItem, m_keychain.get(),
                                            m_shortcut.get(), m_translator->preferences,
                                            m_host.closer()));
    }

    std::unique_ptr<TestTranslator> m_translator;
    QSettings *m_settings = nullptr;
    FakeLoginItem m_loginItem;
    std::unique_ptr<TestStore> m_store;
    std::unique_ptr<FakeGlobalShortcut> m_shortcut;
    std::unique_ptr<KeychainHelper> m_keychain;
    PanelHost m_host;
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
