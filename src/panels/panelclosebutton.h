#pragma once

#include <QAbstractButton>

// The close control in a panel's header: a filled circle with a cross cut out of it, in the
// tertiary label colour, with no button chrome. Drawn at the size of the title beside it.
class PanelCloseButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit PanelCloseButton(int glyphSize, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_glyphSize;
};
