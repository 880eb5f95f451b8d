// The translator as a whole: the popover's parts bound to a real view model, DeepSeek replaced
// by a local server. Also leaves pictures of the popover in both schemes under the build
// folder (screenshots/), for a person to look at.
#include "actionicon.h"
#include "appnotifier.h"
#include "apptheme.h"
#include "languagepillsview.h"
#include "noscrolltexteditor.h"
#include "pillbutton.h"
#include "popovercontentview.h"
#include "resizehandle.h"
#include "settingsgearbutton.h"
#include "springanimation.h"
#include "testtranslator.h"
#include "translatebutton.h"
#include "translationarea.h"
#include "unavailabledictation.h"
#include "visualeffectview.h"

#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(TranslationArea::State)

namespace {

const QString arabic = QStringLiteral("مرحبا بالعالم، كيف حالك اليوم؟");

Language lang(const char *id)
{
    return *Language::find(Language::sourceLanguages(), QString::fromLatin1(id));
}

} // namespace

class TestPopoverContentView : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        AppTheme::apply(AppTheme::Scheme::light);
        m_view.reset();
        m_translator.reset();
        m_translator = std::make_unique<TestTranslator>();
        m_viewModel = m_translator->viewModel.get();
        m_server = &m_translator->server;
        m_speech = m_translator->speech;
        m_view = std::make_unique<PopoverContentView>(*m_viewModel, m_translator->preferences,
                                                      m_dictation);
        m_view->resize(780, 460);
    }

    void cleanup()
    {
        m_view.reset();
        AppTheme::apply(AppTheme::Scheme::light);
    }

    void typingAndOutsideChangesMeetInTheEditor()
    {
        m_view->show();
        NoScrollTextEditor *editor = m_view->editor();
        editor->setFocus();
        QSignalSpy changes(m_viewModel, &TranslatorViewModel::sourceTextChanged);
        QTest::keyClicks(editor, "Hi");
        QCOMPARE(m_viewModel->sourceText(), "Hi");
        QCOMPARE(changes.size(), 2); // once per key
        QCOMPARE(editor->textCursor().position(), 2);
        QVERIFY(!m_view->sourcePlaceholder()->isVisible());

        m_viewModel->setSourceText(QStringLiteral("Good morning"));
        QCOMPARE(editor->text(), "Good morning");

        // The 5001st character is refused and leaves the editor again.
        m_viewModel->setSourceText(QString(TranslatorViewModel::maxSourceLength, u'a'));
        editor->moveCursor(QTextCursor::End);
        QTest::keyClick(editor, Qt::Key_B);
        QCOMPARE(editor->text(), QString(TranslatorViewModel::maxSourceLength, u'a'));
        QCOMPARE(m_viewModel->errorMessage(), TranslatorViewModel::textTooLongMessage);

        m_view->clearButton()->click();
        QCOMPARE(editor->text(), QString());
        QVERIFY(m_view->sourcePlaceholder()->isVisible());
    }

    void rightToLeftFollowsTheLanguages()
    {
        m_viewModel->setTranslatedText(QStringLiteral("x"));
        for (const char *id : {"ar", "en", "ar", "de"}) {
            const bool rightToLeft = QByteArrayView(id) == "ar";
            m_viewModel->setSourceLanguage(lang(id));
            m_viewModel->setTargetLanguage(lang(id));
            QCOMPARE(m_view->editor()->isRightToLeft(), rightToLeft);
            QCOMPARE(m_view->sourcePlaceholder()->alignment() & Qt::AlignHorizontal_Mask,
                     Qt::AlignAbsolute | (rightToLeft ? Qt::AlignRight : Qt::AlignLeft));
            const auto *translation =
                m_view->translationArea()->findChild<QScrollArea *>()->widget();
            QCOMPARE(static_cast<const QLabel *>(translation)->alignment() &
                         Qt::AlignHorizontal_Mask,
                     Qt::AlignAbsolute | (rightToLeft ? Qt::AlignRight : Qt::AlignLeft));
        }
    }

    void translationAreaPrecedence_data()
    {
        QTest::addColumn<bool>("translating");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("translation");
        QTest::addColumn<TranslationArea::State>("state");
        QTest::addColumn<QString>("shown");
        using S = TranslationArea::State;
        QTest::newRow("nothing") << false << ""
                                 << "" << S::placeholder << "Translation";
        QTest::newRow("result") << false << ""
                                << "Hallo" << S::translation << "Hallo";
        QTest::newRow("error over a result") << false << "Boom"
                                             << "Hallo" << S::error << "Translation failed\nBoom";
        QTest::newRow("translating over all") << true << "Boom"
                                              << "Hallo" << S::translating << "Translating...";
    }
    void translationAreaPrecedence()
    {
        QFETCH(bool, translating);
        QFETCH(QString, error);
        QFETCH(QString, translation);
        QFETCH(TranslationArea::State, state);
        QFETCH(QString, shown);
        TranslationArea area;
        area.setContent({.isTranslating = translating,
                         .errorMessage = error,
                         .translatedText = translation,
                         .placeholder = "Translation"});
        QCOMPARE(area.state(), state);
        QCOMPARE(area.shownText(), shown);
    }

    // The column follows the view model through a whole translation and a failed one.
    void translationColumnFollowsTheModel()
    {
        m_server->enqueue({.body = TestHttpServer::completion("Guten Morgen"), .delay = 200ms});
        m_server->enqueue({.status = 500, .body = "{}"});
        TranslationArea *area = m_view->translationArea();
        QCOMPARE(area->state(), TranslationArea::State::placeholder);
        QCOMPARE(area->shownText(), m_viewModel->targetPlaceholder());

        m_viewModel->setSourceLanguage(lang("en"));
        m_viewModel->setTargetLanguage(lang("de"));
        m_viewModel->setSourceText(QStringLiteral("Good morning"));
        m_view->translateButton()->click();
        QCOMPARE(area->state(), TranslationArea::State::translating);
        QVERIFY(!m_view->translateButton()->isEnabled());
        QVERIFY(!m_view->translateButton()->isDimmed());
        QTRY_COMPARE(area->state(), TranslationArea::State::translation);
        QCOMPARE(area->shownText(), "Guten Morgen");

        m_viewModel->setSourceText(QStringLiteral("Good evening"));
        m_view->translateButton()->click();
        QTRY_COMPARE(area->state(), TranslationArea::State::error);
        QVERIFY(area->shownText().startsWith("Translation failed\n"));
    }

    void translateButton_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("dimmed");
        QTest::newRow("empty") << "" << false << true;
        QTest::newRow("spaces") << "   " << true << false;
        QTest::newRow("text") << "Hello" << true << false;
    }
    void translateButton()
    {
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(bool, dimmed);
        m_server->setDefaultReply({.body = TestHttpServer::completion("Hallo")});
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        m_viewModel->setSourceLanguage(lang("en"));
        m_viewModel->setTargetLanguage(lang("de"));
        m_viewModel->setSourceText(text);
        QCOMPARE(m_view->translateButton()->isEnabled(), enabled);
        QCOMPARE(m_view->translateButton()->isDimmed(), dimmed);

        // Ctrl+Return, typed in the editor, presses the button only when it is enabled.
        QSignalSpy presses(m_view->translateButton(), &QAbstractButton::clicked);
        m_view->editor()->setFocus();
        QTest::keyClick(m_view->editor(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(presses.size(), enabled ? 1 : 0);
        QCOMPARE(m_view->editor()->text(), text); // no line break went in
        QTRY_VERIFY(!m_viewModel->isTranslating());
    }

    void pillsSelectAndTheCapsuleSlides()
    {
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        LanguagePillsView *bar = m_view->targetPills();
        PillButton *other = nullptr;
        for (PillButton *pill : bar->pills()) {
            if (pill->language().id != m_viewModel->targetLanguage().id) {
                other = pill;
            }
        }
        QVERIFY(other);
        const QString id = other->language().id;
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(m_viewModel->targetLanguage().id, id);
        QCOMPARE(bar->selected().id, id);
        QCOMPARE(bar->capsuleAnimation()->state(), QAbstractAnimation::Running);
    }

    void panels_data()
    {
        using P = PopoverContentView::Panel;
        QTest::addColumn<QStringList>("names"); // "gear" presses the gear button
        QTest::addColumn<PopoverContentView::Panel>("panel");
        QTest::newRow("settings") << QStringList{"showSettings"} << P::settings;
        QTest::newRow("report") << QStringList{"showReport"} << P::report;
        QTest::newRow("about") << QStringList{"showAbout"} << P::about;
        QTest::newRow("gear") << QStringList{"gear"} << P::settings;
        QTest::newRow("about replaces settings") << QStringList{"gear", "showAbout"} << P::about;
        QTest::newRow("settings replaces report")
            << QStringList{"showReport", "showSettings"} << P::settings;
        QTest::newRow("unknown name") << QStringList{"showNothing"} << P::none;
    }
    void panels()
    {
        QFETCH(QStringList, names);
        QFETCH(PopoverContentView::Panel, panel);
        m_view->show();
        m_viewModel->setSourceText(QStringLiteral("Keep me"));
        m_viewModel->setTranslatedText(QStringLiteral("Behalte mich"));
        int built = 0;
        std::function<void()> close;
        QPointer<QLineEdit> field; // the panel's own editor takes the keyboard
        m_view->setPanelFactory([&](PopoverContentView::Panel, std::function<void()> closer) {
            ++built;
            close = std::move(closer);
            auto *panel = new QWidget;
            auto *layout = new QVBoxLayout(panel);
            layout->addWidget(new QPushButton("Close"));
            field = new QLineEdit;
            layout->addWidget(field);
            panel->setFocusProxy(field);
            return panel;
        });
        m_view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
        for (const QString &name : names) {
            if (name == "gear") {
                m_view->gearButton()->click();
            } else {
                AppNotifier::instance().post(name);
            }
        }
        QCOMPARE(m_view->panel(), panel);
        QCOMPARE(m_view->resizeHandle()->isVisible(), panel == PopoverContentView::Panel::none);
        if (panel == PopoverContentView::Panel::none) {
            return;
        }
        QCOMPARE(built, names.size());
        QVERIFY(m_view->panelWidget()->isVisible());
        QVERIFY(field->hasFocus());
        close();
        QCOMPARE(m_view->panel(), PopoverContentView::Panel::none);
        QVERIFY(m_view->resizeHandle()->isVisible());
        QVERIFY(m_view->editor()->isVisible());
        QCOMPARE(m_viewModel->sourceText(), "Keep me");
        QCOMPARE(m_viewModel->translatedText(), "Behalte mich");
        close(); // a second call of a closed panel's close changes nothing
        QCOMPARE(m_view->panel(), PopoverContentView::Panel::none);
    }

    void copyButtonsFillTheClipboard()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        m_viewModel->setSourceText(QStringLiteral("Hello"));
        m_viewModel->setTranslatedText(QStringLiteral("Hallo"));
        m_view->copySourceButton()->click();
        QCOMPARE(clipboard->text(), "Hello");
        m_view->copyTranslationButton()->click();
        QCOMPARE(clipboard->text(), "Hallo");
        m_viewModel->setTranslatedText(QString());
        m_view->copyTranslationButton()->click();
        QCOMPARE(clipboard->text(), QString());
    }

    void speakControlFollowsSpeech()
    {
        ActionIcon *speak = m_view->speakButton();
        QCOMPARE(speak->glyph(), "speak");
        QCOMPARE(speak->toolTip(), "Speak");
        m_viewModel->setTranslatedText(QStringLiteral("Hallo"));
        speak->click();
        QTRY_VERIFY(m_viewModel->isSpeaking());
        QCOMPARE(speak->glyph(), "stop");
        QCOMPARE(speak->toolTip(), "Stop speaking");
        m_speech->finishFromAnotherThread();
        QTRY_VERIFY(!m_viewModel->isSpeaking());
        QCOMPARE(speak->glyph(), "speak");
    }

    void microphoneSaysDictationIsUnavailable()
    {
        QVERIFY(!m_view->microphoneButton()->isEnabled());
        QCOMPARE(m_view->microphoneButton()->toolTip(), "Microphone (dictation is not available)");
    }

    void logoSitsFaintlyOverTheMiddleOfTheBar()
    {
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        QLabel *logo = m_view->logo();
        QVERIFY(logo->isVisible());
        QVERIFY(logo->testAttribute(Qt::WA_TransparentForMouseEvents));
        const QPoint centre = logo->mapTo(m_view.get(), logo->rect().center());
        QVERIFY(qAbs(centre.x() - m_view->width() / 2) <= 2);
        // Faint: no pixel of the mark is more than 15 % opaque.
        const QImage image = logo->pixmap().toImage();
        int strongest = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                strongest = std::max(strongest, image.pixelColor(x, y).alpha());
            }
        }
        QVERIFY(strongest > 0 && strongest <= 40);
    }

    void schemeChangeRecoloursTheTexts()
    {
        // Inside a window, as in the popover.
        QWidget window;
        m_view->setParent(&window);
        window.show();
        for (const auto scheme : {AppTheme::Scheme::dark, AppTheme::Scheme::light}) {
            AppTheme::apply(scheme);
            QColor placeholder = AppTheme::colors(scheme).placeholder;
            placeholder.setAlphaF(placeholder.alphaF() * 0.6f);
            QCOMPARE(m_view->sourcePlaceholder()->palette().color(QPalette::WindowText),
                     placeholder);
            for (QLabel *label : m_view->translationArea()->findChildren<QLabel *>()) {
                if (label->text() == "Translating...") {
                    QCOMPARE(label->palette().color(QPalette::WindowText),
                             AppTheme::colors(scheme).secondaryLabel);
                }
            }
        }
        m_view->setParent(nullptr);
    }

    // Not a check: pictures to look at.
    void renderStates()
    {
        const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
        QVERIFY(QDir().mkpath(folder));
        for (const auto scheme : {AppTheme::Scheme::light, AppTheme::Scheme::dark}) {
            AppTheme::apply(scheme);
            const QString suffix = scheme == AppTheme::Scheme::dark ? "-dark" : "-light";
            // As the popover window shows it: on the outer backdrop.
            VisualEffectView frame;
            frame.setCornerRadius(16);
            frame.resize(780, 460);
            m_view->setParent(&frame);
            m_view->setGeometry(frame.rect());
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            const auto save = [&](const QString &name) {
                QCoreApplication::processEvents();
                QVERIFY(frame.grab().save(folder + "/popover-" + name + suffix + ".png"));
            };
            m_viewModel->clear();
            m_viewModel->setSourceLanguage(lang("auto"));
            m_viewModel->setTargetLanguage(lang("en"));
            save("empty");

            m_server->enqueue({.body = TestHttpServer::completion("Guten Morgen"), .delay = 300ms});
            m_viewModel->setSourceLanguage(lang("en"));
            m_viewModel->setTargetLanguage(lang("de"));
            // Another text each time round, or the second would come from the cache.
            m_viewModel->setSourceText(suffix + QStringLiteral(": good morning, how are you?"));
            m_view->translateButton()->click();
            save("translating");
            QTRY_VERIFY(!m_viewModel->isTranslating());
            m_viewModel->clear();

            m_server->enqueue({.status = 503, .body = "{}"});
            m_viewModel->setSourceText(QStringLiteral("Good morning"));
            m_view->translateButton()->click();
            QTRY_VERIFY(!m_viewModel->errorMessage().isEmpty());
            save("error");

            m_viewModel->clear();
            m_viewModel->setSourceLanguage(lang("ar"));
            m_viewModel->setSourceText(arabic.repeated(12));
            m_viewModel->setTranslatedText(
                QStringLiteral("Hello world, how are you today? ").repeated(12));
            save("arabic");

            m_view->setParent(nullptr);
        }
    }

private:
    std::unique_ptr<TestTranslator> m_translator;
    TranslatorViewModel *m_viewModel = nullptr;
    TestHttpServer *m_server = nullptr;
    FakeSpeechEngine *m_speech = nullptr;
    UnavailableDictation m_dictation;
    std::unique_ptr<PopoverContentView> m_view;
};

QTEST_MAIN(TestPopoverContentView)
#include "tst_popovercontentview.moc"
