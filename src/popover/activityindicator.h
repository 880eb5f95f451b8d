#pragma once

#include <QBasicTimer>
#include <QWidget>

// A spinning wheel of spokes that says "working on it". It turns only while it is visible, so
// a hidden one costs no wake-ups.
class ActivityIndicator : public QWidget
{
    Q_OBJECT

public:
    static constexpr int spokes = 12;
    static constexpr int stepMilliseconds = 83; // once round a second

    explicit ActivityIndicator(int diameter, QWidget *parent = nullptr);

    bool isSpinning() const { return m_timer.isActive(); }
    QSize sizeHint() const override { return {m_diameter, m_diameter}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    int m_diameter;
    int m_step = 0;
    QBasicTimer m_timer;
};
