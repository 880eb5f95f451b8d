#pragma once

#include <QAbstractButton>

// One speech model in the dictation settings: its name, its listed size on the right, and a
// check mark when it is the model dictation uses. Laid out as the style rows are, so that the
// settings' choices look alike. The whole row is one flat button; a click is only reported
// (clicked()), the owner decides what it chooses.
class ModelRow : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int verticalPadding = 12;
    static constexpr int sizeTextSize = 12;
    static constexpr int sizeSpacing = 12;

    ModelRow(const QString &name, qint64 size, QWidget *parent = nullptr);

    QString modelName() const { return m_name; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont nameFont() const;
    QFont sizeFont() const;
    QRectF checkmarkRect() const;

    QString m_name;
    QString m_size; // as shown
    bool m_selected = false;
};
