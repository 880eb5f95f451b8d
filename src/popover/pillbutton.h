#pragma once

#include "language.h"

#include <QAbstractButton>

// One language of a pills bar: its name, and on the source bar's "auto" pill a sparkle before
// it. The pill paints only its label; the blue capsule behind the selected one belongs to the
// bar, which slides it from pill to pill.
class PillButton : public QAbstractButton
{
    Q_OBJECT

public:
    PillButton(const Language &language, bool showsSparkle, QWidget *parent = nullptr);

    const Language &language() const { return m_language; }
    bool showsSparkle() const { return m_showsSparkle; }
    bool isSelected() const { return m_selected; }
    // The label turns white and semibold, which widens the pill.
    void setSelected(bool selected);
    bool isHovered() const { return m_hovered; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QFont labelFont() const;
    void setHovered(bool hovered);

    Language m_language;
    bool m_showsSparkle;
    bool m_selected = false;
    bool m_hovered = false;
};
