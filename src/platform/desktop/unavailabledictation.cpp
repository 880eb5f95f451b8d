#include "unavailabledictation.h"

UnavailableDictation::UnavailableDictation(QObject *parent)
    : Dictation(parent)
{}

bool UnavailableDictation::isAvailable() const
{
    return false;
}

bool UnavailableDictation::isListening() const
{
    return false;
}

void UnavailableDictation::start()
{
    emit failed(tr("Dictation is not available on this system."));
}

void UnavailableDictation::stop() {}
