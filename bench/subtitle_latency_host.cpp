// Speech end -> subtitle drawn, in the headless host, for both ways of cutting the audio.
//
// One spoken sentence is played into the host's mix at ten phases (0 to 2.7 s after capture
// start, so every position against the 3 s blocks comes up). A loopback speech service answers
// each request after 0.3 s: with the subtitle once the requests so far hold the whole sentence,
// with nothing before that (so a first half never shows). The time is taken from the end of the
// sentence as played into the host to the first drawn frame (its video timestamp) with subtitle
// pixels; in brackets, when the request that completed the sentence reached the service, and
// how many requests held speech. Prints both modes side by side with their median and worst;
// asserts nothing.
//
// Run by scripts/latency.sh (needs a display: xvfb-run).

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>
#include <util/platform.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/audio_feed.h"
#include "plugin_host_support.h"
#include "stt/stt_wire.h"
#include "support/loopback_server.h"
#include "support/test_audio.h"

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kPhases = 10;
constexpr int kPhaseStepMs = 300;
constexpr int kAnswerMs = 300;
constexpr uint32_t kBoxRows = 160;  // the source's box at the top of the canvas

// 10 ms frames louder than -47 dBFS (the sentence's -50 dBFS edges, +3 dB from feed to tap).
size_t loudFrames(const std::vector<int16_t>& pcm) {
    size_t loud = 0;
    for (size_t f = 0; (f + 1) * 160 <= pcm.size(); ++f) {
        double power = 0;
        for (size_t i = f * 160; i < (f + 1) * 160; ++i) power += double(pcm[i]) * pcm[i];
        if (power / 160 > 32768.0 * 32768.0 * 2.0e-5) ++loud;
    }
    return loud;
}

struct FrameLog {
    std::mutex mutex;
    uint64_t firstDrawnAfter = 0;  // video timestamp of the first frame with text after `from`
    uint64_t from = UINT64_MAX;
};

void onFrame(void* param, struct video_data* frame) {
    auto* log = static_cast<FrameLog*>(param);
    obs_video_info ovi{};
    obs_get_video_info(&ovi);
    int bright = 0;
    for (uint32_t y = 0; y < kBoxRows && y < ovi.output_height; ++y) {
        const uint8_t* row = frame->data[0] + static_cast<size_t>(y) * frame->linesize[0];
        for (uint32_t x = 0; x < ovi.output_width; ++x) {
            const uint8_t* p = row + x * 4;
            if (p[0] > 180 && p[1] > 180 && p[2] > 180) ++bright;
        }
    }
    std::lock_guard<std::mutex> lock(log->mutex);
    if (bright > 50 && frame->timestamp > log->from && !log->firstDrawnAfter) {
        log->firstDrawnAfter = frame->timestamp;
    }
}

struct Timing {
    double latencyMs = -1;
    double sentMs = 0;
    int requests = 0;
};

