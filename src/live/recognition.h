#pragma once

#include <chrono>

#include "live/chunker.h"

namespace obs_sayline {

// How chunks are recognised and translated: takes chunks from the chunker (on the audio
// thread) and hands finished subtitles to the source's sinks (on its own worker).
class IRecognition : public IChunkConsumer {
public:
    // Starts the worker (control thread). False when it could not be started; chunks are then
    // refused.
    virtual bool start() = 0;
    // Capture stopped: `leftover` (which may be empty) is recognised after what is queued and
    // the worker then ends. Never waits on recognition.
    virtual void finish(SpeechChunk leftover) = 0;
    // A chunk is queued or being recognised.
    virtual bool busy() const = 0;
    // Waits until nothing is queued or being recognised; false on timeout.
    virtual bool waitIdle(std::chrono::milliseconds timeout) const = 0;
};

}  // namespace obs_sayline
