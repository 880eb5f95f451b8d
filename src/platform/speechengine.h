#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// A text-to-speech service: lists voices, speaks one utterance at a time, stops at once.
//
// Starting a real engine may take seconds (a speech server has to come up), so an engine
// begins in `starting` and reports `ready` or `unavailable` through stateChanged(); calls made
// before it is ready are the caller's to hold back. finished() and cancelled() report the end
// of an utterance, named by the number the caller gave it, and may be emitted from any thread:
// connect to them with a receiver that lives on the thread that should handle them. A report
// may arrive after the next utterance has begun; the number tells them apart.
class SpeechEngine : public QObject
{
    Q_OBJECT

public:
    enum class State { starting, ready, unavailable };
    enum class Quality { standard, enhanced, premium };

    struct Voice
    {
        QString id;       // the engine's own name for the voice
        QString language; // BCP 47, e.g. "en-US", "nb-NO", "zh"
        Quality quality = Quality::standard;

        friend bool operator==(const Voice &, const Voice &) = default;
    };

    using QObject::QObject;

    virtual State state() const = 0;
    // Every installed voice, in the engine's order; empty until the engine is ready.
    virtual QList<Voice> voices() const = 0;
    // The engine's own choice for a language code, if it has one.
    virtual std::optional<Voice> voiceForLanguage(const QString &language) const = 0;

    // Speaks `text`. `rate` is on a 0..1 scale where 0.5 is the engine's normal speed;
    // `pitch` is a multiplier where 1.0 is the voice's normal pitch. Without a voice the
    // engine's default voice speaks.
    virtual void speak(quint64 utterance, const QString &text, const std::optional<Voice> &voice,
                       double rate, double pitch) = 0;
    // Stops at once, mid-word if need be.
    virtual void stop() = 0;

signals:
    void stateChanged(SpeechEngine::State state);
    void finished(quint64 utterance);
    void cancelled(quint64 utterance);
};
