// Draws the popover in its states and its three panels, in both colour schemes, into the folder
// given (the current one by default), for a person to look at. Nothing here is checked.
#include "aboutview.h"
#include "apptheme.h"
#include "deployment.h"
#include "dictationsection.h"
#include "fakedictationbackend.h"
#include "fakeglobalshortcut.h"
#include "fakeloginitem.h"
#include "fakesecretstore.h"
#include "keychainhelper.h"
#include "popovercontentview.h"
#include "reportproblemview.h"
#include "settingsview.h"
#include "testtranslator.h"
#include "translatebutton.h"
#include "visualeffectview.h"

#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Panel = PopoverContentView::Panel;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);

    // The program's object graph over stand-ins, as the tests build it.
    TestTranslator translator;
    TranslatorViewModel &model = *translator.viewModel;
    FakeLoginItem loginItem;
    KeychainHelper keychain(Deployment::appId(), std::make_shared<FakeSecretStore>());
    FakeGlobalShortcut shortcut;
    FakeGlobalShortcut clipboardShortcut;
    TestDictation dictation(translator.preferences, model, translator.home.dataHome() + "/models",
                            translator.server.url("/models"), {"base"});

    // As the popover's window shows it: over the outer backdrop, with round corners.
    VisualEffectView frame;
    frame.setCornerRadius(16);
    frame.resize(780, 460);
    auto *popover =
        new PopoverContentView(model, translator.preferences, dictation.dictation, &frame);
    popover->setGeometry(frame.rect());
    popover->setPanelFactory([&](Panel panel, std::function<void()> close) -> QWidget * {
        switch (panel) {
        case Panel::settings:
            return new SettingsView(model, loginItem, &keychain, {&shortcut, &clipboardShortcut},
                                    translator.preferences, &dictation.dictation, close);
        case Panel::report:
            return new ReportProblemView([](QString) -> QCoro::Task<> { co_return; }, close);
        case Panel::about:
            return new AboutView(close);
        case Panel::none:
            break;
        }
        return nullptr;
    });
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame)) {
        qWarning("the popover was not shown");
    }

    const auto lang = [](const QString &id) {
        return *Language::find(Language::sourceLanguages(), id);
    };
    for (const auto scheme : {AppTheme::Scheme::light, AppTheme::Scheme::dark}) {
        AppTheme::apply(scheme);
        const QString look = scheme == AppTheme::Scheme::dark ? u"dark"_s : u"light"_s;
        const auto save = [&](const QString &name) {
            QCoreApplication::processEvents();
            const QString path = folder + '/' + name + '-' + look + ".png";
            if (!frame.grab().save(path)) {
                qWarning("could not write %s", qPrintable(path));
            }
        };
        popover->showPanel(Panel::none);
        model.clear();
        model.setSourceLanguage(lang("auto"));
        model.setTargetLanguage(lang("en"));
        save("popover-empty");

        model.setSourceLanguage(lang("en"));
        model.setTargetLanguage(lang("de"));
        // Other texts in each scheme, or the second scheme's would come from the cache.
        translator.server.enqueue(
            {.body = TestHttpServer::completion("Guten Morgen!"), .delay = 300ms});
        translator.server.enqueue({.status = 503, .body = "{}"});
        for (const QString &name : {u"translation"_s, u"error"_s}) {
            model.setSourceText("Good morning, " + look + ' ' + name + '!');
            popover->translateButton()->click();
            if (name == "translation") {
                save("popover-translating");
            }
            if (!QTest::qWaitFor([&] { return !model.isTranslating(); }, 10000)) {
                qWarning("no answer from the stand-in for DeepSeek");
            }
            save("popover-" + name);
        }

        model.clear();
        model.setSourceLanguage(lang("ar"));
        model.setSourceText(u"مرحبا بالعالم، كيف حالك اليوم؟ "_s.repeated(12));
        model.setTranslatedText(u"Hello world, how are you today? "_s.repeated(12));
        save("popover-arabic");

        // Dictation: listening, the words being recognised, nothing heard, the model offered
        // and on its way.
        model.clear();
        model.setSourceLanguage(lang("en"));
        model.setSourceText(u"Dictated so far"_s);
        Dictation &speech = dictation.dictation;
        speech.toggle();
        emit dictation.backend.recorder->level(0.6f);
        save("popover-listening");
        dictation.backend.text.clear();
        speech.toggle();
        save("popover-recognizing");
        (void)QTest::qWaitFor([&] { return speech.state() == Dictation::State::idle; }, 5000);
        save("popover-nothing-heard");
        speech.removeModel(u"base"_s);
        speech.toggle();
        save("popover-model-offered");
        translator.server.enqueue({.body = "base!", .stall = true});
        speech.downloadModel();
        save("popover-model-downloading");
        speech.cancelDownload();
        speech.dismiss();
        QFile(dictation.models.path(u"base"_s)).open(QIODevice::WriteOnly);
        dictation.backend.text = u"dictated words"_s;

        for (const auto &[panel, name] :
             {std::pair{Panel::settings, "settings"}, std::pair{Panel::report, "report"},
              std::pair{Panel::about, "about"}}) {
            popover->showPanel(panel);
            save(QString::fromLatin1(name));
            if (panel == Panel::settings) {
                // Further down: the speech models, one of them on its way.
                auto *settings = static_cast<SettingsView *>(popover->panelWidget());
                translator.server.enqueue({.body = "tiny!", .stall = true});
                speech.setModelName(u"tiny"_s);
                speech.downloadModel(u"tiny"_s);
                settings->scrollArea()->ensureWidgetVisible(settings->dictationSection());
                save(u"settings-dictation"_s);
                speech.cancelDownload(u"tiny"_s);
                speech.setModelName(u"base"_s);
            }
        }
    }
    return 0;
}
