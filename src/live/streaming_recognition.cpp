#include "live/streaming_recognition.h"

#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "core/cancel_token.h"
#include "core/logger.h"
#include "core/worker_registry.h"
#include "live/recognised_text.h"
#include "live/deepgram_stream.h"
#include "live/stream_queues.h"

namespace obs_sayline {

namespace {

constexpr std::chrono::milliseconds kIdleCheck{100};

// Filter, translation and delivery of finished lines, one at a time, in order.
void runLines(StreamState& state, const RecognitionSetup& setup, SourceShared& shared,
              const SubtitleSinks& sinks) {
    for (;;) {
        if (currentWorkCancelled()) return;  // unloading: what is queued is not translated
        bool ended = false;
        std::optional<LineQueue::Item> item = state.lines.next(kIdleCheck, ended);
        if (ended) return;
        if (!item) continue;
        try {
            SttResult result;
            result.text = std::move(item->line.text);
            result.confidence = item->line.confidence;
            result.language = setup.sourceLanguage;
            std::lock_guard<std::mutex> serial(shared.recognitionMutex);
            const bool delivered = finishRecognised(shared, setup, sinks, result,
                                                    item->line.startMs, item->line.endMs);
            // A line the filter dropped leaves the screen, unless a newer one shows by now.
            if (!delivered && !shared.orphaned.load() && state.showing.load() == item->shownAt) {
                FinishedSubtitle withdrawn;
                withdrawn.interim = true;
                sinks.deliver(withdrawn);
            }
        } catch (const std::exception& e) {
            logErrorTag("STT-Thread", "Exception while finishing a line: %s", e.what());
        } catch (...) {
            logErrorTag("STT-Thread", "Unknown exception while finishing a line");
        }
        state.lines.done();
    }
}

}  // namespace

StreamingRecognition::StreamingRecognition(std::shared_ptr<const RecognitionSetup> setup,
                                           std::shared_ptr<SourceShared> shared,
                                           std::shared_ptr<SubtitleSinks> sinks,
                                           StreamingSetup streaming)
    : setup_(std::move(setup)),
      shared_(std::move(shared)),
      sinks_(std::move(sinks)),
      streaming_(std::make_shared<const StreamingSetup>(std::move(streaming))),
      state_(std::make_shared<StreamState>(
          static_cast<size_t>(std::max<int64_t>(0, streaming_->holdLimit.count())) * 32)) {}

StreamingRecognition::~StreamingRecognition() {
    // Workers still running close the stream on their own.
    state_->outbox.finish();
}

bool StreamingRecognition::start() {
    StreamState& state = *state_;
    if (state.streaming.exchange(true)) return true;
    auto lines = WorkerRegistry::instance().start(
        "live lines", [state = state_, setup = setup_, shared = shared_, sinks = sinks_] {
            runLines(*state, *setup, *shared, *sinks);
        });
    if (!lines) {
        state.streaming.store(false);
        state.outbox.close();
        logErrorTag("STT-Thread", "The live line worker could not start: audio is ignored");
        return false;
    }
    auto stream = WorkerRegistry::instance().start(
        "deepgram stream", [state = state_, streaming = streaming_, setup = setup_,
                            shared = shared_, sinks = sinks_] {
            runDeepgramStream(*state, *streaming, *setup, *shared, *sinks);
        });
    if (!stream) {
        state.streaming.store(false);
        state.outbox.close();
        state.lines.close();
        logErrorTag("STT-Thread", "The live stream worker could not start: audio is ignored");
        return false;
    }
    return true;
}

bool StreamingRecognition::offer(SpeechChunk& chunk) {
    if (!state_->outbox.pushAudio(chunk)) return false;
    chunk.samples.clear();
    return true;
}

void StreamingRecognition::speechPaused() { state_->outbox.pushPause(); }

void StreamingRecognition::finish(SpeechChunk leftover) {
    if (!leftover.samples.empty()) state_->outbox.pushAudio(leftover);
    state_->outbox.finish();
}

bool StreamingRecognition::busy() const {
    const StreamState& state = *state_;
    return state.lines.busy() ||
           (state.streaming.load() && (state.speechOpen.load() || state.outbox.holdsAny()));
}

bool StreamingRecognition::waitIdle(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (busy()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace obs_sayline
