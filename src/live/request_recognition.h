#pragma once

#include <memory>

#include "live/recognition.h"
#include "live/recognition_setup.h"
#include "live/source_shared.h"
#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

// Request/response recognition: one worker per capture, fed through a small queue, sends each
// chunk to the engine and waits for the answer. The worker holds everything it uses by shared
// ownership, so it may finish after the source is gone (its result is then dropped).
class RequestRecognition final : public IRecognition {
public:
    // Chunks that may wait while one is recognised; the chunker decides what to do when full.
    static constexpr size_t kQueueSlots = 4;

    RequestRecognition(std::shared_ptr<const RecognitionSetup> setup,
                       std::shared_ptr<SourceShared> shared, std::shared_ptr<SubtitleSinks> sinks);
    ~RequestRecognition() override;
    RequestRecognition(const RequestRecognition&) = delete;
    RequestRecognition& operator=(const RequestRecognition&) = delete;

    bool start() override;
    bool idle() const override;
    bool offer(SpeechChunk& chunk) override;
    void finish(SpeechChunk leftover) override;
    bool busy() const override;
    bool waitIdle(std::chrono::milliseconds timeout) const override;

    struct Inbox;

private:
    std::shared_ptr<const RecognitionSetup> setup_;
    std::shared_ptr<SourceShared> shared_;
    std::shared_ptr<SubtitleSinks> sinks_;
    std::shared_ptr<Inbox> inbox_;
};

// One chunk on the calling worker: the loudness gate (for chunks that ask for it), the engine,
// then what becomes of its text. The source's audio position advances by the chunk's length
// either way. Serialised per source; the network call happens outside every other lock.
// `chunk.samples` keeps its capacity.
void recognizeChunk(SourceShared& shared, const RecognitionSetup& setup,
                    const SubtitleSinks& sinks, SpeechChunk& chunk);

}  // namespace obs_sayline
