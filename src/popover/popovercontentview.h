#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class ActionIcon;
class Dictation;
class DictationBar;
class LanguagePillsView;
class NoScrollTextEditor;
class Preferences;
class QLabel;
class QStackedLayout;
class ResizeHandle;
class SettingsGearButton;
class SwapDivider;
class TranslateButton;
class TranslationArea;
class TranslatorViewModel;
class VisualEffectView;

// What the popover shows: the translator over the one view model of the program, or, when the
// shell asks through the notifier ("showSettings", "showReport", "showAbout") or the gear is
// pressed, one of the panels in its place. Created once at start and kept: hiding the popover
// or visiting a panel keeps the texts, the languages and the result.
//
// The translator, top to bottom: the language bar (source pills, target pills, gear, the logo
// faintly over the middle); the source editor and the translation side by side, the swap
// button on the line between them; the bottom bar with the source's and the translation's
// controls and the Translate button. The resize handle sits in the bottom-right corner while
// the translator shows.
class PopoverContentView : public QWidget
{
    Q_OBJECT

public:
    enum class Panel { none, settings, report, about };
    // Builds the widget of a panel; `close` takes the panel away again. Panels are built anew
    // at every opening and deleted on closing.
    using PanelFactory = std::function<QWidget *(Panel panel, std::function<void()> close)>;

    static constexpr int textSize = 17;
    static constexpr int resizeHandlePadding = 2;
    static constexpr int logoSize = 36;
    static constexpr qreal logoOpacity = 0.15;
    static inline const QString logoPath = QStringLiteral(":/artwork/parlora-logo.svg");

    // All three must outlive the view. Hiding the view cancels a dictation under way.
    PopoverContentView(TranslatorViewModel &viewModel, Preferences &preferences,
                       Dictation &dictation, QWidget *parent = nullptr);
    ~PopoverContentView() override;

    TranslatorViewModel &viewModel() const { return m_viewModel; }

    Panel panel() const { return m_panel; }
    void showPanel(Panel panel);
    // Without a factory a panel is an empty area with a title and a close control.
    void setPanelFactory(PanelFactory factory);
    QWidget *panelWidget() const { return m_panelWidget; }

    // The parts, for the shell and for tests.
    NoScrollTextEditor *editor() const { return m_editor; }
    QLabel *sourcePlaceholder() const { return m_sourcePlaceholder; }
    LanguagePillsView *sourcePills() const { return m_sourcePills; }
    LanguagePillsView *targetPills() const { return m_targetPills; }
    SettingsGearButton *gearButton() const { return m_gear; }
    SwapDivider *divider() const { return m_divider; }
    TranslationArea *translationArea() const { return m_translationArea; }
    TranslateButton *translateButton() const { return m_translateButton; }
    ActionIcon *copySourceButton() const { return m_copySource; }
    ActionIcon *microphoneButton() const { return m_microphone; }
    DictationBar *dictationBar() const { return m_dictationBar; }
    ActionIcon *clearButton() const { return m_clear; }
    ActionIcon *copyTranslationButton() const { return m_copyTranslation; }
    ActionIcon *speakButton() const { return m_speak; }
    ResizeHandle *resizeHandle() const { return m_resizeHandle; }
    QLabel *logo() const { return m_logo; }

signals:
    void panelChanged(PopoverContentView::Panel panel);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *makeLanguageBar();
    QWidget *makeTextRow();
    QWidget *makeBottomBar();
    QWidget *makeFallbackPanel(Panel panel, std::function<void()> close);
    void bindViewModel();
    void onNotification(const QString &name);
    void updateSourceSide();
    void updateTranslationArea();
    void updateTranslateButton();
    void updateSpeakButton();
    void updateMicrophone();
    void insertDictated(const QString &text);
    void placeLogo();
    void placeResizeHandle();
    void restyle();
    void translateIfEnabled();

    TranslatorViewModel &m_viewModel;
    Dictation &m_dictation;
    Preferences &m_preferences;
    PanelFactory m_panelFactory;
    Panel m_panel = Panel::none;
    QWidget *m_panelWidget = nullptr;

    QStackedLayout *m_pages = nullptr;
    VisualEffectView *m_translator = nullptr;
    QWidget *m_panelHost = nullptr;
    QWidget *m_languageBar = nullptr;
    QLabel *m_logo = nullptr;
    LanguagePillsView *m_sourcePills = nullptr;
    LanguagePillsView *m_targetPills = nullptr;
    SettingsGearButton *m_gear = nullptr;
    NoScrollTextEditor *m_editor = nullptr;
    QLabel *m_sourcePlaceholder = nullptr;
    SwapDivider *m_divider = nullptr;
    TranslationArea *m_translationArea = nullptr;
    QWidget *m_bottomBar = nullptr;
    TranslateButton *m_translateButton = nullptr;
    ActionIcon *m_copySource = nullptr;
    ActionIcon *m_microphone = nullptr;
    DictationBar *m_dictationBar = nullptr;
    ActionIcon *m_clear = nullptr;
    ActionIcon *m_copyTranslation = nullptr;
    ActionIcon *m_speak = nullptr;
    ResizeHandle *m_resizeHandle = nullptr;
};
