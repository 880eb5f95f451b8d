#pragma once

#include <QWidget>

class QHBoxLayout;

// A row of small controls (ActionIcons, mostly) on a shared capsule with fully rounded ends,
// lit from the top left: a glassy fill and a thin edge that both fade towards the bottom right.
class CapsuleButtonGroup : public QWidget
{
    Q_OBJECT

public:
    static constexpr int spacing = 2;
    static constexpr int horizontalPadding = 4;
    static constexpr int verticalPadding = 3;

    explicit CapsuleButtonGroup(QWidget *parent = nullptr);

    // Appends `widget` to the row, centred vertically, and takes it as a child.
    void addWidget(QWidget *widget);
    int count() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHBoxLayout *m_layout;
};
