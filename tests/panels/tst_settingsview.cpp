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

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSettingsView : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_host.discard();
        m_translator.reset(); // one test home at a time
        m_translator = std::make_unique<TestTranslator>();
        m_loginItem = FakeLoginItem();
        m_store = std::make_shared<FakeSecretStore>();
        m_shortcut = std::make_unique<FakeGlobalShortcut>();
    }

    // A click sets the view model's style, and the check mark follows it.
    void choosingAStyle()
    {
        TranslatorViewModel &model = *m_translator->viewModel;
        model.setTranslationStyle(TranslationStyle::allCases()[3]);
        const QList<StyleRow *> rows = open()->styleRows();
        QVERIFY(rows[3]->isSelected() && !rows[0]->isSelected());
        QTest::mouseClick(rows[2], Qt::LeftButton, {}, QPoint(30, 10));
        QCOMPARE(model.translationStyle(), TranslationStyle::allCases()[2]);
        QVERIFY(rows[2]->isSelected() && !rows[3]->isSelected());
    }

    // The switch starts from the login item, not from what is stored.
    void launchAtLogin()
    {
        for (const bool enabled : {false, true}) {
            m_loginItem.enabled = enabled;
            m_loginItem.calls.clear();
            m_translator->settings.setValue("launchAtLogin", !enabled);
            QAbstractButton *toggle = open()->launchAtLoginSwitch();
            QCOMPARE(toggle->isChecked(), enabled);
            m_translator->settings.remove("launchAtLogin");
            QTest::mouseClick(toggle, Qt::LeftButton);
            QCOMPARE(m_loginItem.calls, QStringList{enabled ? "disable" : "enable"});
            QCOMPARE(m_translator->settings.value("launchAtLogin"), !enabled);
        }
    }

    // Screen readers announce every button of the panel by a name.
    void buttonsHaveNames()
    {
        SettingsView *panel = open();
        for (QAbstractButton *button : panel->findChildren<QAbstractButton *>()) {
            QVERIFY2(!button->isVisibleTo(panel) || !button->accessibleName().isEmpty() ||
                         !button->text().isEmpty(),
                     button->metaObject()->className());
        }
    }

    // While the badge records, the global shortcut is released so that its keys reach the badge;
    // then it is the one the badge shows. One taken by another program is kept, and said.
    void recording_data()
    {
        QTest::addColumn<QKeyCombination>("keys"); // none: the badge is clicked again
        QTest::addColumn<QString>("badge");
        QTest::addColumn<QString>("note");
        const auto row = [](const char *name, QKeyCombination keys, const QString &badge,
                            const QString &note = {}) {
            QTest::newRow(name) << keys << badge << note;
        };
        const QString hint = SettingsView::recordingHintText;
        row("Ctrl+Shift+K", Qt::CTRL | Qt::SHIFT | Qt::Key_K, u"Ctrl+Shift+K"_s);
        row("taken", Qt::CTRL | Qt::ALT | Qt::Key_D, u"Ctrl+Alt+D"_s,
            SettingsView::shortcutInUseText);
        row("F12 alone", QKeyCombination(Qt::Key_F12), u"F12"_s);
        row("Escape cancels", QKeyCombination(Qt::Key_Escape), u"Ctrl+Alt+T"_s);
        row("badge clicked again", QKeyCombination(), u"Ctrl+Alt+T"_s);
        row("Backspace: the default", QKeyCombination(Qt::Key_Backspace), u"Alt+Space"_s);
        row("a shifted letter", Qt::SHIFT | Qt::Key_A, u"Shift+..."_s, hint);
        row("a modifier alone", Qt::CTRL | Qt::Key_Control, u"Ctrl+..."_s, hint);
    }
    void recording()
    {
        QFETCH(QKeyCombination, keys);
        QFETCH(QString, badge);
        QFETCH(QString, note);
        const bool recording = note == SettingsView::recordingHintText; // still
        m_translator->settings.setValue("showShortcut", "Ctrl+Alt+T");
        m_shortcut->setShortcut(Qt::CTRL | Qt::ALT | Qt::Key_T);
        m_shortcut->calls.clear();
        m_shortcut->taken = {QKeySequence(u"Ctrl+Alt+D"_s)};
        ShortcutRow *row = open()->showShortcutRow();
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QCOMPARE(row->note(), SettingsView::recordingHintText);
        QCOMPARE(m_shortcut->calls, QList<QKeySequence>{QKeySequence()});
        if (keys.key() == Qt::Key_unknown) {
            QTest::mouseClick(row->badge(), Qt::LeftButton);
        } else {
            QTest::keyPress(row->badge(), keys.key(), keys.keyboardModifiers());
        }
        QCOMPARE(row->badge()->displayText(), badge);
        QCOMPARE(row->note(), note);
        const QString kept = recording ? u"Ctrl+Alt+T"_s : badge;
        QCOMPARE(m_translator->settings.value("showShortcut"),
                 kept == "Alt+Space" ? QVariant() : kept); // the default as nothing
        QCOMPARE(m_shortcut->calls.size(), recording ? 1 : 2);
        QCOMPARE(m_shortcut->isRegistered(), note.isEmpty());
        // At the next opening the old shortcut is back, if recording was left unfinished.
        QCOMPARE(open()->showShortcutRow()->note(), recording ? QString() : note);
        QCOMPARE(QKeySequence(m_shortcut->shortcut()).toString(), kept);
    }

    // What the section says of the keyring; then Save or Remove. A refused key stays to retry.
    void apiKey_data()
    {
        QTest::addColumn<QByteArray>("item"); // null: none
        QTest::addColumn<QString>("typed");   // null: nothing pressed; empty: Remove
        QTest::addColumn<bool>("agrees");     // the keyring to a change
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("message");
        using A = ApiKeySection;
        const QByteArray old = "sk-old";
        const auto row = [](const char *name, const QByteArray &item, const QString &typed,
                            bool agrees, const QString &status, const QString &message = {}) {
            QTest::newRow(name) << item << typed << agrees << status << message;
        };
        row("a key", old, {}, true, A::keyStoredText);
        row("no item", {}, {}, true, A::noKeyStoredText);
        row("an empty item", "", {}, true, A::noKeyStoredText);
        row("locked", old, {}, true, A::lockedText);
        row("no keyring", old, {}, true, A::noKeyringText);
        row("saved, pasted with spaces", old, u" sk-new\n"_s, true, A::keyStoredText);
        row("saving refused", old, u"sk-new"_s, false, A::keyStoredText, A::saveFailedText);
        row("unusable", old, u"sk new"_s, true, A::keyStoredText, A::unsendableKeyText);
        row("removed", old, u""_s, true, A::noKeyStoredText);
    }
    void apiKey()
    {
        QFETCH(QByteArray, item);
        QFETCH(QString, typed);
        QFETCH(bool, agrees);
        QFETCH(QString, status);
        QFETCH(QString, message);
        const QPair<QString, QString> keyItem{Deployment::appId(), u"deepseek_api_key"_s};
        const bool keyring = status != ApiKeySection::noKeyringText;
        if (status == ApiKeySection::lockedText) {
            m_store->readOutcome = SecretStore::Outcome::locked;
        }
        if (!item.isNull()) {
            m_store->items.insert(keyItem, item);
        }
        m_store->writable = agrees;
        ApiKeySection *section = open(keyring)->apiKeySection();
        QTRY_VERIFY(!section->isBusy());
        section->field()->setText(typed.isNull() ? u"sk-new"_s : typed);
        if (typed.isEmpty() && !typed.isNull()) {
            QTest::mouseClick(section->removeButton(), Qt::LeftButton);
        } else if (!typed.isNull()) {
            QTest::keyClick(section->field(), Qt::Key_Return);
        }
        QTRY_VERIFY(!section->isBusy());
        QCOMPARE(section->status(), status);
        QCOMPARE(section->message(), message);
        QCOMPARE(section->field()->isEnabled(), keyring);
        QCOMPARE(section->removeButton()->isEnabled(), status == ApiKeySection::keyStoredText);
        const bool done = !typed.isNull() && message.isEmpty();
        QCOMPARE(section->field()->text().isEmpty(), done);
        const QByteArray kept = !done ? item : typed.isEmpty() ? QByteArray() : "sk-new"_ba;
        QCOMPARE(m_store->items.value(keyItem), kept);
    }

private:
    // A new panel, as at every opening, its keychain over the test's keyring.
    SettingsView *open(bool keyring = true)
    {
        m_host.discard();
        m_keychain =
            keyring ? std::make_unique<KeychainHelper>(Deployment::appId(), m_store) : nullptr;
        return m_host.show(new SettingsView(*m_translator->viewModel, m_loginItem, m_keychain.get(),
                                            m_shortcut.get(), m_translator->preferences,
                                            m_host.closer));
    }

    std::unique_ptr<TestTranslator> m_translator;
    FakeLoginItem m_loginItem;
    std::shared_ptr<FakeSecretStore> m_store;
    std::unique_ptr<FakeGlobalShortcut> m_shortcut;
    std::unique_ptr<KeychainHelper> m_keychain;
    PanelHost m_host;
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
