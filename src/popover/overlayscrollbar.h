#pragma once

#include <QTimer>
#include <QWidget>

#include <chrono>
#include <optional>

class QScrollBar;

// A thin scroll indicator laid over the edge of a scroll area in place of its hidden vertical
// scroll bar, which stays the one that holds the range and the value. It shows while the
// content scrolls and a moment after, then hides, so it never takes room from the content nor
// rewraps it. Its knob can be dragged; a press beside the knob pages towards the press.
class OverlayScrollBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int thickness = 10;
    static constexpr int knobWidth = 6;
    static constexpr int minimumKnobLength = 24;
    static constexpr std::chrono::milliseconds linger{900};

    // `source` must outlive the bar.
    OverlayScrollBar(QScrollBar *source, QWidget *parent);

    // Shows the bar and restarts its time to hide; hides it when there is nothing to scroll.
    void flash();
    QRectF knobRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool hasRange() const;
    void hideUnlessHeld();

    QScrollBar *m_source;
    QTimer m_hideTimer;
    // While the knob is dragged: where the press was and the value then.
    std::optional<std::pair<qreal, int>> m_drag;
};
