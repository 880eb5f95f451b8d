#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class TranslatorViewModel;

// What the popover shows: the translator over the one view model of the program, or, when the
// shell asks through the notifier ("showSettings", "showReport", "showAbout"), one of the
// panels in its place. Created once at start and kept: hiding the popover keeps its state.
class PopoverContentView : public QWidget
{
    Q_OBJECT

public:
    enum class Panel { none, settings, report, about };

    // Makes the program's view model.
    explicit PopoverContentView(QWidget *parent = nullptr);
    PopoverContentView(std::unique_ptr<TranslatorViewModel> viewModel, QWidget *parent = nullptr);
    ~PopoverContentView() override;

    TranslatorViewModel &viewModel() const { return *m_viewModel; }
    Panel panel() const { return m_panel; }
    void showPanel(Panel panel);

signals:
    void panelChanged(PopoverContentView::Panel panel);

private:
    void onNotification(const QString &name);
    void syncEditorFromModel();
    void updateTranslationArea();

    std::unique_ptr<TranslatorViewModel> m_viewModel;
    Panel m_panel = Panel::none;
    QStackedWidget *m_stack;
    QPlainTextEdit *m_editor;
    QLabel *m_translation;
    QLabel *m_panelTitle;
};
