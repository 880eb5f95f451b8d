// The panels: settings over the real view model with a login item, keyring and shortcut in
// memory; the problem report, held by the test or sent to a local Bot API stand-in; about.
#include "aboutview.h"
#include "apikeysection.h"
#include "deployment.h"
#include "fakeglobalshortcut.h"
#include "fakeloginitem.h"
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "noscrolltexteditor.h"
#include "problemreport.h"
#include "reportproblemview.h"
#include "settingsview.h"
#include "shortcutrecorder.h"
#include "shortcutrow.h"
#include "shortcutsetting.h"
#include "stylerow.h"
#include "telegramreporter.h"
#include "testtranslator.h"
#include "transporterror.h"
#include "visualeffectview.h"

#include <QAbstractButton>
#include <QCoro/QCoroSignal>
#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Action = Preferences::ShortcutAction;

namespace {

// The popover around a panel, a new window for each; counts the calls of the close it hands out.
class PanelHost
{
public:
    template <typename Panel> Panel *show(Panel *panel)
    {
        m_window = std::make_unique<VisualEffectView>();
        (new QVBoxLayout(m_window.get()))->addWidget(panel);
        m_window->resize(780, 460);
        m_window->show();
        Q_UNUSED(QTest::qWaitForWindowExposed(m_window.get()));
        return panel;
    }
    void discard() { m_window.reset(); }
    QWidget *window() const { return m_window.get(); }

    int closes = 0;
    const std::function<void()> closer = [this] { ++closes; };

private:
    std::unique_ptr<QWidget> m_window;
};

// Holds a coroutine, `co_await qCoro(&gate, &Gate::opened)`, until the test opens the gate.
class Gate : public QObject
{
    Q_OBJECT

signals:
    void opened(bool succeeded);
};

const QString head = u"🐛 Bug Report — Parlora - Quenzal\n\n"_s;
const QString tail = u"\n\nLinux: X\nApp: v? (?)"_s; // when the build knows neither

// A panel sending through `sender`, by default noting each report and holding it at the gate.
struct Panel
{
    explicit Panel(std::optional<ReportProblemView::Sender> sender = std::nullopt)
        : view(host.show(new ReportProblemView(sender ? *sender : held(), host.closer)))
    {}
    ReportProblemView::Sender held()
    {
        return [this](QString report) -> QCoro::Task<> {
            reports.append(report);
            const bool delivered = co_await qCoro(&gate, &Gate::opened);
            ++passed;
            if (!delivered) {
                throw TransportError(QNetworkReply::HostNotFoundError, u"no net"_s);
            }
        };
    }
    NoScrollTextEditor *editor() const { return view->findChild<NoScrollTextEditor *>("editor"); }
    QAbstractButton *send() const { return view->findChild<QAbstractButton *>("send"); }
    bool shows(const char *line) const { return view->findChild<QLabel *>(line)->isVisible(); }

    Gate gate;
    int passed = 0; // reports that went on from the gate
    QStringList reports;
    PanelHost host;
    ReportProblemView *view;
};

} // namespace

class TestPanels : public QObject
{
    Q_OBJECT

public slots:
    void openInBrowser(const QUrl &url) { m_opened.append(url); }

private slots:
    void init()
    {
        m_host.discard();
        m_translator.reset(); // one test home at a time
        m_translator = std::make_unique<TestTranslator>();
        m_loginItem = FakeLoginItem();
        m_store = std::make_shared<FakeSecretStore>();
        m_shortcut = std::make_unique<FakeGlobalShortcut>();
        m_clipboardShortcut = std::make_unique<FakeGlobalShortcut>();
    }

