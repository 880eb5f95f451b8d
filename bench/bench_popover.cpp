// The popover on the screen, painted by software as on a desktop without a GPU: a keystroke in
// the editor until the popover is repainted, and a repaint of the whole popover.
#include "benchtext.h"
#include "benchtranslator.h"
#include "fakedictationbackend.h"
#include "noscrolltexteditor.h"
#include "popovercontentview.h"
#include "visualeffectview.h"

#include <QApplication>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

namespace {

// The content view on the popover's outer backdrop, at the default size, on the screen.
struct ShownPopover
{
    BenchTranslator translator;
    TranslatorViewModel *viewModel = &translator.viewModel;
    TestDictation dictation{translator.preferences, *viewModel, translator.dir.path() + "/models"};
    VisualEffectView frame;
    PopoverContentView *view =
        new PopoverContentView(*viewModel, translator.preferences, dictation.dictation, &frame);

    ShownPopover()
    {
        frame.setCornerRadius(16);
        frame.resize(780, 460);
        view->setGeometry(frame.rect());
        frame.show();
        QApplication::processEvents();
    }
};

bool hasWidgets(benchmark::State &state)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) {
        state.SkipWithError("painting widgets needs a QApplication");
        return false;
    }
    return true;
}

void sendKey(QWidget *target, int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &release);
}

// A key typed at the end of a text of the given length, then taken back with Backspace, in
// turns: the view model takes each edit (detection included, the source being "auto") and the
// popover repaints what changed.
void keystrokeRepainted(benchmark::State &state)
{
    if (!hasWidgets(state)) {
        return;
    }
    ShownPopover popover;
    NoScrollTextEditor *editor = popover.view->editor();
    popover.viewModel->setSourceText(textOfLength(int(state.range(0)) - 1));
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QApplication::processEvents();
    bool typed = false;
    for (auto _ : state) {
        if (typed) {
            sendKey(editor, Qt::Key_Backspace, QString());
        } else {
            sendKey(editor, Qt::Key_A, QStringLiteral("a"));
        }
        typed = !typed;
        QApplication::processEvents(); // the repaint of the changed area
    }
    if (popover.viewModel->sourceText().size() < state.range(0) - 1) {
        state.SkipWithError("the keys did not reach the view model");
    }
}
BENCHMARK(keystrokeRepainted)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

// All of the popover painted at once, as when it opens: a translation shown, the pills and
// every control.
void fullRepaint(benchmark::State &state)
{
    if (!hasWidgets(state)) {
        return;
    }
    ShownPopover popover;
    popover.viewModel->setSourceText(textOfLength(600));
    popover.viewModel->setTranslatedText(textOfLength(600));
    QApplication::processEvents();
    for (auto _ : state) {
        popover.frame.repaint();
    }
}
BENCHMARK(fullRepaint)->Unit(benchmark::kMillisecond);

} // namespace
