// The translator popover's content over a real view model, DeepSeek replaced by a local server.
#include "actionicon.h"
#include "appnotifier.h"
#include "dictationbar.h"
#include "fakedictationbackend.h"
#include "languagemenu.h"
#include "languagepillsview.h"
#include "morelanguagesbutton.h"
#include "noscrolltexteditor.h"
#include "pillbutton.h"
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
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

namespace {

Language lang(const QString &id)
{
    return *Language::find(Language::sourceLanguages(), id);
}

// What an input method sends: text still being composed, or committed.
void inputMethod(QWidget *editor, const QString &preedit, const QString &commit = {})
{
    QInputMethodEvent event(preedit, {{QInputMethodEvent::Cursor, int(preedit.size()), 1}});
    event.setCommitString(commit);
    QApplication::sendEvent(editor, &event);
}

} // namespace

class TestPopoverContentView : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_translator = std::make_unique<TestTranslator>();
        m_viewModel = m_translator->viewModel.get();
        m_dictation = std::make_unique<TestDictation>(
            m_translator->preferences, *m_viewModel, m_translator->home.dataHome() + "/models",
            QUrl("http://127.0.0.1:9"), QStringList{"base"});
        m_view = std::make_unique<PopoverContentView>(*m_viewModel, m_translator->preferences,
                                                      m_dictation->dictation);
        m_view->resize(780, 460);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup()
    {
        m_view.reset();
        m_dictation.reset();
        m_translator.reset();
    }

    // Each edit is offered once and the model's echo keeps the caret; an input method's text only
    // when committed. The model's own text, line breaks made line feeds, is not offered back. The
    // placeholder shows while there is no text; the side follows its language's direction.
    void sourceSide()
    {
        NoScrollTextEditor *editor = m_view->editor();
        QSignalSpy edits(editor, &NoScrollTextEditor::textEdited);
        QTest::keyClicks(editor, "Hallo");
        QVERIFY(!m_view->sourcePlaceholder()->isVisible());
        QTextCursor caret = editor->textCursor();
        caret.setPosition(2);
        editor->setTextCursor(caret);
        QTest::keyClick(editor, Qt::Key_X);
        QCOMPARE(m_viewModel->sourceText(), "Haxllo");
        QCOMPARE(editor->textCursor().position(), 3);
        inputMethod(editor, u"かな"_s);
        QCOMPARE(m_viewModel->sourceText(), "Haxllo");
        inputMethod(editor, {}, u"仮名"_s);
        inputMethod(editor, u"x"_s);
        inputMethod(editor, {});
        QCOMPARE(m_viewModel->sourceText(), u"Hax仮名llo"_s);
        m_viewModel->setSourceText(u"one\r\ntwo\rthree\u00a0km"_s);
        QCOMPARE(editor->text(), u"one\ntwo\nthree\u00a0km"_s);
        QCoreApplication::processEvents();
        QCOMPARE(edits.size(), 7);
        m_viewModel->setSourceText(u"abcمرحباdef123"_s.repeated(350));
        QCOMPARE(editor->horizontalScrollBar()->maximum(), 0); // however long, words wrap
        QVERIFY(editor->document()->firstBlock().layout()->lineCount() > 10);
        m_viewModel->setTranslatedText("x");
        m_viewModel->setSourceLanguage(lang("ar"));
        m_viewModel->setTargetLanguage(lang("de"));
        QVERIFY(editor->isRightToLeft());
        QCOMPARE(m_view->sourcePlaceholder()->alignment() & Qt::AlignRight, Qt::AlignRight);
        m_view->divider()->swapButton()->click();
        QCOMPARE(m_viewModel->sourceLanguage().id, "de");
        QCOMPARE(editor->text(), "x");
        QVERIFY(!editor->isRightToLeft());
        m_view->clearButton()->click();
        QCOMPARE(m_view->translationArea()->state(), TranslationArea::State::placeholder);
        QVERIFY(m_view->sourcePlaceholder()->isVisible());
    }

    // Into a text at the limit, the edit is refused with the model's message and leaves the
    // editor; a megabyte pasted is refused before it is ever laid out.
    void refusedEditDisappears_data()
    {
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("added");
        QTest::newRow("typed in the middle") << 2500 << u"key"_s << u"b"_s;
        QTest::newRow("a megabyte pasted")
            << 5000 << u"paste"_s << u"Lorem ipsum.\n"_s.repeated(80660);
    }
    void refusedEditDisappears()
    {
        QFETCH(int, caret);
        QFETCH(QString, how);
        QFETCH(QString, added);
        NoScrollTextEditor *editor = m_view->editor();
        const QString full(TranslatorViewModel::maxSourceLength, 'a');
        m_viewModel->setSourceText(full);
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(caret);
        editor->setTextCursor(cursor);
        QSignalSpy edits(editor, &NoScrollTextEditor::textEdited);
        int largestInsertion = 0;
        connect(editor->document(), &QTextDocument::contentsChange, editor,
                [&](int, int, int inserted) {
                    largestInsertion = std::max(largestInsertion, inserted);
                });
        if (how == "key") {
            QTest::keyClicks(editor, added);
        } else {
            QApplication::clipboard()->setText(added);
            editor->paste();
            QCOMPARE(largestInsertion, 0);
        }
        QCOMPARE(edits.size(), 1);
        QCOMPARE(m_viewModel->sourceText(), full);
        QCOMPARE(m_viewModel->errorMessage(), TranslatorViewModel::textTooLongMessage);
        QCOMPARE(editor->text(), full);
        QCOMPARE(editor->textCursor().position(), caret);
        editor->undo(); // goes on backwards, not bringing the refused text back
        QVERIFY(editor->text().size() < full.size());
        QCOMPARE(m_viewModel->sourceText(), editor->text());
    }

    // With no text the button is dimmed and Ctrl+Return does nothing; then Ctrl+Return, or
    // Ctrl+Enter, presses it, adding no line break. The spinner shows, then the outcome.
    void translating()
    {
        m_translator->server.enqueue({.body = TestHttpServer::completion("Guten Morgen")});
        m_translator->server.enqueue({.status = 500, .body = "{}"});
        TranslationArea *area = m_view->translationArea();
        TranslateButton *button = m_view->translateButton();
        m_viewModel->setSourceLanguage(lang("en"));
        m_viewModel->setTargetLanguage(lang("de"));
        m_view->editor()->setFocus();
        QTest::keyClick(m_view->editor(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!button->isEnabled() && button->isDimmed());
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
    }

    // A click on a pill chooses it and springs the capsule over; a choice from the menu
    // becomes a pill and the capsule is put there at once. The model's choice shows too.
    void languageBars()
    {
        LanguagePillsView *bar = m_view->targetPills();
        const QRectF start = *bar->capsule();
        PillButton *other = bar->pills().last();
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(m_viewModel->targetLanguage(), other->language());
        QCOMPARE(*bar->capsule(), start);
        QTRY_COMPARE(bar->capsule(), QRectF(other->geometry())); // the spring comes to rest
        bar->moreButton()->click();
        QListWidget *list = bar->moreButton()->menu()->list();
        const QString id = m_viewModel->targetMoreLanguages()[3].id;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(3)).center());
        QCOMPARE(m_viewModel->targetLanguage().id, id);
        QCOMPARE(bar->capsule(), QRectF(bar->pills()[0]->geometry()));
        m_viewModel->setSourceLanguage(lang("fr"));
        QCOMPARE(m_view->sourcePills()->selected().id, "fr");
    }

    // The first match, by name or id, is the one Return takes; the arrows move among the
    // matches. It opens again with an empty search, all there, nothing looking chosen.
    void menuSearchAndKeys_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("chosen"); // empty: none
        using K = QList<int>;
        QTest::newRow("by id, Enter") << "zh-hant" << K{Qt::Key_Enter} << "zh-Hant";
        QTest::newRow("down, from Slovak") << "sl" << K{Qt::Key_Down, Qt::Key_Return} << "sl";
        QTest::newRow("up stops at the first") << "sl" << K{Qt::Key_Up, Qt::Key_Return} << "sk";
        QTest::newRow("escape") << "ital" << K{Qt::Key_Escape} << "";
    }
    void menuSearchAndKeys()
    {
        QFETCH(QString, search);
        QFETCH(QList<int>, keys);
        QFETCH(QString, chosen);
        MoreLanguagesButton *button = m_view->targetPills()->moreButton();
        const QString before = m_viewModel->targetLanguage().id;
        button->click();
        LanguageMenu *menu = button->menu();
        QTest::keyClicks(menu->searchField(), search);
        for (int key : keys) {
            QTest::keyClick(menu->searchField(), Qt::Key(key));
        }
        QCOMPARE(m_viewModel->targetLanguage().id, chosen.isEmpty() ? before : chosen);
        QVERIFY(!menu->isVisible());
        button->click();
        QVERIFY(menu->searchField()->hasFocus() && menu->searchField()->text().isEmpty());
        QCOMPARE(menu->matches(), m_viewModel->targetMoreLanguages());
        QVERIFY(menu->list()->selectedItems().isEmpty());
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

    // Copying leaves the caret where it was; speaking turns the control into a stop one until
    // the speech ends; the microphone records until pressed again.
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
        // Dictated words are translated as typed ones are, after the pause.
        m_translator->server.enqueue({.body = TestHttpServer::completion("ab")});
        m_translator->server.enqueue({.body = TestHttpServer::completion("diktierte Wörter")});
        m_viewModel->setDebounceInterval(std::chrono::milliseconds(10));
        m_viewModel->setSourceLanguage(lang("en"));
        m_viewModel->setTargetLanguage(lang("de"));
        QTRY_COMPARE(m_viewModel->translatedText(), "ab");
        ActionIcon *microphone = m_view->microphoneButton();
        microphone->click();
        QVERIFY(microphone->isActive() && m_view->editor()->hasFocus());
        QVERIFY(m_view->dictationBar()->isVisible());
        QVERIFY(m_view->dictationBar()->text()->text().startsWith("Listening"));
        microphone->click();
        QVERIFY(!microphone->isActive());
        QTRY_COMPARE(m_viewModel->sourceText(), "ab dictated words");
        QVERIFY(!m_view->dictationBar()->isVisible());
        QTRY_COMPARE(m_viewModel->translatedText(), "diktierte Wörter");
        QVERIFY(m_translator->server.requests().last().body.contains("ab dictated words"));
    }

    // Dictated words go in at the caret, over a selection, a space apart from a word before
    // them, and only within the length limit, as typing would.
    void dictatedWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("expected");
        QTest::newRow("after a word") << "ab" << 2 << 2 << "dictated words"
                                      << "ab dictated words";
        QTest::newRow("after a space") << "ab " << 3 << 3 << "cd"
                                       << "ab cd";
        QTest::newRow("punctuation") << "ab" << 2 << 2 << ", cd"
                                     << "ab, cd";
        QTest::newRow("over a selection") << "one two three" << 4 << 7 << "2"
                                          << "one 2 three";
        QTest::newRow("at the start") << "tail" << 0 << 0 << "Head "
                                      << "Head tail";
        QTest::newRow("too long") << QString(4990, 'a') << 4990 << 4990 << "ten words!"
                                  << QString(4990, 'a');
    }
    void dictatedWords()
    {
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, words);
        QFETCH(QString, expected);
        m_viewModel->setSourceText(text);
        QTextCursor cursor = m_view->editor()->textCursor();
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        m_view->editor()->setTextCursor(cursor);
        m_dictation->backend.text = words;
        m_view->microphoneButton()->click();
        m_view->microphoneButton()->click();
        QTRY_COMPARE(m_dictation->dictation.state(), Dictation::State::idle);
        QCOMPARE(m_viewModel->sourceText(), expected);
        QCOMPARE(m_viewModel->errorMessage(),
                 expected == text ? TranslatorViewModel::textTooLongMessage : QString());
    }

    // Escape, a panel or hiding the popover ends a recording and drops it; only a second
    // Escape reaches the window.
    void recordingDropped_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Escape") << 0;
        QTest::newRow("settings") << 1;
        QTest::newRow("hidden") << 2;
    }
    void recordingDropped()
    {
        QFETCH(int, how);
        m_view->microphoneButton()->click();
        QVERIFY(m_dictation->backend.recorder->recording);
        if (how == 0) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(m_view->editor(), &escape);
            QVERIFY(escape.isAccepted());
            QKeyEvent again(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(m_view->editor(), &again);
            QVERIFY(!again.isAccepted());
        } else if (how == 1) {
            m_view->gearButton()->click();
        } else {
            m_view->hide();
        }
        QVERIFY(!m_dictation->backend.recorder->recording);
        QCOMPARE(m_dictation->dictation.state(), Dictation::State::idle);
        QVERIFY(!m_view->microphoneButton()->isActive());
        QTest::qWait(30);
        QCOMPARE(m_viewModel->sourceText(), QString());
    }

    // Without the model the bar offers it; what went wrong stays until dismissed.
    void dictationBar()
    {
        DictationBar *bar = m_view->dictationBar();
        m_dictation->dictation.removeModel("base");
        m_view->microphoneButton()->click();
        QVERIFY(bar->isVisible() && bar->primaryButton()->isVisible());
        QCOMPARE(bar->primaryButton()->text(), "Download");
        bar->secondaryButton()->click();
        QVERIFY(!bar->isVisible());
        QVERIFY(!m_view->microphoneButton()->isActive());

        m_dictation->dictation.setModelName("tiny");
        QFile(m_dictation->models.path("tiny")).open(QIODevice::WriteOnly);
        m_dictation->backend.text.clear();
        m_view->microphoneButton()->click();
        m_view->microphoneButton()->click();
        QTRY_COMPARE(bar->text()->text(), "Nothing was heard");
        QVERIFY(bar->isVisible() && !bar->primaryButton()->isVisible());
        bar->secondaryButton()->click();
        QVERIFY(!bar->isVisible());
    }

    // The grip asks for a size from the one stored at the press, bounded as the stored one is.
    // Other buttons, and moves or a release without a press, ask nothing.
    void resizeHandle()
    {
        QSignalSpy posted(&AppNotifier::instance(), &AppNotifier::posted);
        m_translator->settings.setValue("popoverSize",
                                        QVariantMap{{"width", 900}, {"height", 600.5}});
        // Screen positions; moves hold the left button, or Qt would not deliver them.
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
        QVERIFY(posted.isEmpty());
        send(QEvent::MouseButtonPress, {});
        send(QEvent::MouseMove, {-30, 40}, Qt::NoButton);
        send(QEvent::MouseButtonRelease, {1000, 1000});
        const QString name = AppNotifier::popoverResizeRequested;
        QCOMPARE(posted, (QList<QVariantList>{
                             {name, QVariantMap{{"size", QSizeF(870, 640.5)}}},
                             {name, QVariantMap{{"size", QSizeF(1200, 900)}, {"final", true}}}}));
    }

private:
    std::unique_ptr<TestTranslator> m_translator;
    TranslatorViewModel *m_viewModel = nullptr;
    std::unique_ptr<TestDictation> m_dictation;
    std::unique_ptr<PopoverContentView> m_view;
};

QTEST_MAIN(TestPopoverContentView)
#include "tst_popovercontentview.moc"
