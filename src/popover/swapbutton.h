#pragma once

#include <QAbstractButton>

// The two opposite arrows between the language pills that exchange source and target. It sits
// on the pills' bar with no disc of its own; only the arrows brighten under the pointer.
class SwapButton : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int frameSize = 32;
    static constexpr int glyphSize = 13;

    explicit SwapButton(QWidget *parent = nullptr);

    bool isHovered() const { return m_hovered; }
    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_hovered = false;
};
