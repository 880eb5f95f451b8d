#pragma once

#include <QWidget>

#include <functional>
#include <memory>

// The popover around a panel: a new window of its default size over its backdrop for each
// panel, as the popover builds each anew. Counts the calls of the close function it hands out.
class PanelHost
{
public:
    std::function<void()> closer()
    {
        return [this] { ++closes; };
    }
    // Shows `panel` in place of the one before and returns it.
    template <typename Panel> Panel *show(Panel *panel)
    {
        place(panel);
        return panel;
    }
    // The window and its panel go, as when the popover closes the panel.
    void discard() { m_window.reset(); }
    QWidget *window() const { return m_window.get(); }

    int closes = 0;

private:
    void place(QWidget *panel);

    std::unique_ptr<QWidget> m_window;
};

// Holds a coroutine, `co_await qCoro(&gate, &Gate::opened)`, until the test opens the gate to
// let it succeed or fail; `passed` counts the coroutines that went on.
class Gate : public QObject
{
    Q_OBJECT

public:
    int passed = 0;

signals:
    void opened(bool succeeded);
};
