#pragma once

#include <QRegion>
#include <QWidget>
#include <QWindow>

// The popover's backdrop, laid behind its content: in a translucent window (one a compositor
// shows), the desktop behind the window, blurred where the desktop obliges, with the scheme's
// tint over it; in an opaque one, the scheme's window colour with the tint over that. Usable
// behind any content, as the parent of that content or a sibling below it; one nested in
// another lays its tint over the outer one's. The outermost one says where the blur belongs
// (blurRequested()); asking the desktop for it is the window's business.
class VisualEffectView : public QWidget
{
    Q_OBJECT

public:
    explicit VisualEffectView(QWidget *parent = nullptr);

    qreal cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(qreal radius);

    // Whether the desktop shows through: the window this backdrop is in is translucent, and
    // the backdrop is not opaque.
    bool showsDesktop() const;
    // Paints the window colour under the tint also in a translucent window (one translucent
    // only so that its corners are clear); backdrops nested in it do the same.
    void setOpaque(bool opaque);

signals:
    // The desktop behind `window` should be blurred within `region` (window coordinates).
    void blurRequested(QWindow *window, const QRegion &region);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QPainterPath shape() const;
    // The backdrop this one lies on, if any, in the same window.
    const VisualEffectView *enclosing() const;
    void requestBlur();

    qreal m_cornerRadius = 0;
    bool m_opaque = false;
};
