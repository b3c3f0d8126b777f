#include "sinks/transcript/transcript_sink.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>

#include "core/cancel_token.h"
#include "core/logger.h"
#include "core/worker_registry.h"
#include "sinks/transcript/transcript_writer.h"

namespace obs_sayline {
namespace {

// How often an idle writer looks at its token (unload) and at whether its files may close.
constexpr std::chrono::milliseconds kWriterCheck{100};

struct Session {
    TranscriptSession names;
    SessionClock clock;
    bool recording = false;
};

}  // namespace

struct TranscriptSink::State {
    std::mutex mutex;
    std::condition_variable wake;
    TranscriptOptions options;
    bool active = false;
    std::optional<Session> current;
    // The transcript that the last deactivation ended, open to late subtitles until
    // endedAt + kLateCueGrace.
    std::optional<Session> ended;
    Clock::time_point endedAt;
    uint64_t nextSessionId = 1;
    std::deque<TranscriptCue> queue;
    // Used only by the writer thread, of which there is one at a time (writerRunning); kept
    // here so that a transcript that failed stays stopped when a new writer starts.
    TranscriptWriter writer;
    bool writerRunning = false;
    bool gone = false;  // the sink was destroyed: finish what is queued and close
    std::atomic<uint64_t> cuesWritten{0};

    void startLocked(TranscriptSession names, SessionClock clock, bool recording) {
        names.id = nextSessionId++;
        names.startedAt = std::chrono::system_clock::now();
        current = Session{std::move(names), clock, recording};
        ended.reset();
    }
    void startActivationLocked(Clock::time_point at) {
        startLocked(TranscriptSession{}, SessionClock(at), false);
    }
    // Whether the writer's files still belong to a transcript that takes cues.
    bool keepsOpenLocked(const TranscriptWriter& writer, Clock::time_point now) const {
        if (gone || writer.options() != options) return false;
        if (current && current->names.id == writer.sessionId()) return true;
        return ended && ended->names.id == writer.sessionId() && now < endedAt + kLateCueGrace;
    }
};

namespace {

void runWriter(const std::shared_ptr<TranscriptSink::State>& state) {
    TranscriptWriter& writer = state->writer;
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        if (!state->queue.empty()) {
            TranscriptCue cue = std::move(state->queue.front());
            state->queue.pop_front();
            lock.unlock();
            if (writer.write(cue)) state->cuesWritten.fetch_add(1);
            lock.lock();
            continue;
        }
        if (writer.isOpen() && (currentWorkCancelled() ||
                                !state->keepsOpenLocked(writer, TranscriptSink::Clock::now()))) {
            lock.unlock();
            writer.close();
            lock.lock();
            continue;
        }
        if (!writer.isOpen()) break;
        state->wake.wait_for(lock, kWriterCheck);
    }
    // Leaving under the lock: a cue queued from now on starts a new writer.
    state->writerRunning = false;
}

}  // namespace

TranscriptSink::TranscriptSink() : state_(std::make_shared<State>()) {}

TranscriptSink::~TranscriptSink() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->gone = true;
    state_->wake.notify_all();
}

void TranscriptSink::deliverAt(const FinishedSubtitle& subtitle, Clock::time_point at) {
    if (subtitle.interim) return;  // only finished lines are written
    bool startWriter = false;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->options.format == TranscriptFormat::Off) return;
        const Session* session = nullptr;
        if (state_->current) {
            session = &*state_->current;
        } else if (state_->ended && at < state_->endedAt + kLateCueGrace) {
            session = &*state_->ended;
        }
        if (!session) return;  // not on air, not recording: no transcript
        if (session->clock.paused()) {
            logDebugTag("Transcript", "Recording paused - subtitle not written");
            return;
        }
        TranscriptCue cue;
        cue.session = session->names;
        cue.options = state_->options;
        const uint64_t heardMs =
            subtitle.endMs > subtitle.startMs ? subtitle.endMs - subtitle.startMs : 0;
        // A late subtitle never reached the screen: its cue goes where it was spoken.
        const Clock::time_point placed =
            subtitle.late ? at - std::chrono::milliseconds(subtitle.behindMs + heardMs) : at;
        cue.startMs = session->clock.elapsedMs(placed);
        const int64_t lengthMs =
            subtitle.displayMs > 0 ? subtitle.displayMs : static_cast<int64_t>(heardMs);
        cue.endMs = cue.startMs + lengthMs;
        cue.original = subtitle.original.empty() ? subtitle.text : subtitle.original;
        cue.translation = subtitle.translation;
        cue.language = subtitle.sourceLanguage;
        cue.speaker = subtitle.speaker;
        cue.speakerId = subtitle.speakerId;
        state_->queue.push_back(std::move(cue));
        startWriter = !state_->writerRunning;
        state_->writerRunning = true;
        state_->wake.notify_all();
    }
    if (!startWriter) return;
    auto token = WorkerRegistry::instance().start("transcript writer",
                                                  [state = state_] { runWriter(state); });
    if (!token) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->writerRunning = false;
    }
}

void TranscriptSink::sourceActivated() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->active = true;
    if (!state_->current) state_->startActivationLocked(Clock::now());
}

void TranscriptSink::sourceDeactivated() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->active = false;
    if (state_->current && !state_->current->recording) {
        state_->ended = std::move(state_->current);
        state_->endedAt = Clock::now();
        state_->current.reset();
        state_->wake.notify_all();
    }
}

void TranscriptSink::configure(const TranscriptOptions& options) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (options == state_->options) return;
    state_->options = options;
    state_->wake.notify_all();
}

void TranscriptSink::recordingStarted(const std::string& recordingPath, SessionClock clock) {
    TranscriptSession names;
    if (!recordingPath.empty()) {
        const std::filesystem::path path = std::filesystem::u8path(recordingPath);
        names.folder = path.parent_path().u8string();
        names.baseName = path.stem().u8string();
    }
    // Without a file name: a sayline- transcript in the videos folder.
    if (names.baseName.empty()) names.folder.clear();
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->startLocked(std::move(names), clock, true);
    state_->wake.notify_all();
}

void TranscriptSink::recordingStopped(Clock::time_point at) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->current || !state_->current->recording) return;
    state_->current.reset();
    if (state_->active) state_->startActivationLocked(at);
    state_->wake.notify_all();
}

void TranscriptSink::recordingPaused(Clock::time_point at) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->current && state_->current->recording) state_->current->clock.pause(at);
}

void TranscriptSink::recordingUnpaused(Clock::time_point at) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->current) state_->current->clock.resume(at);
}

uint64_t TranscriptSink::cuesWritten() const { return state_->cuesWritten.load(); }

}  // namespace obs_sayline