    // A click sets the view model's style, and the check mark follows it. Screen readers
    // announce every button of the panel by a name. The login switch starts from the login item,
    // not from what is stored.
    void controls()
    {
        TranslatorViewModel &model = *m_translator->viewModel;
        model.setTranslationStyle(TranslationStyle::allCases()[3]);
        SettingsView *panel = open();
        const QList<StyleRow *> rows = panel->styleRows();
        QVERIFY(rows[3]->isSelected() && !rows[0]->isSelected());
        QTest::mouseClick(rows[2], Qt::LeftButton, {}, QPoint(30, 10));
        QCOMPARE(model.translationStyle(), TranslationStyle::allCases()[2]);
        QVERIFY(rows[2]->isSelected() && !rows[3]->isSelected());
        for (QAbstractButton *button : panel->findChildren<QAbstractButton *>()) {
            QVERIFY2(!button->isVisibleTo(panel) || !button->accessibleName().isEmpty() ||
                         !button->text().isEmpty(),
                     button->metaObject()->className());
        }
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

    // While a badge records, both global shortcuts are released so that their keys reach the
    // badge; then the recorded one is the one the badge shows. One taken by another program is
    // kept, and said; the other row's is refused.
    void recording_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QKeyCombination>("keys"); // none: the badge is clicked again
        QTest::addColumn<QString>("badge");
        QTest::addColumn<QString>("note");
        for (const Action action : {Action::show, Action::translateClipboard}) {
            const auto row = [action](const char *name, QKeyCombination keys, const QString &badge,
                                      const QString &note = {}) {
                QTest::addRow("%s: %s", action == Action::show ? "show" : "clipboard", name)
                    << action << keys << badge << note;
            };
            const QString hint = ShortcutSetting::recordingHint(action);
            row("Ctrl+Shift+K", Qt::CTRL | Qt::SHIFT | Qt::Key_K, u"Ctrl+Shift+K"_s);
            row("taken", Qt::CTRL | Qt::ALT | Qt::Key_D, u"Ctrl+Alt+D"_s,
                ShortcutSetting::inUseText);
            row("the other row's", Qt::CTRL | Qt::ALT | Qt::Key_O, u"Ctrl+Alt+T"_s,
                ShortcutSetting::takenByOtherRowText);
            row("F12 alone", QKeyCombination(Qt::Key_F12), u"F12"_s);
            row("Escape cancels", QKeyCombination(Qt::Key_Escape), u"Ctrl+Alt+T"_s);
            row("badge clicked again", QKeyCombination(), u"Ctrl+Alt+T"_s);
            row("Backspace: the default", QKeyCombination(Qt::Key_Backspace),
                action == Action::show ? u"Alt+Space"_s : u"Alt+Shift+Space"_s);
            row("a shifted letter", Qt::SHIFT | Qt::Key_A, u"Shift+..."_s, hint);
            row("a modifier alone", Qt::CTRL | Qt::Key_Control, u"Ctrl+..."_s, hint);
        }
    }
    void recording()
    {
        QFETCH(Action, action);
        QFETCH(QKeyCombination, keys);
        QFETCH(QString, badge);
        QFETCH(QString, note);
        const Action otherAction =
            action == Action::show ? Action::translateClipboard : Action::show;
        const bool recording = note == ShortcutSetting::recordingHint(action); // still
        const bool refused = note == ShortcutSetting::takenByOtherRowText;
        m_translator->preferences.setShortcut(action, "Ctrl+Alt+T");
        m_translator->preferences.setShortcut(otherAction, "Ctrl+Alt+O");
        FakeGlobalShortcut &shortcut = this->shortcut(action);
        FakeGlobalShortcut &other = this->shortcut(otherAction);
        shortcut.setShortcut(Qt::CTRL | Qt::ALT | Qt::Key_T);
        other.setShortcut(Qt::CTRL | Qt::ALT | Qt::Key_O);
        shortcut.calls.clear();
        other.calls.clear();
        shortcut.taken = {QKeySequence(u"Ctrl+Alt+D"_s)};
        ShortcutRow *row = this->row(open(), action);
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QCOMPARE(row->note(), ShortcutSetting::recordingHint(action));
        QCOMPARE(shortcut.calls, QList<QKeySequence>{QKeySequence()});
        QCOMPARE(other.calls, QList<QKeySequence>{QKeySequence()});
        if (keys.key() == Qt::Key_unknown) {
            QTest::mouseClick(row->badge(), Qt::LeftButton);
        } else {
            QTest::keyPress(row->badge(), keys.key(), keys.keyboardModifiers());
        }
        QCOMPARE(row->badge()->displayText(), badge);
        QCOMPARE(row->note(), note);
        const QString kept = recording ? u"Ctrl+Alt+T"_s : badge;
        QCOMPARE(m_translator->preferences.shortcut(action), kept);
        QCOMPARE(shortcut.calls.size(), recording ? 1 : 2);
        QCOMPARE(shortcut.isRegistered(), note.isEmpty() || refused);
        QCOMPARE(other.isRegistered(), !recording);
        // At the next opening the old shortcuts are back, if recording was left unfinished.
        QCOMPARE(this->row(open(), action)->note(), recording || refused ? QString() : note);
        QCOMPARE(QKeySequence(shortcut.shortcut()).toString(), kept);
        QCOMPARE(QKeySequence(other.shortcut()).toString(), u"Ctrl+Alt+O"_s);
    }

