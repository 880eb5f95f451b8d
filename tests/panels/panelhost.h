#pragma once

#include "visualeffectview.h"

#include <QTest>
#include <QVBoxLayout>

// The popover around a panel: a new window over its backdrop for each panel, as the popover
// builds each anew. Counts the calls of the close function it hands out.
class PanelHost
{
public:
    template <typename Panel> Panel *show(Panel *panel)
    {
        m_window = std::make_unique<VisualEffectView>();
        (new QVBoxLayout(m_window.get()))->addWidget(panel);
        m_window->resize(780, 460);
        m_window->show();
        Q_UNUSED(QTest::qWaitForWindowExposed(m_window.get()));
        return panel;
    }
    void discard() { m_window.reset(); }
    QWidget *window() const { return m_window.get(); }

    int closes = 0;
    const std::function<void()> closer = [this] { ++closes; };

private:
    std::unique_ptr<QWidget> m_window;
};

// Holds a coroutine, `co_await qCoro(&gate, &Gate::opened)`, until the test opens the gate.
class Gate : public QObject
{
    Q_OBJECT

public:
    int passed = 0; // coroutines that went on

signals:
    void opened(bool succeeded);
};
