// The source text editor, bound both ways to the view model as the popover binds it.
#include "noscrolltexteditor.h"
#include "testtranslator.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

namespace {

// What an input method sends: text still being composed, or committed.
void inputMethod(QWidget *editor, const QString &preedit, const QString &commit = {})
{
    QInputMethodEvent event(preedit, {{QInputMethodEvent::Cursor, int(preedit.size()), 1}});
    event.setCommitString(commit);
    QApplication::sendEvent(editor, &event);
}

void paste(NoScrollTextEditor *editor, const QString &text)
{
    QApplication::clipboard()->setText(text);
    editor->paste();
}

void moveCaret(QPlainTextEdit &editor, int position)
{
    QTextCursor cursor = editor.textCursor();
    cursor.setPosition(position);
    editor.setTextCursor(cursor);
}

} // namespace

class TestNoScrollTextEditor : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_edits.reset();
        m_editor = std::make_unique<NoScrollTextEditor>();
        m_translator.reset(); // one test home at a time
        m_translator = std::make_unique<TestTranslator>();
        m_model = m_translator->viewModel.get();
        m_editor->resize(420, 180);
        connect(m_editor.get(), &NoScrollTextEditor::textEdited, m_model,
                &TranslatorViewModel::setSourceText);
        connect(m_model, &TranslatorViewModel::sourceTextChanged, m_editor.get(),
                &NoScrollTextEditor::setText);
        m_edits = std::make_unique<QSignalSpy>(m_editor.get(), &NoScrollTextEditor::textEdited);
    }

    // Each edit is offered once and the model's echo keeps the caret; an input method's text
    // only when committed, and given up it leaves nothing behind. The model's own text, line
    // breaks made line feeds, is not offered back.
    void typing()
    {
        QTest::keyClicks(m_editor.get(), "Hallo");
        moveCaret(*m_editor, 2);
        QTest::keyClick(m_editor.get(), Qt::Key_X);
        QCOMPARE(m_model->sourceText(), "Haxllo");
        QCOMPARE(m_editor->textCursor().position(), 3);
        inputMethod(m_editor.get(), u"かな"_s);
        QCOMPARE(m_model->sourceText(), "Haxllo");
        inputMethod(m_editor.get(), {}, u"仮名"_s);
        inputMethod(m_editor.get(), u"x"_s);
        inputMethod(m_editor.get(), {});
        QCOMPARE(m_model->sourceText(), u"Hax仮名llo"_s);
        m_model->setSourceText(u"one\r\ntwo\rthree\u00a0km"_s);
        QCOMPARE(m_editor->text(), u"one\ntwo\nthree\u00a0km"_s);
        QCoreApplication::processEvents();
        QCOMPARE(m_edits->size(), 7);
    }

    // Into a text at the limit, the edit is refused with the model's message and leaves the
    // editor; a megabyte pasted is refused before it is ever laid out.
    void refusedEditDisappears_data()
    {
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("added");
        QTest::newRow("typed in the middle") << 2500 << u"key"_s << u"b"_s;
        QTest::newRow("committed by an input method") << 10 << u"commit"_s << u"ü"_s;
        QTest::newRow("a megabyte pasted")
            << 5000 << u"paste"_s << u"Lorem ipsum.\n"_s.repeated(80660);
    }
    void refusedEditDisappears()
    {
        QFETCH(int, caret);
        QFETCH(QString, how);
        QFETCH(QString, added);
        const QString full(TranslatorViewModel::maxSourceLength, 'a');
        m_model->setSourceText(full);
        moveCaret(*m_editor, caret);
        int largestInsertion = 0;
        connect(m_editor->document(), &QTextDocument::contentsChange, m_editor.get(),
                [&](int, int, int inserted) {
                    largestInsertion = std::max(largestInsertion, inserted);
                });
        if (how == "key") {
            QTest::keyClicks(m_editor.get(), added);
        } else if (how == "commit") {
            inputMethod(m_editor.get(), {}, added);
        } else {
            paste(m_editor.get(), added);
            QCOMPARE(largestInsertion, 0);
        }
        QCOMPARE(m_edits->size(), 1);
        QCOMPARE(m_model->sourceText(), full);
        QCOMPARE(m_model->errorMessage(), TranslatorViewModel::textTooLongMessage);
        QCOMPARE(m_editor->text(), full);
        QCOMPARE(m_editor->textCursor().position(), caret);
        // Undo goes on backwards; it must not bring the refused text back at every press.
        m_editor->undo();
        QVERIFY(m_editor->text().size() < full.size());
        QCOMPARE(m_model->sourceText(), m_editor->text());
    }

    // However long a word, it wraps: nothing ever scrolls sideways.
    void wrapsLongWords()
    {
        m_editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
        m_model->setSourceText(u"abcمرحباdef123"_s.repeated(350));
        QCOMPARE(m_editor->horizontalScrollBar()->maximum(), 0);
        QVERIFY(m_editor->document()->firstBlock().layout()->lineCount() > 10);
    }

private:
    std::unique_ptr<TestTranslator> m_translator;
    TranslatorViewModel *m_model = nullptr;
    std::unique_ptr<NoScrollTextEditor> m_editor;
    std::unique_ptr<QSignalSpy> m_edits;
};

QTEST_MAIN(TestNoScrollTextEditor)
#include "tst_noscrolltexteditor.moc"
