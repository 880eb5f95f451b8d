#pragma once

#include <QWidget>

// The line between two rows of a settings card, starting where the rows' text does.
class Divider : public QWidget
{
    Q_OBJECT

public:
    explicit Divider(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
