#pragma once

#include "dictation.h"

// Where there is no speech recognition at all: never available, never listening, and every
// start() fails at once.
class UnavailableDictation : public Dictation
{
    Q_OBJECT

public:
    explicit UnavailableDictation(QObject *parent = nullptr);

    bool isAvailable() const override;
    bool isListening() const override;
    void start() override;
    void stop() override;
};
