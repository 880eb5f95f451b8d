// The translator as a whole: the popover's parts, its resize grip among them, bound to a real
// view model, DeepSeek replaced by a local server.
#include "actionicon.h"
#include "appnotifier.h"
#include "dictation.h"
#include "noscrolltexteditor.h"
#include "popovercontentview.h"
#include "resizehandle.h"
#include "settingsgearbutton.h"
#include "swapbutton.h"
#include "swapdivider.h"
#include "testtranslator.h"
#include "translatebutton.h"
#include "translationarea.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Language lang(const QString &id)
{
    return *Language::find(Language::sourceLanguages(), id);
}

class FakeDictation : public Dictation
{
public:
    bool isAvailable() const override { return available; }
    bool isListening() const override { return listening; }
    void start() override { emit listeningChanged(listening = true); }
    void stop() override { emit listeningChanged(listening = false); }

    bool available = false;
    bool listening = false;
};

} // namespace

class TestPopoverContentView : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_translator = std::make_unique<TestTranslator>();
        m_dictation.available = m_dictation.listening = false;
        m_viewModel = m_translator->viewModel.get();
        m_view = std::make_unique<PopoverContentView>(*m_viewModel, m_translator->preferences,
                                                      m_dictation);
        m_view->resize(780, 460);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup()
    {
        m_view.reset();
        m_translator.reset();
    }

    // The placeholder while there is no text, each side's direction, swapping and clearing.
    void sourceSide()
    {
        QTest::keyClicks(m_view->editor(), "Hi");
        QCOMPARE(m_viewModel->sourceText(), "Hi");
        QVERIFY(!m_view->sourcePlaceholder()->isVisible());
        m_viewModel->setTranslatedText("x");
        m_viewModel->setSourceLanguage(lang("ar"));
        m_viewModel->setTargetLanguage(lang("de"));
        QVERIFY(m_view->editor()->isRightToLeft());
        QCOMPARE(m_view->sourcePlaceholder()->alignment() & Qt::AlignRight, Qt::AlignRight);
        m_view->divider()->swapButton()->click();
        QCOMPARE(m_viewModel->sourceLanguage().id, "de");
        QCOMPARE(m_view->editor()->text(), "x");
        const auto *translation =
            qobject_cast<QLabel *>(m_view->translationArea()->findChild<QScrollArea *>()->widget());
        QCOMPARE(translation->alignment() & Qt::AlignRight, Qt::AlignRight);
        QVERIFY(!m_view->editor()->isRightToLeft());
        m_view->clearButton()->click();
        QCOMPARE(m_view->editor()->text(), QString());
        QCOMPARE(m_view->translationArea()->state(), TranslationArea::State::placeholder);
        QVERIFY(m_view->sourcePlaceholder()->isVisible());
    }

    // With no text the button is dimmed and Ctrl+Return does nothing. Then Ctrl+Return, or the
    // keypad's Ctrl+Enter, presses it, putting no line break in; the area shows the spinner,
    // then the translation or an error.
    void translating()
    {
        m_translator->server.enqueue({.body = TestHttpServer::completion("Guten Morgen")});
        m_translator->server.enqueue({.status = 500, .body = "{}"});
        TranslationArea *area = m_view->translationArea();
        TranslateButton *button = m_view->translateButton();
        m_viewModel->setSourceLanguage(lang("en"));
        m_viewModel->setTargetLanguage(lang("de"));
        QSignalSpy presses(button, &QAbstractButton::clicked);
        m_view->editor()->setFocus();
        QTest::keyClick(m_view->editor(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(presses.isEmpty() && !button->isEnabled() && button->isDimmed());
        for (const auto &[text, key] :
             {std::pair{u"Good morning"_s, Qt::Key_Return}, {u"Good evening"_s, Qt::Key_Enter}}) {
            m_viewModel->setSourceText(text);
            QVERIFY(button->isEnabled() && !button->isDimmed());
            QTest::keyClick(m_view->editor(), key, Qt::ControlModifier);
            QCOMPARE(m_view->editor()->text(), text);
            QCOMPARE(area->state(), TranslationArea::State::translating);
            QVERIFY(!button->isEnabled());
            QTRY_VERIFY(area->state() != TranslationArea::State::translating);
            QCOMPARE(area->shownText().left(19),
                     text == "Good morning" ? "Guten Morgen" : "Translation failed\n");
        }
        QCOMPARE(presses.size(), 2);
    }

    // The gear opens the settings, a notification another panel, each built anew and taking
    // the keyboard; closing brings back the translator as it was.
    void panels()
    {
        m_viewModel->setSourceText("Keep me");
        int built = 0;
        std::function<void()> close;
        QPointer<QLineEdit> field;
        m_view->setPanelFactory([&](PopoverContentView::Panel, std::function<void()> closer) {
            ++built;
            close = std::move(closer);
            field = new QLineEdit;
            return field.data();
        });
        m_view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
        m_view->gearButton()->click();
        QCOMPARE(m_view->panel(), PopoverContentView::Panel::settings);
        AppNotifier::instance().post(AppNotifier::showAbout);
        QCOMPARE(m_view->panel(), PopoverContentView::Panel::about);
        QCOMPARE(built, 2);
        QVERIFY(field->hasFocus());
        QVERIFY(!m_view->resizeHandle()->isVisible());
        close();
        QCOMPARE(m_view->panel(), PopoverContentView::Panel::none);
        QTRY_VERIFY(!field); // deleted on closing
        QVERIFY(m_view->resizeHandle()->isVisible() && m_view->editor()->isVisible());
        QCOMPARE(m_viewModel->sourceText(), "Keep me");
    }

    // Copying leaves the caret where the user was typing; speaking turns the control into a
    // stop one until the speech ends. The microphone, once there is dictation, toggles listening
    // and the words go in at the caret.
    void actionButtons()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        m_viewModel->setSourceText("ab");
        m_viewModel->setTranslatedText("Hallo");
        m_view->editor()->setFocus();
        QTest::mouseClick(m_view->copySourceButton(), Qt::LeftButton);
        QCOMPARE(clipboard->text(), "ab");
        QVERIFY(m_view->editor()->hasFocus());
        m_view->copyTranslationButton()->click();
        QCOMPARE(clipboard->text(), "Hallo");

        ActionIcon *speak = m_view->speakButton();
        speak->click();
        QTRY_VERIFY(m_viewModel->isSpeaking());
        QCOMPARE(speak->glyph(), "stop");
        m_translator->speech->finishFromAnotherThread();
        QTRY_COMPARE(speak->glyph(), "speak");

        ActionIcon *microphone = m_view->microphoneButton();
        QVERIFY(!microphone->isEnabled());
        m_dictation.available = true;
        emit m_dictation.availableChanged(true);
        microphone->click();
        QVERIFY(microphone->isActive() && m_view->editor()->hasFocus());
        emit m_dictation.recognized("heard ");
        QCOMPARE(m_viewModel->sourceText(), "abheard ");
        microphone->click();
        QVERIFY(!m_dictation.listening && !microphone->isActive());
    }

    // The grip asks the shell for a size held within 720 x 380 and 1200 x 900, from the one
    // stored at the press, else the window's. Other buttons, and moves or a release without a
    // press, ask for nothing.
    void resizeHandle_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QPoint>("moved");
        QTest::addColumn<QSizeF>("asked");
        const QVariantMap stored{{"width", 900}, {"height", 600.5}};
        QTest::newRow("from the stored size")
            << QVariant(stored) << QPoint(-30, 40) << QSizeF(870, 640.5);
        QTest::newRow("a press alone") << QVariant(stored) << QPoint() << QSizeF(900, 600.5);
        QTest::newRow("stored, not a map")
            << QVariant("1000x700") << QPoint(100, 50) << QSizeF(880, 510);
        QTest::newRow("far up and left") << QVariant() << QPoint(-1000, -1000) << QSizeF(720, 380);
        QTest::newRow("far down and right")
            << QVariant() << QPoint(1000, 1000) << QSizeF(1200, 900);
    }
    void resizeHandle()
    {
        QFETCH(QVariant, stored);
        QFETCH(QPoint, moved);
        QFETCH(QSizeF, asked);
        QList<QVariantMap> requests;
        QObject listener;
        connect(&AppNotifier::instance(), &AppNotifier::posted, &listener,
                [&requests](const QString &name, const QVariantMap &userInfo) {
                    QCOMPARE(name, AppNotifier::popoverResizeRequested);
                    requests.append(userInfo);
                });
        m_translator->settings.setValue("popoverSize", stored);
        // At a place on the screen, as the handle moves with the window. Moves hold the left
        // button, as Qt delivers no others to a widget that does not track the mouse.
        const auto send = [this](QEvent::Type type, QPoint moved,
                                 Qt::MouseButton button = Qt::LeftButton) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, QPointF(16, 16), QPointF(500, 400) + moved, button, held,
                              Qt::NoModifier);
            QApplication::sendEvent(m_view->resizeHandle(), &event);
        };
        send(QEvent::MouseMove, {40, 40}, Qt::NoButton);
        send(QEvent::MouseButtonPress, {}, Qt::RightButton);
        send(QEvent::MouseButtonRelease, {}, Qt::RightButton);
        send(QEvent::MouseButtonRelease, {});
        QVERIFY(requests.isEmpty());
        send(QEvent::MouseButtonPress, {});
        if (!moved.isNull()) {
            send(QEvent::MouseMove, moved, Qt::NoButton);
        }
        send(QEvent::MouseButtonRelease, moved);
        QCOMPARE(requests.size(), moved.isNull() ? 1 : 2);
        QCOMPARE(requests.last(), (QVariantMap{{"size", asked}, {"final", true}}));
        QVERIFY(moved.isNull() || requests[0] == (QVariantMap{{"size", asked}}));
    }

private:
    std::unique_ptr<TestTranslator> m_translator;
    TranslatorViewModel *m_viewModel = nullptr;
    FakeDictation m_dictation;
    std::unique_ptr<PopoverContentView> m_view;
};

QTEST_MAIN(TestPopoverContentView)
#include "tst_popovercontentview.moc"
