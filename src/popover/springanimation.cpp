#include "springanimation.h"

#include <cmath>
#include <numbers>

namespace {

// Below these every edge is still, to the eye, at any scale factor in use.
constexpr double restingOffset = 0.01;  // points
constexpr double restingVelocity = 0.5; // points per second

bool isResting(const std::array<double, 4> &from, const std::array<double, 4> &to)
{
    for (size_t i = 0; i < from.size(); ++i) {
        if (std::abs(from[i] - to[i]) >= restingOffset) {
            return false;
        }
    }
    return true;
}

} // namespace

SpringAnimation::Parameters SpringAnimation::Parameters::fromResponse(double response,
                                                                      double dampingFraction)
{
    const double angularFrequency = 2 * std::numbers::pi / response;
    return {.stiffness = angularFrequency * angularFrequency,
            .damping = 4 * std::numbers::pi * dampingFraction / response};
}

SpringAnimation::SpringAnimation(QObject *parent)
    : SpringAnimation(Parameters::fromResponse(0.3, 0.7), parent)
{}

SpringAnimation::SpringAnimation(Parameters parameters, QObject *parent)
    : QAbstractAnimation(parent)
    , m_parameters(parameters)
{}

void SpringAnimation::setTarget(const QRectF &target)
{
    const Edges from = edges(m_value);
    const Edges to = edges(target);
    const bool moving = state() != Stopped;
    if (!moving && isResting(from, to)) {
        setValue(target); // too close to be worth a frame
        return;
    }
    m_target = target;
    m_legStart = moving ? currentTime() : 0;
    for (size_t i = 0; i < from.size(); ++i) {
        m_legOffset[i] = from[i] - to[i];
        m_legVelocity[i] = moving ? m_velocity[i] : 0;
    }
    if (!moving) {
        m_velocity = {};
        start();
    }
}

void SpringAnimation::setValue(const QRectF &value)
{
    stop();
    m_value = value;
    m_target = value;
    m_velocity = {};
    emit valueChanged(m_value);
}

void SpringAnimation::updateCurrentTime(int msecs)
{
    const double seconds = std::max(0, msecs - m_legStart) / 1000.0;
    const Edges target = edges(m_target);
    Edges value{};
    bool resting = true;
    for (size_t i = 0; i < value.size(); ++i) {
        const Motion motion = solve({m_legOffset[i], m_legVelocity[i]}, seconds);
        value[i] = target[i] + motion.offset;
        m_velocity[i] = motion.velocity;
        resting = resting && std::abs(motion.offset) < restingOffset &&
                  std::abs(motion.velocity) < restingVelocity;
    }
    if (resting) {
        m_value = m_target;
        m_velocity = {};
    } else {
        m_value = rect(value);
    }
    emit valueChanged(m_value);
    if (resting) {
        stop();
    }
}

SpringAnimation::Motion SpringAnimation::solve(Motion start, double t) const
{
    const double x0 = start.offset;
    const double v0 = start.velocity;
    const double omega = std::sqrt(m_parameters.stiffness);
    const double zeta = m_parameters.damping / (2 * omega);
    if (zeta < 1) {
        const double decay = zeta * omega;
        const double omegaD = omega * std::sqrt(1 - zeta * zeta);
        const double a = x0;
        const double b = (v0 + decay * x0) / omegaD;
        const double envelope = std::exp(-decay * t);
        const double c = std::cos(omegaD * t);
        const double s = std::sin(omegaD * t);
        return {envelope * (a * c + b * s),
                envelope * ((b * omegaD - decay * a) * c - (a * omegaD + decay * b) * s)};
    }
    if (zeta == 1) {
        const double b = v0 + omega * x0;
        const double envelope = std::exp(-omega * t);
        return {envelope * (x0 + b * t), envelope * (b - omega * (x0 + b * t))};
    }
    const double root = omega * std::sqrt(zeta * zeta - 1);
    const double r1 = -zeta * omega + root;
    const double r2 = -zeta * omega - root;
    const double c2 = (v0 - r1 * x0) / (r2 - r1);
    const double c1 = x0 - c2;
    const double e1 = std::exp(r1 * t);
    const double e2 = std::exp(r2 * t);
    return {c1 * e1 + c2 * e2, r1 * c1 * e1 + r2 * c2 * e2};
}

SpringAnimation::Edges SpringAnimation::edges(const QRectF &rect)
{
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

QRectF SpringAnimation::rect(const Edges &edges)
{
    return {edges[0], edges[1], edges[2], edges[3]};
}
