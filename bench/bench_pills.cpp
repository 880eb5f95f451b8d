// One frame of the language pills' capsule sliding from pill to pill: the spring advanced by a
// 60 Hz frame and the bar repainted into an image, as software rendering would do it. And the
// first press on "···": the list of every language is made then, filled and shown.
#include "languagemenu.h"
#include "languagepillsview.h"
#include "morelanguagesbutton.h"
#include "pillbutton.h"
#include "springanimation.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

QList<Language> languages(std::initializer_list<const char *> ids)
{
    QList<Language> result;
    for (const char *id : ids) {
        result.append(*Language::find(Language::sourceLanguages(), QString::fromLatin1(id)));
    }
    return result;
}

// The argument is the device pixel ratio: 1, and 2 for a HiDPI screen.
void pillsFrame(benchmark::State &state)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) {
        state.SkipWithError("painting widgets needs a QApplication");
        return;
    }
    LanguagePillsView bar(true);
    const QList<Language> pills = languages({"auto", "en", "ru"});
    bar.setLanguages(pills, languages({"de", "fr"}));
    bar.setSelected(pills[0]);
    bar.resize(bar.sizeHint());
    // The owner's answer, given while the click is announced, as the popover gives it.
    QObject::connect(&bar, &LanguagePillsView::languageChosen, &bar,
                     [&bar](const Language &language) { bar.setSelected(language); });
    QImage image(bar.size() * int(state.range(0)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(qreal(state.range(0)));

    // Back and forth between the first and the last pill, a new slide whenever one settles.
    int next = 2;
    int time = 0;
    const auto slide = [&] {
        bar.pills()[next]->click();
        bar.capsuleAnimation()->pause();
        next = 2 - next;
        time = 0;
    };
    slide();
    for (auto _ : state) {
        time += 16;
        bar.capsuleAnimation()->setCurrentTime(time);
        image.fill(Qt::transparent);
        bar.render(&image); // all of the bar, more than a frame's dirty area
        if (bar.capsuleAnimation()->state() == QAbstractAnimation::Stopped) {
            state.PauseTiming();
            slide();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(pillsFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void firstLanguageList(benchmark::State &state)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) {
        state.SkipWithError("showing widgets needs a QApplication");
        return;
    }
    for (auto _ : state) {
        MoreLanguagesButton button;
        button.setLanguages(Language::targetLanguages());
        button.click();
        QCoreApplication::processEvents(); // laid out and painted once
        state.PauseTiming();
        button.menu()->hide();
        state.ResumeTiming();
    }
}
BENCHMARK(firstLanguageList)->Unit(benchmark::kMillisecond);

} // namespace
