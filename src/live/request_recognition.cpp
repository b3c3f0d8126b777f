#include "live/request_recognition.h"

#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "core/cancel_token.h"
#include "core/logger.h"
#include "core/worker_registry.h"
#include "live/recognised_text.h"
#include "stt/stt_engine.h"

namespace obs_sayline {

// The hand-over between the audio thread and the worker: a ring of chunk slots under one
// mutex that the worker holds only to take a chunk. Vectors rotate between the chunker, the
// slots and the worker, so in steady state nobody allocates. When the ring is full, offer
// refuses and the chunker keeps (or trims) its own buffer.
struct RequestRecognition::Inbox {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    // One slot more than offer may fill: the stop's leftover always finds room.
    std::array<SpeechChunk, kQueueSlots + 1> slots;
    size_t head = 0;
    size_t count = 0;
    bool recognising = false;
    bool finishing = false;
    bool running = false;
    std::atomic<bool> busy{false};

    void pushLocked(SpeechChunk& chunk) {
        SpeechChunk& slot = slots[(head + count) % slots.size()];
        slot.samples.swap(chunk.samples);
        chunk.samples.clear();
        slot.startMs = chunk.startMs;
        slot.leadMs = chunk.leadMs;
        slot.cut = chunk.cut;
        slot.loudnessGate = chunk.loudnessGate;
        ++count;
        busy.store(true);
    }
    void takeLocked(SpeechChunk& into) {
        SpeechChunk& slot = slots[head];
        into.samples.swap(slot.samples);
        into.startMs = slot.startMs;
        into.leadMs = slot.leadMs;
        into.cut = slot.cut;
        into.loudnessGate = slot.loudnessGate;
        head = (head + 1) % slots.size();
        --count;
    }
};

namespace {

// Chunks quieter than this (root mean square of the samples) are not sent for recognition.
constexpr float kSilenceRmsThreshold = 0.003f;
// Only every 10th silent chunk is logged (the 1st, 11th, 21st, ...).
constexpr int kSilenceLogInterval = 10;

// Root mean square, accumulated in double precision.
float chunkRms(const std::vector<float>& samples) {
    if (samples.empty()) return 0.0f;
    double sum = 0.0;
    for (const float sample : samples) {
        const double s = sample;
        sum += s * s;
    }
    return static_cast<float>(std::sqrt(sum / static_cast<double>(samples.size())));
}

// Counts a skipped silent chunk (process-wide, never reset) and logs it at the set cadence.
void noteSilentChunk(float rms) {
    static std::atomic<int> silentChunks{0};
    const int count = silentChunks.fetch_add(1) + 1;
    if (count % kSilenceLogInterval == 1) {
        logInfoTag("VAD", "Silence (RMS=%.6f < %.6f), skipped %d buffers", static_cast<double>(rms),
                   static_cast<double>(kSilenceRmsThreshold), count);
    }
}

// How often an idle worker looks at its cancel token (unload).
constexpr std::chrono::milliseconds kIdleCheck{100};

void runWorker(const std::shared_ptr<RequestRecognition::Inbox>& inbox,
               const std::shared_ptr<const RecognitionSetup>& setup,
               const std::shared_ptr<SourceShared>& shared,
               const std::shared_ptr<SubtitleSinks>& sinks) {
    SpeechChunk work;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(inbox->mutex);
            inbox->changed.wait_for(lock, kIdleCheck, [&] {
                return inbox->count > 0 || inbox->finishing || currentWorkCancelled();
            });
            if (currentWorkCancelled()) {
                // Unloading: what is still queued is not sent.
                inbox->count = 0;
                break;
            }
            if (inbox->count == 0) {
                if (inbox->finishing) break;
                continue;
            }
            inbox->takeLocked(work);
            inbox->recognising = true;
        }
        try {
            recognizeChunk(*shared, *setup, *sinks, work);
        } catch (const std::exception& e) {
            logErrorTag("STT-Thread", "Exception while recognising a chunk: %s", e.what());
        } catch (...) {
            logErrorTag("STT-Thread", "Unknown exception while recognising a chunk");
        }
        work.samples.clear();
        {
            std::lock_guard<std::mutex> lock(inbox->mutex);
            inbox->recognising = false;
            inbox->busy.store(inbox->count > 0);
        }
        inbox->changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(inbox->mutex);
        inbox->running = false;
        inbox->recognising = false;
        inbox->busy.store(false);
    }
    inbox->changed.notify_all();
}

}  // namespace

