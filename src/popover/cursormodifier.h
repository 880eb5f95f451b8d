#pragma once

#include <QCursor>
#include <QObject>
#include <QPointer>

class QWidget;

// Shows `shape` while the pointer is over `widget`, such as the pointing hand over a control
// that is pressed rather than typed into, and gives the widget back the cursor it had on
// leaving: its own if it had one, else none of its own, so it follows its parent again.
//
// Only while the widget is enabled: a disabled control does not invite a press.
// The modifier is a child of the widget and goes with it.
class CursorModifier : public QObject
{
    Q_OBJECT

public:
    CursorModifier(QWidget *widget, Qt::CursorShape shape);

    Qt::CursorShape shape() const { return m_shape; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();
    void restore();

    QPointer<QWidget> m_widget;
    Qt::CursorShape m_shape;
    bool m_applied = false;
    bool m_hadOwnCursor = false;
    QCursor m_previous;
};
