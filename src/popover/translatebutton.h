#pragma once

#include "capsuleshadow.h"

#include <QAbstractButton>

// The popover's main button: "Translate" in white on a blue capsule lit from the top left, with
// the key combination that presses it on a small badge beside the word, and a soft blue shadow
// below. The shadow reaches outside the button, so the widget the button sits on draws it
// (paintShadow) before the button draws itself.
class TranslateButton : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int height = 34;
    static constexpr int leftPadding = 16;
    static constexpr int rightPadding = 12;
    static constexpr int labelSpacing = 8;

    explicit TranslateButton(QWidget *parent = nullptr);

    // The combination shown on the badge, in the desktop's notation ("Ctrl+Return").
    static QKeySequence shortcutKeys();

    // Drawn at half strength, as while there is nothing to translate; independent of whether
    // the button is enabled.
    bool isDimmed() const { return m_dimmed; }
    void setDimmed(bool dimmed);

    // Draws the shadow under the button in its parent's coordinates; for the parent's paint.
    void paintShadow(QPainter &painter);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // The shadow moved or changed; the parent repaints that area.
    void shadowChanged(const QRect &area);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QFont titleFont() const;
    QFont badgeFont() const;
    QSizeF badgeSize() const;
    qreal opacity() const { return m_dimmed ? 0.5 : 1.0; }
    void announceShadow(const QRect &previousGeometry);

    bool m_dimmed = false;
    CapsuleShadow m_shadow;
};