void recognizeChunk(SourceShared& shared, const RecognitionSetup& setup, const SubtitleSinks& sinks,
                    SpeechChunk& chunk) {
    if (chunk.samples.empty() || !setup.engine) return;
    std::lock_guard<std::mutex> serial(shared.recognitionMutex);
    const uint64_t lengthMs = intakeMs(chunk.samples.size());
    if (chunk.loudnessGate) {
        const float rms = chunkRms(chunk.samples);
        if (rms < kSilenceRmsThreshold) {
            noteSilentChunk(rms);
            const uint64_t behindMs = behindIntakeMs(shared, chunk.startMs + lengthMs);
            if (behindMs > kLateResultMs) {
                shared.status.recognitionLate(behindMs, setup.capture);
            } else {
                shared.status.heardSilence(setup.capture);
            }
            shared.audioPositionMs.fetch_add(lengthMs);
            return;
        }
        logInfoTag("VAD", "Speech detected (RMS=%.6f, threshold=%.6f)", static_cast<double>(rms),
                   static_cast<double>(kSilenceRmsThreshold));
    }
    chunk.timestamp = shared.audioPositionMs.load();
    logDebug("Processing audio chunk: %.2f seconds, %zu samples",
             static_cast<double>(chunk.samples.size()) / kIntakeSampleRate, chunk.samples.size());
    {
        SourceStatus& status = shared.status;
        SourceStatus::Request request(status, setup.capture);
        auto recognised = watchServiceCall(status, setup.capture, setup.engine->getName(),
                                           [&] { return setup.engine->recognize(chunk); });
        if (recognised) {
            finishRecognised(shared, setup, sinks, recognised.value(), chunk.startMs,
                             chunk.startMs + lengthMs, chunk.leadMs);
        } else {
            logErrorTag("STT", "Recognition failed: %s", recognised.error().message.c_str());
        }
    }
    shared.audioPositionMs.fetch_add(lengthMs);
}

RequestRecognition::RequestRecognition(std::shared_ptr<const RecognitionSetup> setup,
                                       std::shared_ptr<SourceShared> shared,
                                       std::shared_ptr<SubtitleSinks> sinks)
    : setup_(std::move(setup)),
      shared_(std::move(shared)),
      sinks_(std::move(sinks)),
      inbox_(std::make_shared<Inbox>()) {}

RequestRecognition::~RequestRecognition() {
    // A worker still running finishes on its own; nothing more will be offered.
    std::lock_guard<std::mutex> lock(inbox_->mutex);
    inbox_->finishing = true;
    inbox_->changed.notify_all();
}

bool RequestRecognition::start() {
    {
        std::lock_guard<std::mutex> lock(inbox_->mutex);
        if (inbox_->running) return true;
        inbox_->running = true;
    }
    auto token = WorkerRegistry::instance().start(
        "recognition worker", [inbox = inbox_, setup = setup_, shared = shared_, sinks = sinks_] {
            runWorker(inbox, setup, shared, sinks);
        });
    if (!token) {
        std::lock_guard<std::mutex> lock(inbox_->mutex);
        inbox_->running = false;
        logErrorTag("STT-Thread", "The recognition worker could not start: audio is ignored");
        return false;
    }
    return true;
}

bool RequestRecognition::idle() const { return !inbox_->busy.load(); }

bool RequestRecognition::offer(SpeechChunk& chunk) {
    if (chunk.samples.empty()) return false;
    {
        std::lock_guard<std::mutex> lock(inbox_->mutex);
        if (!inbox_->running || inbox_->finishing || inbox_->count >= kQueueSlots) return false;
        inbox_->pushLocked(chunk);
    }
    inbox_->changed.notify_all();
    return true;
}

void RequestRecognition::finish(SpeechChunk leftover) {
    {
        std::lock_guard<std::mutex> lock(inbox_->mutex);
        if (inbox_->running && !inbox_->finishing && !leftover.samples.empty()) {
            inbox_->pushLocked(leftover);
        }
        inbox_->finishing = true;
    }
    inbox_->changed.notify_all();
}

bool RequestRecognition::busy() const { return inbox_->busy.load(); }

bool RequestRecognition::waitIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(inbox_->mutex);
    return inbox_->changed.wait_for(lock, timeout, [&] { return !inbox_->busy.load(); });
}

}  // namespace obs_sayline
