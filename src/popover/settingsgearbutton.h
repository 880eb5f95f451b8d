#pragma once

#include <QAbstractButton>

// The gear that opens the settings: drawn like an ActionIcon, but it has no active look, as
// opening the settings is not something that goes on.
class SettingsGearButton : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int frameSize = 28;
    static constexpr int glyphSize = 14;

    explicit SettingsGearButton(QWidget *parent = nullptr);

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