    // What the row says of a refused shortcut, at opening (the desktop said it before) and after
    // recording another, which is kept all the same; a registered one takes every word back.
    void refusals_data()
    {
        QTest::addColumn<GlobalShortcut::Failure>("kind");
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("explained"); // with the line on binding the command instead
        using Failure = GlobalShortcut::Failure;
        QTest::newRow("taken") << Failure::taken << ShortcutSetting::inUseText << false;
        QTest::newRow("unusable") << Failure::unusable << ShortcutSetting::unusableText << false;
        QTest::newRow("no global shortcuts")
            << Failure::unavailable << ShortcutSetting::unavailableText << true;
    }
    void refusals()
    {
        QFETCH(GlobalShortcut::Failure, kind);
        QFETCH(QString, note);
        QFETCH(bool, explained);
        m_shortcut->refusal = kind;
        m_shortcut->setShortcut(Qt::ALT | Qt::Key_Space);
        ShortcutRow *row = open()->showShortcutRow();
        const auto says = [&](const QString &expected, bool withLine) {
            return row->note() == expected && row->detail().isEmpty() != withLine;
        };
        QVERIFY(says(note, explained));
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QVERIFY(says(ShortcutSetting::recordingHint(Action::show), false));
        QTest::keyPress(row->badge(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_translator->preferences.shortcut(Action::show), u"Ctrl+Shift+K"_s);
        QVERIFY(says(note, explained));
        m_shortcut->refusal.reset();
        QTest::mouseClick(row->badge(), Qt::LeftButton);
        QTest::keyPress(row->badge(), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(says({}, false));
    }

    // What the section says of the keyring; then Save or Remove. A refused key stays to retry.
    void apiKey_data()
    {
        QTest::addColumn<QByteArray>("item"); // null: none
        QTest::addColumn<QString>("typed");   // null: nothing pressed; empty: Remove
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("message");
        using A = ApiKeySection;
        const QByteArray old = "sk-old";
        const auto row = [](const char *name, const QByteArray &item, const QString &typed,
                            const QString &status, const QString &message = {}) {
            QTest::newRow(name) << item << typed << status << message;
        };
        row("no item", {}, {}, A::noKeyStoredText);
        row("locked", old, {}, A::lockedText);
        row("no keyring", old, {}, A::noKeyringText);
        row("saved, pasted with spaces", old, u" sk-new\n"_s, A::keyStoredText);
        row("saving refused", old, u"sk-new"_s, A::keyStoredText, A::saveFailedText);
        row("unusable", old, u"sk new"_s, A::keyStoredText, A::unsendableKeyText);
        row("removed", old, u""_s, A::noKeyStoredText);
    }
    void apiKey()
    {
        QFETCH(QByteArray, item);
        QFETCH(QString, typed);
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
        m_store->writable = message != ApiKeySection::saveFailedText;
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

    // As typed, untrimmed, with "?" for what the build does not know. The Bot API takes at
    // most 4096 characters: a longer description is cut, never the lines after it, and never
    // inside a character.
    void reportText()
    {
        const qsizetype max = ProblemReport::maxLength;
        const QString fits = "  " + QString(max - head.size() - tail.size() - 4, 'a') + "\n\n";
        QCOMPARE(ProblemReport::text(fits, "Linux: X", "", ""), head + fits + tail);
        for (const QString &over : {fits + 'a', u"🐛"_s.repeated(2500)}) {
            const QString text = ProblemReport::text(over, "Linux: X", "", "");
            QVERIFY(text.size() >= max - 1 && text.size() <= max);
            QVERIFY(text.endsWith(ProblemReport::cutMarker + tail));
            QVERIFY(text.isValidUtf16());
        }
    }

    // Send is pressed twice while the report is held, and the panel perhaps discarded; then the
    // report is delivered or not.
    void sending_data()
    {
        QTest::addColumn<bool>("discarded"); // else Send is pressed again once answered
        QTest::addColumn<bool>("delivered");
        QTest::newRow("delivered: Send again sends nothing, the thanks close") << false << true;
        QTest::newRow("failed: the text stays for another try") << false << false;
        QTest::newRow("discarded, then delivered") << true << true;
    }
    void sending()
    {
        QFETCH(bool, discarded);
        QFETCH(bool, delivered);
        Panel panel;
        QAbstractButton *send = panel.send();
        QVERIFY(panel.shows("placeholder"));
        panel.editor()->setPlainText(u"\n\u00a0\u3000"_s);
        QVERIFY(!send->isEnabled() && !panel.shows("placeholder")); // blanks are no report
        panel.editor()->setPlainText("  It broke\n");
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(send->text() == "Sending..." && !send->isEnabled());
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(
            panel.reports.value(0).contains("\n\n  It broke\n\n\n" + ProblemReport::systemLine()));
        if (discarded) {
            panel.host.discard();
        }
        emit panel.gate.opened(delivered);
        QTRY_COMPARE(panel.passed, 1);
        if (!discarded) {
            QCOMPARE(panel.shows("sentLine"), delivered);
            QCOMPARE(panel.shows("failedLine"), !delivered);
            QCOMPARE(send->text(), "Send");
            QCOMPARE(panel.editor()->text(), "  It broke\n");
            QCOMPARE(panel.host.closes, 0); // not at once: the thanks are read first
            QTest::mouseClick(send, Qt::LeftButton);
            emit panel.gate.opened(false);
            QTRY_COMPARE(panel.passed, panel.reports.size());
        }
        QCOMPARE(panel.reports.size(), delivered ? 1 : 2);
        QTRY_COMPARE_WITH_TIMEOUT(panel.host.closes, delivered && !discarded ? 1 : 0, 20000);
    }

    // Through the real client to a local relay of the Bot API.
    void sendsThroughTelegram()
    {
        TestHttpServer server;
        server.setDefaultReply({.body = R"({"ok":true})"});
        TelegramReporter reporter(
            server.url(u"/relay/"_s), []() -> QCoro::Task<QString> { co_return u"1:abc"_s; },
            300ms);
        Panel panel(ReportProblemView::telegramSender(reporter, "-1001234567890", 42));
        const QString text = u"NUL"_s + QChar(0) + u"here, then 🐛"_s + QString(100000, 'x');
        panel.editor()->setPlainText(text);
        QTest::mouseClick(panel.send(), Qt::LeftButton);
        QTRY_VERIFY(!panel.view->isSending());
        QVERIFY(panel.view->isSent());
        QCOMPARE(server.requests().size(), 1);
        const TestHttpServer::Request &request = server.requests().first();
        QCOMPARE(request.method + ' ' + request.target, "POST /relay/bot1:abc/sendMessage");
        QCOMPARE(request.header("Content-Type"), "application/json");
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body["chat_id"].toString(), "-1001234567890");
        QCOMPARE(body["message_thread_id"].toInteger(), 42);
        QVERIFY(body["text"].toString().startsWith(head + text.left(20)));
        // Without a chat to send to, Send says why it is off.
        Panel unconfigured(ReportProblemView::Sender{});
        unconfigured.editor()->setPlainText("It broke");
        QVERIFY(!unconfigured.send()->isEnabled() && !unconfigured.send()->toolTip().isEmpty());
    }

    // A click or Return opens the website, a press let go elsewhere does not. The popover
    // deletes a panel as it closes it, from within the close button's click.
    void about()
    {
        PanelHost host;
        const QUrl address(u"https://parlora.app/about"_s);
        QDesktopServices::setUrlHandler("https", this, "openInBrowser");
        auto *view = host.show(new AboutView({"2.3", "57", address, AboutView::defaultLogoPath},
                                             [&host] { host.discard(); }));
        QCOMPARE(view->findChild<QLabel *>("version")->text(), "Version 2.3 (57)");
        QVERIFY(view->findChild<QWidget *>("logo"));
        auto *link = view->findChild<QLabel *>("website");
        QCOMPARE(link->text(), "parlora.app");
        QTest::mouseClick(link, Qt::LeftButton);
        QTest::mousePress(link, Qt::LeftButton);
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-20, -20));
        link->setFocus();
        QTest::keyClick(link, Qt::Key_Return);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened, (QList<QUrl>{address, address}));
        QTest::mouseClick(view->findChild<QAbstractButton *>("close"), Qt::LeftButton);
        QTRY_VERIFY(!host.window());
    }

private:
    // A new panel, as at every opening, its keychain over the test's keyring.
    SettingsView *open(bool keyring = true)
    {
        m_host.discard();
        m_keychain =
            keyring ? std::make_unique<KeychainHelper>(Deployment::appId(), m_store) : nullptr;
        return m_host.show(new SettingsView(*m_translator->viewModel, m_loginItem, m_keychain.get(),
                                            {m_shortcut.get(), m_clipboardShortcut.get()},
                                            m_translator->preferences, nullptr, m_host.closer));
    }

    std::unique_ptr<TestTranslator> m_translator;
    FakeLoginItem m_loginItem;
    std::shared_ptr<FakeSecretStore> m_store;
    FakeGlobalShortcut &shortcut(Action action)
    {
        return action == Action::show ? *m_shortcut : *m_clipboardShortcut;
    }
    static ShortcutRow *row(SettingsView *view, Action action)
    {
        return action == Action::show ? view->showShortcutRow() : view->clipboardShortcutRow();
    }

    std::unique_ptr<FakeGlobalShortcut> m_shortcut;
    std::unique_ptr<FakeGlobalShortcut> m_clipboardShortcut;
    std::unique_ptr<KeychainHelper> m_keychain;
    PanelHost m_host;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
