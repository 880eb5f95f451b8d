#pragma once

#include <QObject>
#include <QString>

// Speech to text for the source field: the user speaks, the words come back as text.
//
// start() begins listening; listeningChanged() reports when the microphone is actually open and
// when it closes again. Each stretch of recognised speech arrives as recognized(), to be
// inserted at the caret. failed() says why listening could not start or had to stop, possibly
// before start() returns. A service that is not available refuses every start() that way, and
// the microphone control is to be shown disabled rather than pretend to listen.
class Dictation : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    virtual bool isListening() const = 0;

    virtual void start() = 0;
    // Closes the microphone; what was heard so far still arrives.
    virtual void stop() = 0;

signals:
    void availableChanged(bool available);
    void listeningChanged(bool listening);
    void recognized(const QString &text);
    void failed(const QString &reason);
};