TEST(SubtitleLatency, speech_end_to_subtitle_drawn) {
    const Sound sentence =
        atLevel(trimmed(spokenText("Good morning everyone, and welcome back to the stream.")), -20);
    const size_t sentenceMs = sentence.size() / 16;
    const size_t sentenceLoud = loudFrames([&] {
        std::vector<int16_t> pcm;
        for (float s : sentence) pcm.push_back(static_cast<int16_t>(s * 1.41421356f * 32767));
        return pcm;
    }());

    std::mutex mutex;
    size_t heard = 0;
    int requests = 0;
    uint64_t completedAt = 0;  // when the request that completed the sentence arrived
    LoopbackServer whisper;
    whisper.on(
        "POST", "/v1/audio/transcriptions",
        [&](const httplib::Request& req, httplib::Response& res) {
            const uint64_t arrived = os_gettime_ns();
            std::this_thread::sleep_for(milliseconds(kAnswerMs));
            const size_t loud = loudFrames(pcmSamples(req.get_file_value("file").content, 44));
            bool whole = false;
            {
                std::lock_guard<std::mutex> lock(mutex);
                heard += loud;
                if (loud) ++requests;
                whole = loud && heard * 10 >= sentenceLoud * 9;
                if (whole && !completedAt) completedAt = arrived;
            }
            res.set_content(std::string(R"({"text":")") + (whole ? "Good morning everyone" : "") +
                                R"(","language":"english","segments":[{"avg_logprob":-0.1}]})",
                            "application/json");
        });
    ASSERT_TRUE(whisper.start());
    setenv("SAYLINE_OPENAI_BASE_URL", whisper.baseUrl().c_str(), 1);

    FrameLog frames;
    obs_add_raw_video_callback(nullptr, &onFrame, &frames);
    obs_scene_t* scene = obs_scene_create("latency scene");
    obs_set_output_source(0, obs_scene_get_source(scene));
    AudioFeed feed;

    std::vector<Timing> fixed, pauses;
    for (const char* mode : {"fixed", "pauses"}) {
        for (int phase = 0; phase < kPhases; ++phase) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                heard = 0;
                requests = 0;
                completedAt = 0;
            }
            obs_data_t* settings = obs_data_create();
            obs_data_set_string(settings, "stt_engine", "whisper_api");
            obs_data_set_string(settings, "stt_api_key", "sk-latency");
            obs_data_set_bool(settings, "enable_translation", false);
            obs_data_set_string(settings, "chunk_mode", mode);
            obs_source_t* source =
                obs_source_create("sayline_source", "latency", settings, nullptr);
            obs_data_release(settings);
            obs_sceneitem_t* item = obs_scene_add(scene, source);

            const uint64_t start = os_gettime_ns();
            feed.push(joined({silence(static_cast<size_t>(phase * kPhaseStepMs)), sentence,
                              silence(4000)}),
                      16000);
            const uint64_t speechEnd =
                start + (static_cast<uint64_t>(phase * kPhaseStepMs) + sentenceMs) * 1000000ULL;
            {
                std::lock_guard<std::mutex> lock(frames.mutex);
                frames.from = speechEnd;
                frames.firstDrawnAfter = 0;
            }
            Timing run;
            waitUntil(
                [&] {
                    std::lock_guard<std::mutex> lock(frames.mutex);
                    return frames.firstDrawnAfter != 0;
                },
                seconds(10));
            {
                std::lock_guard<std::mutex> lock(frames.mutex);
                if (frames.firstDrawnAfter)
                    run.latencyMs = (frames.firstDrawnAfter - speechEnd) / 1e6;
                frames.from = UINT64_MAX;
            }
            // Let the rest of the pushed audio play out before the next run.
            const uint64_t played =
                start +
                (static_cast<uint64_t>(phase * kPhaseStepMs) + sentenceMs + 4000) * 1000000ULL;
            while (os_gettime_ns() < played) std::this_thread::sleep_for(milliseconds(50));
            {
                std::lock_guard<std::mutex> lock(mutex);
                run.requests = requests;
                if (completedAt) run.sentMs = (static_cast<double>(completedAt) - speechEnd) / 1e6;
            }
            obs_sceneitem_remove(item);
            const std::string destroyed = sourceLine(source, "destroyed");
            const size_t before = HostLogCapture::instance().count(destroyed);
            obs_source_release(source);
            waitForAnotherLine(destroyed, before, seconds(10));
            (std::string(mode) == "fixed" ? fixed : pauses).push_back(run);
        }
    }
    obs_remove_raw_video_callback(&onFrame, &frames);
    obs_set_output_source(0, nullptr);
    obs_scene_release(scene);
    unsetenv("SAYLINE_OPENAI_BASE_URL");

    std::printf("\nSpeech end -> subtitle drawn (s); sentence %.2f s, service answers in %.1f s\n",
                sentenceMs / 1000.0, kAnswerMs / 1000.0);
    std::printf("%-10s %-26s %-26s\n", "phase", "every 3 seconds", "at pauses in speech");
    auto cell = [](const Timing& r) {
        char text[64];
        if (r.latencyMs < 0) {
            std::snprintf(text, sizeof text, "none (%d req)", r.requests);
        } else {
            std::snprintf(text, sizeof text, "%.2f (sent %+.2f, %d req)", r.latencyMs / 1000.0,
                          r.sentMs / 1000.0, r.requests);
        }
        return std::string(text);
    };
    for (int phase = 0; phase < kPhases; ++phase) {
        std::printf("%-10.1f %-26s %-26s\n", phase * kPhaseStepMs / 1000.0,
                    cell(fixed[phase]).c_str(), cell(pauses[phase]).c_str());
    }
    auto summary = [](std::vector<Timing> runs, bool worst) {
        std::vector<double> ms;
        for (const Timing& r : runs) ms.push_back(r.latencyMs < 0 ? 1e9 : r.latencyMs);
        std::sort(ms.begin(), ms.end());
        const double v = worst ? ms.back() : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", v / 1000.0);
        return std::string(text);
    };
    std::printf("%-10s %-26s %-26s\n", "median", summary(fixed, false).c_str(),
                summary(pauses, false).c_str());
    std::printf("%-10s %-26s %-26s\n", "worst", summary(fixed, true).c_str(),
                summary(pauses, true).c_str());
}

}  // namespace
}  // namespace obs_sayline::test
