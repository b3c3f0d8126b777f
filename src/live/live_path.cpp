#include "live/live_path.h"

#include <utility>

#include "live/fixed_chunker.h"
#include "live/pause_chunker.h"
#include "live/request_recognition.h"
#include "live/speech_streamer.h"

namespace obs_sayline {

LivePath::LivePath(std::shared_ptr<IRecognition> recognition, ChunkerMaker makeChunker,
                   std::shared_ptr<SourceShared> shared)
    : recognition_(std::move(recognition)),
      chunker_(makeChunker(*recognition_)),
      shared_(std::move(shared)) {}

std::unique_ptr<LivePath> LivePath::fixedBlocks(std::shared_ptr<const RecognitionSetup> setup,
                                                std::shared_ptr<SourceShared> shared,
                                                std::shared_ptr<SubtitleSinks> sinks) {
    auto recognition =
        std::make_shared<RequestRecognition>(std::move(setup), shared, std::move(sinks));
    return std::make_unique<LivePath>(
        std::move(recognition),
        [](IChunkConsumer& consumer) {
            return std::unique_ptr<IChunker>(new FixedChunker(consumer));
        },
        std::move(shared));
}

std::unique_ptr<LivePath> LivePath::pauseCut(std::shared_ptr<const RecognitionSetup> setup,
                                             std::shared_ptr<SourceShared> shared,
                                             std::shared_ptr<SubtitleSinks> sinks,
                                             const PauseCutting& cutting) {
    auto recognition =
        std::make_shared<RequestRecognition>(std::move(setup), shared, std::move(sinks));
    return std::make_unique<LivePath>(
        std::move(recognition),
        [cutting](IChunkConsumer& consumer) {
            return std::unique_ptr<IChunker>(new PauseChunker(consumer, cutting));
        },
        std::move(shared));
}

std::unique_ptr<LivePath> LivePath::streamed(std::shared_ptr<const RecognitionSetup> setup,
                                             std::shared_ptr<SourceShared> shared,
                                             std::shared_ptr<SubtitleSinks> sinks,
                                             StreamingSetup streaming) {
    const int pauseMs = streaming.pauseMs;
    auto recognition = std::make_shared<StreamingRecognition>(
        std::move(setup), shared, std::move(sinks), std::move(streaming));
    return std::make_unique<LivePath>(
        std::move(recognition),
        [pauseMs](IChunkConsumer& consumer) {
            return std::unique_ptr<IChunker>(new SpeechStreamer(consumer, pauseMs));
        },
        std::move(shared));
}

bool LivePath::start() {
    started_ = recognition_->start();
    return started_;
}

void LivePath::feed(const float* samples, size_t count,
                    std::optional<std::chrono::system_clock::time_point> heardAt) {
    if (!started_ || stopped_) return;
    // Counted before the chunker cuts: a chunk it hands on is heard to its end.
    if (shared_) {
        const uint64_t first = shared_->heardSamples.fetch_add(count, std::memory_order_relaxed);
        if (heardAt) shared_->audioClock.note(first, *heardAt);
    }
    chunker_->feed(samples, count);
}

bool LivePath::stop() {
    if (stopped_) return recognition_->busy();
    stopped_ = true;
    const bool wasBusy = recognition_->busy();
    recognition_->finish(chunker_->takeLeftover());
    return wasBusy;
}

}  // namespace obs_sayline
