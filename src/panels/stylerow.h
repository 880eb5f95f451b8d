#pragma once

#include "translationstyle.h"

#include <QAbstractButton>

// One translation style in the settings: its title over its description, and a check mark on
// the right when it is the style in use. The whole row is one flat button; a click is only
// reported (clicked()), the owner decides what it selects.
class StyleRow : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int horizontalPadding = 16;
    static constexpr int verticalPadding = 10;
    static constexpr int lineSpacing = 2;
    static constexpr int titleSize = 14;
    static constexpr int descriptionSize = 11;
    static constexpr int checkmarkSize = 12;
    static constexpr int checkmarkSpacing = 12;

    explicit StyleRow(TranslationStyle style, QWidget *parent = nullptr);

    TranslationStyle translationStyle() const { return m_style; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    // Where the check mark is drawn, selected or not.
    QRectF checkmarkRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont titleFont() const;
    QFont descriptionFont() const;

    TranslationStyle m_style;
    bool m_selected = false;
};
