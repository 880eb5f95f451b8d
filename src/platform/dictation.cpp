#include "dictation.h"

#include "unavailabledictation.h"

std::unique_ptr<Dictation> Dictation::create()
{
    // Linux has no system dictation service to hand the microphone to.
    return std::make_unique<UnavailableDictation>();
}
