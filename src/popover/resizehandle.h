#pragma once

#include <QPointF>
#include <QSizeF>
#include <QWidget>

#include <optional>

class QSettings;

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
    static constexpr QSizeF defaultSize{780, 460};
    static constexpr QSizeF minimumSize{720, 380};
    static constexpr QSizeF maximumSize{1200, 900};

    // `settings` must outlive the handle.
    explicit ResizeHandle(QSettings &settings, QWidget *parent = nullptr);

    // Where a drag starts from: the stored "popoverSize" when it holds both a width and a
    // height as numbers, the default size otherwise.
    static QSizeF storedSize(const QSettings &settings);
    // Within the limits, each side capped at the maximum first, then raised to the minimum.
    static QSizeF clamped(QSizeF size);

    QSize sizeHint() const override { return {hitSize, hitSize}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void request(const QPointF &globalPosition, bool final);

    QSettings &m_settings;
    std::optional<QPointF> m_pressPosition; // while a drag is under way
    QSizeF m_startSize;
};
