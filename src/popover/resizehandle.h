#pragma once

#include <QPointF>
#include <QSizeF>
#include <QWidget>

#include <optional>

class Preferences;

// The grip in the popover's bottom-right corner: a quarter-round stroke hugging the corner, with
// a 32 x 32 hit area around it. Dragging asks the shell for a new popover size through
// AppNotifier ("popoverResizeRequested" with "size", and "final" on release); the shell resizes
// and stores it. The drag is measured in screen coordinates, since the handle moves with the
// window it resizes.
class ResizeHandle : public QWidget
{
    Q_OBJECT

public:
    static constexpr int hitSize = 32;
    static constexpr int canvasSize = 18;

    // A drag starts from the size the preferences keep for it; `preferences` must outlive the
    // handle.
    explicit ResizeHandle(Preferences &preferences, QWidget *parent = nullptr);

    QSize sizeHint() const override { return {hitSize, hitSize}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void request(const QPointF &globalPosition, bool final);

    Preferences &m_preferences;
    std::optional<QPointF> m_pressPosition; // while a drag is under way
    QSizeF m_startSize;
};
