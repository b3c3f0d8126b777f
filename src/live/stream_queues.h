#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "live/line_assembler.h"
#include "live/chunker.h"
#include "live/speech_detector.h"

namespace obs_sayline {

// Audio thread -> stream worker: 16-bit PCM pieces and pause marks, in order, in a ring of
// slots whose buffers are reserved up front and swapped with the worker's, so the audio thread
// never allocates. Past the hold limit (or with every slot taken) the oldest entries are
// dropped: while the connection is down the newest audio is the one worth sending.
class StreamOutbox {
public:
    static constexpr size_t kSlots = 160;
    // A 100 ms piece, and at stop a last 10 ms frame with it.
    static constexpr size_t kSlotBytes = (intakeSamples(100) + kDetectorFrameSamples) * 2;

    explicit StreamOutbox(size_t holdBytes);

    // Audio thread (the stop's leftover: control thread). False once finishing or closed.
    bool pushAudio(const SpeechChunk& chunk);
    bool pushPause();
    // Control thread: nothing more comes; the worker sends what is held and ends.
    void finish();

    enum class Entry { None, Audio, Pause };
    // Worker: the oldest entry. Audio is swapped into `pcm` (whose buffer, reserved at
    // kSlotBytes, goes back into the slot).
    Entry take(std::string& pcm, uint64_t& startMs);
    // Worker: refuses everything from now on (it ended) and forgets what is held.
    void close();

    bool finishing() const;
    bool holdsAny() const { return held_.load() > 0; }
    // Bytes of audio dropped since the last call.
    uint64_t takeDropped() { return dropped_.exchange(0); }

private:
    struct Slot {
        bool pause = false;
        uint64_t startMs = 0;
        std::string pcm;
    };
    Slot& nextSlotLocked(size_t bytes);

    mutable std::mutex mutex_;
    std::array<Slot, kSlots> slots_;
    size_t head_ = 0;
    size_t count_ = 0;
    size_t heldBytes_ = 0;
    const size_t holdBytes_;
    bool finishing_ = false;
    bool closed_ = false;
    std::atomic<size_t> held_{0};
    std::atomic<uint64_t> dropped_{0};
};

// Stream worker -> line worker: finished lines to filter, translate and deliver.
class LineQueue {
public:
    struct Item {
        LiveLine line;
        uint64_t shownAt = 0;  // the showing count when it finished (see StreamState)
    };

    void push(Item item);
    // No more lines: the worker ends once the queue is empty.
    void close();
    // Worker: waits up to `wait` for a line; nullopt on time-out or when closed and empty
    // (`ended` tells which).
    std::optional<Item> next(std::chrono::milliseconds wait, bool& ended);
    // Worker: the line taken last is delivered (or dropped).
    void done();
    bool busy() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    bool closed_ = false;
    bool working_ = false;
};

// What the recognition, its two workers and the audio thread share.
struct StreamState {
    explicit StreamState(size_t holdBytes) : outbox(holdBytes) {}

    StreamOutbox outbox;
    LineQueue lines;
    // Speech was sent whose words are not yet in a finished line.
    std::atomic<bool> speechOpen{false};
    // Lines shown as they are spoken, counted: a finished line that the filter drops takes
    // the line on screen down only while nothing newer has been shown.
    std::atomic<uint64_t> showing{0};
    std::atomic<bool> streaming{false};  // the stream worker runs
};

}  // namespace obs_sayline
