#pragma once

#include <QString>

#include <vector>

// The audio of a WAV file, as the speech recogniser takes it.
//
// Only 16 kHz mono 16-bit PCM is read; for anything else `problem` names what the file is
// ("... is 44100 Hz stereo 16-bit PCM WAV") and what is needed, and `samples` stays empty.
// A data chunk longer than the file (a recording cut short) yields the samples that are there.
struct WaveFile
{
    static WaveFile read16kMono(const QString &path);

    std::vector<float> samples; // in [-1, 1)
    QString problem;
};
