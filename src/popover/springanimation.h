#pragma once

#include <QAbstractAnimation>
#include <QRectF>

#include <array>

// Carries a rectangle to a target on a damped spring of unit mass, solved in closed form for
// each edge, so a frame costs the same however late it comes. Giving it a new target while it
// moves keeps the present position and velocity: the motion bends instead of restarting.
// Runs until every edge rests within a fraction of a point, then lands exactly on the target.
class SpringAnimation : public QAbstractAnimation
{
    Q_OBJECT

public:
    struct Parameters
    {
        double stiffness = 0;
        double damping = 0;

        // `response` is the period of the undamped oscillation in seconds; a damping fraction
        // of 1 is critical damping, below it the spring overshoots.
        static Parameters fromResponse(double response, double dampingFraction);
    };

    // Response 0.3 s, damping fraction 0.7.
    explicit SpringAnimation(QObject *parent = nullptr);
    SpringAnimation(Parameters parameters, QObject *parent = nullptr);

    Parameters parameters() const { return m_parameters; }
    QRectF value() const { return m_value; }
    QRectF target() const { return m_target; }
    // Leaves the present value, at rest when stopped, for `target`, and starts running.
    void setTarget(const QRectF &target);
    // Stops and puts the value on `value` at once.
    void setValue(const QRectF &value);

    int duration() const override { return -1; }

signals:
    void valueChanged(const QRectF &value);

protected:
    void updateCurrentTime(int msecs) override;

private:
    using Edges = std::array<double, 4>; // x, y, width, height

    struct Motion
    {
        double offset;   // from the target
        double velocity; // points per second
    };

    Motion solve(Motion start, double seconds) const;
    static Edges edges(const QRectF &rect);
    static QRectF rect(const Edges &edges);

    Parameters m_parameters;
    QRectF m_value;
    QRectF m_target;
    Edges m_velocity{};
    // The motion since the last change of target: its start time and state.
    int m_legStart = 0;
    Edges m_legOffset{};
    Edges m_legVelocity{};
};
