#include "plugin/frontend_events.h"

#include <obs-frontend-api.h>

#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "plugin/callback_guard.h"
#include "sinks/transcript/transcript_sink.h"
#include "sinks/youtube/youtube_caption_sink.h"

namespace obs_sayline {
namespace {

using Clock = TranscriptSink::Clock;

struct Recording {
    bool running = false;
    std::string path;
    SessionClock clock;
};

std::mutex mutex;
Recording recording;                                         // guarded by mutex
std::vector<std::weak_ptr<TranscriptSink>> sinks;            // guarded by mutex
bool streaming = false;                                      // guarded by mutex
std::vector<std::weak_ptr<YouTubeCaptionSink>> streamSinks;  // guarded by mutex

// Calls `call` on each sink still alive in `list`, forgetting those that are gone.
template <typename Sink, typename Call>
void forEachLocked(std::vector<std::weak_ptr<Sink>>& list, Call&& call) {
    for (auto it = list.begin(); it != list.end();) {
        if (auto sink = it->lock()) {
            call(*sink);
            ++it;
        } else {
            it = list.erase(it);
        }
    }
}

template <typename Call>
void forEachSinkLocked(Call&& call) {
    forEachLocked(sinks, std::forward<Call>(call));
}

// The host's UI registers the front end before it loads modules: where nothing answers for a
// main window, nothing will tell of streaming.
bool hasFrontEnd() { return obs_frontend_get_main_window() != nullptr; }

// The file the recording output writes ("path" of the host's file muxer; "url" of its
// FFmpeg output when that is a file); empty when it cannot be told.
std::string recordingFilePath() {
    std::string path;
    obs_output_t* output = obs_frontend_get_recording_output();
    if (!output) return path;
    if (obs_data_t* settings = obs_output_get_settings(output)) {
        const char* file = obs_data_get_string(settings, "path");
        if (file && *file) {
            path = file;
        } else {
            const char* url = obs_data_get_string(settings, "url");
            if (url && *url && std::string(url).find("://") == std::string::npos) path = url;
        }
        obs_data_release(settings);
    }
    obs_output_release(output);
    return path;
}

void onFrontendEvent(obs_frontend_event event) {
    const Clock::time_point now = Clock::now();
    switch (event) {
        case OBS_FRONTEND_EVENT_RECORDING_STARTED: {
            const std::string path = recordingFilePath();
            std::lock_guard<std::mutex> lock(mutex);
            recording = Recording{true, path, SessionClock(now)};
            forEachSinkLocked([&](TranscriptSink& sink) { sink.recordingStarted(path, now); });
            break;
        }
        case OBS_FRONTEND_EVENT_RECORDING_STOPPED: {
            std::lock_guard<std::mutex> lock(mutex);
            if (!recording.running) break;
            recording = Recording{};
            forEachSinkLocked([&](TranscriptSink& sink) { sink.recordingStopped(now); });
            break;
        }
        case OBS_FRONTEND_EVENT_RECORDING_PAUSED: {
            std::lock_guard<std::mutex> lock(mutex);
            if (!recording.running || recording.clock.paused()) break;
            recording.clock.pause(now);
            forEachSinkLocked([&](TranscriptSink& sink) { sink.recordingPaused(now); });
            break;
        }
        case OBS_FRONTEND_EVENT_RECORDING_UNPAUSED: {
            std::lock_guard<std::mutex> lock(mutex);
            if (!recording.clock.paused()) break;
            recording.clock.resume(now);
            forEachSinkLocked([&](TranscriptSink& sink) { sink.recordingUnpaused(now); });
            break;
        }
        case OBS_FRONTEND_EVENT_STREAMING_STARTED: {
            std::lock_guard<std::mutex> lock(mutex);
            streaming = true;
            forEachLocked(streamSinks, [](YouTubeCaptionSink& sink) { sink.streamingStarted(); });
            break;
        }
        case OBS_FRONTEND_EVENT_STREAMING_STOPPED: {
            std::lock_guard<std::mutex> lock(mutex);
            if (!streaming) break;
            streaming = false;
            forEachLocked(streamSinks, [](YouTubeCaptionSink& sink) { sink.streamingStopped(); });
            break;
        }
        default:
            break;
    }
}

void frontend_event(enum obs_frontend_event event, void*) {
    guardCallback("frontend_event", [&] { onFrontendEvent(event); });
}

}  // namespace

void installFrontendEvents() {
    {
        // A module loaded while a stream runs hears of its end only.
        std::lock_guard<std::mutex> lock(mutex);
        streaming = hasFrontEnd() && obs_frontend_streaming_active();
    }
    obs_frontend_add_event_callback(frontend_event, nullptr);
}

void removeFrontendEvents() { obs_frontend_remove_event_callback(frontend_event, nullptr); }

void followRecordings(const std::shared_ptr<TranscriptSink>& sink) {
    if (!sink) return;
    std::lock_guard<std::mutex> lock(mutex);
    forEachSinkLocked([](TranscriptSink&) {});  // forgets the sinks that are gone
    sinks.push_back(sink);
    if (!recording.running) return;
    sink->recordingStarted(recording.path, recording.clock);
}

void followStreaming(const std::shared_ptr<YouTubeCaptionSink>& sink) {
    if (!sink) return;
    if (!hasFrontEnd()) {
        sink->followSourceActivation(true);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    forEachLocked(streamSinks, [](YouTubeCaptionSink&) {});  // forgets the sinks that are gone
    streamSinks.push_back(sink);
    if (streaming) sink->streamingStarted();
}

}  // namespace obs_sayline
