#pragma once

#include <QObject>
#include <QString>

#include <vector>

// Records one utterance from the microphone, in memory only: nothing is written to disk or sent
// anywhere.
//
// start() opens the default input device; started() says it is open, level() follows the
// loudness (0 quiet .. 1 loud) a few times a second. The recording ends by itself once speech
// was heard and then about 2 s of silence followed, or at 30 s, and stop() ends it at once; each
// end delivers finished() with the whole recording as 16 kHz mono samples in [-1, 1]. cancel()
// ends it without finished(): what was recorded is discarded. failed() says why recording could
// not start or had to stop; it replaces finished(), possibly before start() returns, and the
// part recorded until then is discarded rather than passed off as a whole utterance.
class AudioRecorder : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        noDevice,      // there is no microphone
        busyOrRefused, // another program holds it, or the system refused access
        other,
    };
    Q_ENUM(Failure)

    using QObject::QObject;

    virtual bool isRecording() const = 0;

    // Does nothing while a recording runs.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void cancel() = 0;

signals:
    void started();
    void level(float loudness);
    void finished(const std::vector<float> &samples16kMono);
    void failed(const QString &reason, AudioRecorder::Failure kind);
};
