#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "live/chunker.h"
#include "live/pause_chunker.h"
#include "live/recognition.h"
#include "live/recognition_setup.h"
#include "live/source_shared.h"
#include "live/streaming_recognition.h"
#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

// One capture's live path: the chunker the audio callback feeds, and the recognition it hands
// chunks to; finished subtitles go to the source's sinks. Built at capture start, stopped once.
class LivePath {
public:
    // The chunker is made for the recognition it feeds.
    using ChunkerMaker = std::function<std::unique_ptr<IChunker>(IChunkConsumer&)>;

    // `shared` (optional) is told how much audio has been taken in.
    LivePath(std::shared_ptr<IRecognition> recognition, ChunkerMaker makeChunker,
             std::shared_ptr<SourceShared> shared = nullptr);

    // Today's road: 3 s blocks, request/response recognition.
    static std::unique_ptr<LivePath> fixedBlocks(std::shared_ptr<const RecognitionSetup> setup,
                                                 std::shared_ptr<SourceShared> shared,
                                                 std::shared_ptr<SubtitleSinks> sinks);
    // Cut at pauses in speech, request/response recognition.
    static std::unique_ptr<LivePath> pauseCut(std::shared_ptr<const RecognitionSetup> setup,
                                              std::shared_ptr<SourceShared> shared,
                                              std::shared_ptr<SubtitleSinks> sinks,
                                              const PauseCutting& cutting);

    // Speech streamed while it is heard, to Deepgram's live recognition.
    static std::unique_ptr<LivePath> streamed(std::shared_ptr<const RecognitionSetup> setup,
                                              std::shared_ptr<SourceShared> shared,
                                              std::shared_ptr<SubtitleSinks> sinks,
                                              StreamingSetup streaming);

    // Starts the recognition worker; false when it could not (audio is then ignored).
    bool start();

    // Audio thread: never waits on recognition. `heardAt`: when the first of the samples was
    // heard, on the system clock (from the host's timestamp), if known.
    void feed(const float* samples, size_t count,
              std::optional<std::chrono::system_clock::time_point> heardAt = std::nullopt);

    // After the audio is disconnected: what the chunker still holds goes to the recognition
    // as a last chunk, to be recognised on its worker, which then ends. Never waits. Returns
    // whether recognition was busy when the stop came.
    bool stop();

    IRecognition& recognition() { return *recognition_; }
    const IChunker& chunker() const { return *chunker_; }

private:
    std::shared_ptr<IRecognition> recognition_;
    std::unique_ptr<IChunker> chunker_;
    std::shared_ptr<SourceShared> shared_;
    bool started_ = false;
    bool stopped_ = false;
};

}  // namespace obs_sayline
