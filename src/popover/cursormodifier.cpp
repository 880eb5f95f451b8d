#include "cursormodifier.h"

#include <QEvent>
#include <QWidget>

CursorModifier::CursorModifier(QWidget *widget, Qt::CursorShape shape)
    : QObject(widget)
    , m_widget(widget)
    , m_shape(shape)
{
    widget->installEventFilter(this);
}

bool CursorModifier::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_widget) {
        switch (event->type()) {
        case QEvent::Enter:
            if (m_widget->isEnabled()) {
                apply();
            }
            break;
        case QEvent::Leave:
            restore();
            break;
        case QEvent::EnabledChange:
            // Entering a disabled widget applied nothing, so enabling it under the pointer
            // has to.
            if (!m_widget->isEnabled()) {
                restore();
            } else if (m_widget->underMouse()) {
                apply();
            }
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void CursorModifier::apply()
{
    // A second Enter without a Leave between must not take our own shape for the previous one.
    if (m_applied) {
        return;
    }
    m_hadOwnCursor = m_widget->testAttribute(Qt::WA_SetCursor);
    m_previous = m_widget->cursor();
    m_widget->setCursor(m_shape);
    m_applied = true;
}

void CursorModifier::restore()
{
    if (!m_applied) {
        return;
    }
    m_applied = false;
    if (m_hadOwnCursor) {
        m_widget->setCursor(m_previous);
    } else {
        m_widget->unsetCursor();
    }
}
