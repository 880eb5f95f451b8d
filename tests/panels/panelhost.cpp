#include "panelhost.h"

#include "visualeffectview.h"

#include <QTest>
#include <QVBoxLayout>

void PanelHost::place(QWidget *panel)
{
    m_window = std::make_unique<VisualEffectView>();
    (new QVBoxLayout(m_window.get()))->addWidget(panel);
    m_window->layout()->setContentsMargins(0, 0, 0, 0);
    m_window->resize(780, 460);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get())) {
        qWarning("the panel's window was not exposed");
    }
}
