// The source text editor, bound both ways to the program's view model as the popover binds it:
// typing, the model's own changes, refused edits, input methods, pastes, direction and the look.
#include "apptheme.h"
#include "noscrolltexteditor.h"
#include "overlayscrollbar.h"
#include "testtranslator.h"
#include "visualeffectview.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QVBoxLayout>

#include <chrono>
#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString arabic = QStringLiteral("مرحبا بالعالم، كيف حالك اليوم؟");

QFont editorFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(17);
    return font;
}

void commit(QWidget *editor, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(editor, &event);
}

void compose(QWidget *editor, const QString &preedit)
{
    const QList<QInputMethodEvent::Attribute> attributes{
        {QInputMethodEvent::Cursor, int(preedit.size()), 1}};
    QInputMethodEvent event(preedit, attributes);
    QApplication::sendEvent(editor, &event);
}

void paste(NoScrollTextEditor *editor, std::unique_ptr<QMimeData> data)
{
    QApplication::clipboard()->setMimeData(data.release());
    editor->paste();
}

std::unique_ptr<QMimeData> plainData(const QString &text)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
}

// Selects from `anchor` to `position`, or puts the caret there.
void select(QPlainTextEdit &editor, int position, int anchor = -1)
{
    QTextCursor cursor = editor.textCursor();
    cursor.setPosition(anchor < 0 ? position : anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
}

bool isAccent(const QColor &color)
{
    const QColor accent = AppTheme::colors().accent;
    return std::abs(color.red() - accent.red()) <= 2 &&
           std::abs(color.green() - accent.green()) <= 2 &&
           std::abs(color.blue() - accent.blue()) <= 2 && color.alpha() == 255;
}

} // namespace

class TestNoScrollTextEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        AppTheme::apply(AppTheme::Scheme::light);
        // A steady caret, so that a picture of it never depends on the moment of the blink.
        QApplication::setCursorFlashTime(0);
    }

    void init()
    {
        m_editor.reset();
        m_translator.reset();
        m_translator = std::make_unique<TestTranslator>(); // nothing is ever translated here
        m_model = m_translator->viewModel.get();
        m_editor = std::make_unique<NoScrollTextEditor>();
        m_editor->setFont(editorFont());
        m_editor->resize(420, 180);
        connect(m_editor.get(), &NoScrollTextEditor::textEdited, m_model,
                &TranslatorViewModel::setSourceText);
        connect(m_model, &TranslatorViewModel::sourceTextChanged, m_editor.get(),
                &NoScrollTextEditor::setText);
        m_editor->setText(m_model->sourceText());
        m_edits = std::make_unique<QSignalSpy>(m_editor.get(), &NoScrollTextEditor::textEdited);
    }

    void cleanup()
    {
        m_edits.reset();
        m_editor.reset();
        m_translator.reset();
        QApplication::setLayoutDirection(Qt::LeftToRight);
    }

    void typingOffersEachEditOnceAndKeepsTheCaret()
    {
        QTest::keyClicks(m_editor.get(), "Hallo");
        QCOMPARE(m_edits->size(), 5);
        QCOMPARE(m_edits->at(0).at(0).toString(), "H");
        QCOMPARE(m_edits->at(4).at(0).toString(), "Hallo");
        QCOMPARE(m_model->sourceText(), "Hallo");
        QCOMPARE(m_editor->textCursor().position(), 5);

        // In the middle: the model's echo leaves the caret after the new letter.
        select(*m_editor, 2);
        QTest::keyClick(m_editor.get(), Qt::Key_X);
        QCOMPARE(m_model->sourceText(), "Haxllo");
        QCOMPARE(m_editor->textCursor().position(), 3);
        QTest::keyClick(m_editor.get(), Qt::Key_Backspace);
        QCOMPARE(m_model->sourceText(), "Hallo");
        QCOMPARE(m_editor->textCursor().position(), 2);

        // The second look one turn of the event loop later finds nothing new.
        QCoreApplication::processEvents();
        QCOMPARE(m_edits->size(), 7);
    }

    void modelChangesReplaceTheText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("shown");
        QTest::newRow("cleared") << u"Hello"_s << u""_s << u""_s;
        QTest::newRow("several paragraphs")
            << u"a"_s << u"one\ntwo\n\nthree"_s << u"one\ntwo\n\nthree"_s;
        QTest::newRow("carriage returns")
            << u"a"_s << u"one\r\ntwo\rthree"_s << u"one\ntwo\nthree"_s;
        QTest::newRow("no-break spaces kept") << u"a"_s << u"50\u00a0km"_s << u"50\u00a0km"_s;
    }
    void modelChangesReplaceTheText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, set);
        QFETCH(QString, shown);
        QTest::keyClicks(m_editor.get(), typed);
        m_edits->clear();
        m_model->setSourceText(set);
        QCOMPARE(m_editor->text(), shown);
        QCOMPARE(m_editor->toPlainText().size(), shown.size());
        // The model's own changes are not offered back to it.
        QCoreApplication::processEvents();
        QCOMPARE(m_edits->size(), 0);
    }

    void equalTextKeepsCaretAndSelection_data()
    {
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("position");
        QTest::newRow("caret") << 3 << 3;
        QTest::newRow("selection made backwards") << 9 << 4;
    }
    void equalTextKeepsCaretAndSelection()
    {
        QFETCH(int, anchor);
        QFETCH(int, position);
        m_model->setSourceText("Hello world");
        select(*m_editor, position, anchor);
        m_editor->setText("Hello world");
        m_editor->setText(m_model->sourceText());
        QCOMPARE(m_editor->textCursor().anchor(), anchor);
        QCOMPARE(m_editor->textCursor().position(), position);
    }

    void refusedEditDisappears_data()
    {
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("how");
        QTest::newRow("typed in the middle") << 2500 << u"key"_s;
        QTest::newRow("committed by an input method") << 10 << u"commit"_s;
        QTest::newRow("pasted") << 4000 << u"paste"_s;
    }
    void refusedEditDisappears()
    {
        QFETCH(int, caret);
        QFETCH(QString, how);
        const QString full(TranslatorViewModel::maxSourceLength, QLatin1Char('a'));
        m_model->setSourceText(full);
        select(*m_editor, caret);
        m_edits->clear();

        if (how == "key") {
            QTest::keyClick(m_editor.get(), Qt::Key_B);
        } else if (how == "commit") {
            commit(m_editor.get(), QStringLiteral("ü"));
        } else {
            paste(m_editor.get(), plainData("more text"));
        }
        QCOMPARE(m_edits->size(), 1);
        QCOMPARE(m_model->sourceText(), full);
        QCOMPARE(m_model->errorMessage(), TranslatorViewModel::textTooLongMessage);
        QCOMPARE(m_editor->text(), full);
        QCOMPARE(m_editor->textCursor().position(), caret);

        QCoreApplication::processEvents();
        QCOMPARE(m_edits->size(), 1);
        QCOMPARE(m_editor->text(), full);
    }

    // Undo after a refused keystroke goes on backwards; it must not bring the refused text
    // back, to be refused again, at every press.
    void undoAfterRefusalGoesBack()
    {
        m_model->setSourceText(QString(TranslatorViewModel::maxSourceLength - 2, 'a'));
        m_editor->moveCursor(QTextCursor::End);
        QTest::keyClicks(m_editor.get(), "bcd");
        const QString kept = QString(TranslatorViewModel::maxSourceLength - 2, 'a') + "bc";
        QCOMPARE(m_editor->text(), kept);
        QCOMPARE(m_model->sourceText(), kept);

        m_editor->undo();
        QVERIFY(m_editor->text().size() < kept.size());
        QCOMPARE(m_model->sourceText(), m_editor->text());
        m_editor->undo();
        QVERIFY(m_editor->text().size() < kept.size());
        QCOMPARE(m_model->sourceText(), m_editor->text());
    }

    void direction_data()
    {
        QTest::addColumn<bool>("rightToLeft");
        QTest::addColumn<Qt::LayoutDirection>("surroundings");
        QTest::newRow("right to left") << true << Qt::LeftToRight;
        QTest::newRow("left to right in a right-to-left application") << false << Qt::RightToLeft;
    }
    void direction()
    {
        QFETCH(bool, rightToLeft);
        QFETCH(Qt::LayoutDirection, surroundings);
        QApplication::setLayoutDirection(surroundings);
        QWidget parent;
        parent.setLayoutDirection(surroundings);
        parent.resize(420, 120);
        NoScrollTextEditor editor(&parent);
        editor.setFont(editorFont());
        editor.resize(420, 120);
        editor.setText(QStringLiteral("Hello world"));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));

        // A fresh editor is left to right on its own account, not by inheritance.
        QCOMPARE(editor.layoutDirection(), Qt::LeftToRight);
        QVERIFY(editor.testAttribute(Qt::WA_SetLayoutDirection));

        // Both ways, twice over: each update sets everything again.
        for (bool wanted : {rightToLeft, !rightToLeft, rightToLeft}) {
            editor.setRightToLeft(wanted);
            QCOMPARE(editor.isRightToLeft(), wanted);
            QCOMPARE(editor.layoutDirection(), wanted ? Qt::RightToLeft : Qt::LeftToRight);
            QVERIFY(editor.testAttribute(Qt::WA_SetLayoutDirection));
            const QTextOption option = editor.document()->defaultTextOption();
            QCOMPARE(option.textDirection(), wanted ? Qt::RightToLeft : Qt::LeftToRight);
            // Whatever the text, the line sits at the right edge or at the left one.
            const QTextBlock block = editor.document()->firstBlock();
            editor.document()->documentLayout()->blockBoundingRect(block);
            const QRectF line = block.layout()->lineAt(0).naturalTextRect();
            const qreal width = editor.viewport()->width();
            if (wanted) {
                QVERIFY2(line.right() > width - 1, qPrintable(QString::number(line.right())));
            } else {
                QVERIFY2(line.left() < 1, qPrintable(QString::number(line.left())));
            }
        }
    }

    void pastedRichTextArrivesPlain_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("plain"); // what the source offers as plain text, if any
        QTest::addColumn<QString>("expected");
        QTest::newRow("html and text, as browsers copy")
            << u"<b style='font-size:40px'>Hello</b> <i>world</i>"_s << u"Hello world"_s
            << u"Hello world"_s;
        QTest::newRow("html alone") << u"<h1>Title</h1><p><b>Bold</b> and <u>under</u></p>"_s
                                    << u""_s << u"Title\nBold and under"_s;
        QTest::newRow("text with carriage returns") << u""_s << u"one\r\ntwo"_s << u"one\ntwo"_s;
    }
    void pastedRichTextArrivesPlain()
    {
        QFETCH(QString, html);
        QFETCH(QString, plain);
        QFETCH(QString, expected);
        auto data = std::make_unique<QMimeData>();
        if (!html.isEmpty()) {
            data->setHtml(html);
        }
        if (!plain.isEmpty()) {
            data->setText(plain);
        }
        paste(m_editor.get(), std::move(data));
        QCOMPARE(m_editor->text(), expected);
        QCOMPARE(m_model->sourceText(), expected);
        QCOMPARE(m_edits->size(), 1);
        QCOMPARE(m_editor->textCursor().position(), expected.size());
        for (QTextBlock block = m_editor->document()->begin(); block.isValid();
             block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                QVERIFY(!format.hasProperty(QTextFormat::FontWeight));
                QVERIFY(!format.hasProperty(QTextFormat::FontPixelSize));
                QVERIFY(!format.hasProperty(QTextFormat::ForegroundBrush));
                QVERIFY(!format.hasProperty(QTextFormat::FontItalic));
            }
        }
    }

    void copyCarriesPlainTextOnly()
    {
        m_model->setSourceText("one\ntwo\u00a0three");
        m_editor->selectAll();
        m_editor->copy();
        const QMimeData *copied = QApplication::clipboard()->mimeData();
        QCOMPARE(copied->formats(), QStringList{"text/plain"});
        QCOMPARE(copied->text(), "one\ntwo\u00a0three");
    }

    void compositionIsOfferedOnlyWhenCommitted()
    {
        QTest::keyClicks(m_editor.get(), "ab");
        m_edits->clear();
        compose(m_editor.get(), QStringLiteral("か"));
        compose(m_editor.get(), QStringLiteral("かな"));
        QCoreApplication::processEvents();
        QCOMPARE(m_edits->size(), 0);
        QCOMPARE(m_model->sourceText(), "ab");
        QCOMPARE(m_editor->text(), "ab");

        commit(m_editor.get(), QStringLiteral("仮名"));
        QCOMPARE(m_edits->size(), 1);
        QCOMPARE(m_edits->at(0).at(0).toString(), "ab仮名");
        QCOMPARE(m_model->sourceText(), "ab仮名");
        QCOMPARE(m_editor->textCursor().position(), 4);

        // A composition given up leaves nothing behind.
        compose(m_editor.get(), QStringLiteral("x"));
        compose(m_editor.get(), QString());
        QCoreApplication::processEvents();
        QCOMPARE(m_edits->size(), 1);
        QCOMPARE(m_editor->text(), "ab仮名");
    }

    void clustersAtTheCaret_data()
    {
        QTest::addColumn<QString>("inserted");
        QTest::newRow("emoji with skin tone") << QStringLiteral("👍🏽");
        QTest::newRow("combining acute") << QStringLiteral("e\u0301");
        QTest::newRow("family") << QStringLiteral("👨‍👩‍👧");
    }
    void clustersAtTheCaret()
    {
        QFETCH(QString, inserted);
        m_model->setSourceText("left right");
        select(*m_editor, 4);
        m_edits->clear();
        // Code point by code point, as an input method may send a cluster.
        for (qsizetype i = 0; i < inserted.size();) {
            const qsizetype length = inserted[i].isHighSurrogate() ? 2 : 1;
            commit(m_editor.get(), inserted.mid(i, length));
            i += length;
        }
        const QString expected = "left" + inserted + " right";
        QCOMPARE(m_editor->text(), expected);
        QCOMPARE(m_model->sourceText(), expected);
        QCOMPARE(m_editor->textCursor().position(), 4 + inserted.size());
        QCOMPARE(m_edits->last().at(0).toString(), expected);
    }

    void unbrokenLineNeverScrollsSideways_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("latin") << QString(5000, 'x');
        QString arabicRun;
        while (arabicRun.size() < 5000) {
            arabicRun += QStringLiteral("مرحبا");
        }
        QTest::newRow("arabic") << arabicRun.left(5000);
        QString mixed;
        while (mixed.size() < 5000) {
            mixed += QStringLiteral("abcمرحباdef123");
        }
        QTest::newRow("mixed directions") << mixed.left(5000);
    }
    void unbrokenLineNeverScrollsSideways()
    {
        QFETCH(QString, text);
        for (bool rightToLeft : {false, true}) {
            m_editor->setRightToLeft(rightToLeft);
            m_model->setSourceText(QString());
            paste(m_editor.get(), plainData(text));
            QCOMPARE(m_model->sourceText(), text);
            m_editor->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
            QCOMPARE(m_editor->horizontalScrollBar()->maximum(), 0);
            QVERIFY(m_editor->verticalScrollBar()->maximum() > 0);
            const qreal available = m_editor->viewport()->width();
            QTextLayout *layout = m_editor->document()->firstBlock().layout();
            QVERIFY(layout->lineCount() > 10);
            for (int i = 0; i < layout->lineCount(); ++i) {
                QVERIFY(layout->lineAt(i).naturalTextWidth() <= available + 0.5);
            }
            // Sideways wheel turns go nowhere.
            QWheelEvent wheel(QPointF(50, 50), m_editor->mapToGlobal(QPointF(50, 50)), {},
                              QPoint(-240, 0), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(m_editor->viewport(), &wheel);
            QCOMPARE(m_editor->horizontalScrollBar()->value(), 0);
        }
    }

    void scrollIndicatorShowsOnlyWhileScrolling()
    {
        m_editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
        auto *indicator = m_editor->findChild<OverlayScrollBar *>();
        QVERIFY(indicator);
        const auto indicatorVisible = [indicator] { return indicator->isVisible(); };
        QVERIFY(!indicatorVisible());
        QStringList lines;
        for (int i = 0; i < 60; ++i) {
            lines << QString("line %1").arg(i);
        }
        m_model->setSourceText(lines.join('\n'));
        m_editor->verticalScrollBar()->setValue(0);
        // No scroll bar takes room from the text, ever.
        QVERIFY(!m_editor->verticalScrollBar()->isVisible());
        QCOMPARE(m_editor->viewport()->width(),
                 m_editor->width() - 2 * NoScrollTextEditor::defaultHorizontalInset);

        QWheelEvent wheel(QPointF(50, 50), m_editor->mapToGlobal(QPointF(50, 50)), {},
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_editor->viewport(), &wheel);
        QVERIFY(m_editor->verticalScrollBar()->value() > 0);
        QVERIFY(indicatorVisible());
        QVERIFY(indicator->geometry().left() >=
                m_editor->width() - NoScrollTextEditor::defaultHorizontalInset);
        // And it goes once the scrolling stops.
        QTRY_VERIFY(!indicatorVisible());
    }

    // A megabyte pasted is refused by the model without the editor ever laying it out.
    void hugePasteIsRefusedCheaply()
    {
        m_model->setSourceText("short text");
        m_editor->moveCursor(QTextCursor::End);
        QString huge;
        huge.reserve(1 << 20);
        while (huge.size() < (1 << 20)) {
            huge += QStringLiteral("Lorem ipsum dolor sit amet, consectetur adipiscing elit.\n");
        }
        huge.truncate(1 << 20);
        int largestInsertion = 0;
        const QMetaObject::Connection watch = connect(
            m_editor->document(), &QTextDocument::contentsChange, this,
            [&](int, int, int added) { largestInsertion = std::max(largestInsertion, added); });
        paste(m_editor.get(), plainData(huge));
        disconnect(watch);

        QCOMPARE(m_editor->text(), "short text");
        QCOMPARE(m_model->sourceText(), "short text");
        QCOMPARE(m_model->errorMessage(), TranslatorViewModel::textTooLongMessage);
        QCOMPARE(m_edits->size(), 1);
        QCOMPARE(largestInsertion, 0);
    }

    void look()
    {
        // Over a window that paints nothing itself, so that all there is is the editor's.
        QWidget window;
        window.setAttribute(Qt::WA_TranslucentBackground);
        window.resize(420, 180);
        NoScrollTextEditor editor(&window);
        editor.setFont(editorFont());
        editor.setHorizontalInset(16);
        editor.resize(window.size());
        editor.setText("Hi");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(editor.viewport()->geometry(),
                 QRect(16, 8, editor.width() - 32, editor.height() - 16));

        // Nothing painted but the text: transparent away from it.
        const QImage image = window.grab().toImage();
        QCOMPARE(image.pixelColor(editor.width() - 5, editor.height() - 5).alpha(), 0);
        QCOMPARE(image.pixelColor(200, 100).alpha(), 0);
        QCOMPARE(image.pixelColor(2, 2).alpha(), 0);
        // The first line starts at the inset, with no padding of its own.
        const QRect first = editor.cursorRect(QTextCursor(editor.document()));
        QCOMPARE(editor.viewport()->mapTo(&editor, first.topLeft()), QPoint(16, 8));
        QRect inked;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y).alpha() > 0) {
                    inked |= QRect(x, y, 1, 1);
                }
            }
        }
        QVERIFY2(inked.left() >= 16 && inked.left() <= 19,
                 qPrintable(QString::number(inked.left())));
        QVERIFY2(inked.top() >= 8, qPrintable(QString::number(inked.top())));
    }

    void caretIsDrawnInTheAccentColour_data()
    {
        QTest::addColumn<AppTheme::Scheme>("scheme");
        QTest::addColumn<bool>("rightToLeft");
        QTest::newRow("light") << AppTheme::Scheme::light << false;
        QTest::newRow("dark") << AppTheme::Scheme::dark << false;
        QTest::newRow("right to left") << AppTheme::Scheme::light << true;
    }
    void caretIsDrawnInTheAccentColour()
    {
        QFETCH(AppTheme::Scheme, scheme);
        QFETCH(bool, rightToLeft);
        AppTheme::apply(scheme);
        m_editor->setRightToLeft(rightToLeft);
        m_model->setSourceText(rightToLeft ? arabic : QStringLiteral("Hello world"));
        m_editor->show();
        m_editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_editor.get()));
        m_editor->setFocus();
        for (int position : {5, 0, 11}) {
            select(*m_editor, position);
            const QRect caret = m_editor->cursorRect();
            const QImage image = m_editor->viewport()->grab().toImage();
            // The caret is two accent columns; nothing around it keeps the text colour of the
            // caret Qt draws first. (In text of both directions Qt marks the caret's direction
            // with a small arrow at its top, which the first rows skip.)
            const QColor text = m_editor->palette().text().color();
            for (int y = caret.top() + 5; y < caret.bottom() - 2; ++y) {
                int accent = 0;
                for (int x = caret.left() - 2; x <= caret.right() + 2; ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    QVERIFY2(pixel != text, qPrintable(QString("%1,%2").arg(x).arg(y)));
                    accent += isAccent(pixel) ? 1 : 0;
                }
                QVERIFY2(accent == 2, qPrintable(QString("position %1, row %2: %3 accent pixels")
                                                     .arg(position)
                                                     .arg(y)
                                                     .arg(accent)));
            }
        }
        AppTheme::apply(AppTheme::Scheme::light);
    }

    // Not a check: pictures to look at, under the build folder.
    void renderStates()
    {
        const QString folder = QCoreApplication::applicationDirPath() + "/editor-png";
        QVERIFY(QDir().mkpath(folder));
        for (AppTheme::Scheme scheme : {AppTheme::Scheme::light, AppTheme::Scheme::dark}) {
            AppTheme::apply(scheme);
            const QString schemeName = scheme == AppTheme::Scheme::dark ? "dark" : "light";
            const auto render = [&](const QString &name, const QString &text, bool rightToLeft,
                                    const std::function<void(NoScrollTextEditor &)> &prepare) {
                VisualEffectView backdrop;
                auto *layout = new QVBoxLayout(&backdrop);
                layout->setContentsMargins(0, 0, 0, 0);
                auto *editor = new NoScrollTextEditor(&backdrop);
                layout->addWidget(editor);
                editor->setFont(editorFont());
                editor->setRightToLeft(rightToLeft);
                editor->setPlaceholderText("Enter text");
                editor->setText(text);
                backdrop.resize(460, 170);
                backdrop.show();
                backdrop.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&backdrop));
                editor->setFocus();
                if (prepare) {
                    prepare(*editor);
                }
                const QString base = folder + "/" + name + "-" + schemeName;
                QVERIFY(backdrop.grab().save(base + ".png"));
                QImage large(backdrop.size() * 3, QImage::Format_ARGB32_Premultiplied);
                large.setDevicePixelRatio(3);
                large.fill(Qt::transparent);
                backdrop.render(&large);
                QVERIFY(large.save(base + "@3x.png"));
            };
            const auto caretAt = [](int position) {
                return [position](NoScrollTextEditor &editor) { select(editor, position); };
            };
            render("text-caret", "Hello world, how are you today?", false, caretAt(5));
            render("empty-placeholder", "", false, {});
            render("selection", "Hello world, how are you today?", false,
                   [](NoScrollTextEditor &editor) { select(editor, 11, 6); });
            render("rtl-arabic", arabic, true, caretAt(5));
            render("rtl-mixed", "مرحبا Quenzal 2024 بالعالم", true, caretAt(6));
            render("long-unbroken", QString(600, 'x'), false, caretAt(600));
            render("composing", "ab", false, [](NoScrollTextEditor &editor) {
                editor.moveCursor(QTextCursor::End);
                compose(&editor, QStringLiteral("かな"));
            });
            render("clusters", "e\u0301 a\u0308\u0323 👍🏽 🇩🇪", false, caretAt(3));
        }
        AppTheme::apply(AppTheme::Scheme::light);
    }

private:
    std::unique_ptr<TestTranslator> m_translator;
    TranslatorViewModel *m_model = nullptr;
    std::unique_ptr<NoScrollTextEditor> m_editor;
    std::unique_ptr<QSignalSpy> m_edits;
};

QTEST_MAIN(TestNoScrollTextEditor)
#include "tst_noscrolltexteditor.moc"
