// Streaming recognition in the headless host, measured: 60 s of audio holding ten spoken
// sentences (about 20 s of speech) stream to a loopback server that speaks Deepgram's live
// protocol. The server answers the first loud frame of each sentence with an interim word and
// sends the final words 0.3 s after the last loud frame it received (its own endpointing).
// Reports, per sentence and as median and worst:
// - interim sent -> first frame drawn with text,
// - speech end (as played into the host) -> first frame drawn with the final words,
// and the bytes of audio sent against the speech, its lead-ins and its tails.
// Frame times are the host's video timestamps; asserts nothing.
//
// Run by scripts/latency.sh (needs a display: xvfb-run).

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>
#include <util/platform.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/audio_feed.h"
#include "live/pause_chunker.h"
#include "plugin_host_support.h"
#include "support/deepgram_live_wire.h"
#include "support/test_audio.h"
#include "support/websocket_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kSentences = 10;
constexpr uint64_t kSegmentMs = 6000;
constexpr uint64_t kLeadSilenceMs = 1000;
constexpr int kEndpointMs = 300;
constexpr uint32_t kBoxRows = 160;
const char* kInterim = "Good";
const char* kFinal = "Good morning everyone, and welcome back to the show.";

// 10 ms frames louder than -47 dBFS in 16-bit little-endian PCM.
size_t loudFrames(const std::string& bytes) {
    size_t loud = 0;
    const size_t samples = bytes.size() / 2;
    for (size_t f = 0; (f + 1) * 160 <= samples; ++f) {
        double power = 0;
        for (size_t i = f * 160; i < (f + 1) * 160; ++i) {
            const auto v = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
            power += double(v) * v;
        }
        if (power / 160 > 32768.0 * 32768.0 * 2.0e-5) ++loud;
    }
    return loud;
}

struct DrawnFrame {
    uint64_t at;
    int bright;  // text pixels
    int width;   // from the leftmost to the rightmost text pixel
};

struct FrameLog {
    std::mutex mutex;
    std::vector<DrawnFrame> frames;
};

void onFrame(void* param, struct video_data* frame) {
    auto* log = static_cast<FrameLog*>(param);
    obs_video_info ovi{};
    obs_get_video_info(&ovi);
    int bright = 0;
    int left = INT32_MAX, right = -1;
    for (uint32_t y = 0; y < kBoxRows && y < ovi.output_height; ++y) {
        const uint8_t* row = frame->data[0] + static_cast<size_t>(y) * frame->linesize[0];
        for (uint32_t x = 0; x < ovi.output_width; ++x) {
            const uint8_t* p = row + x * 4;
            if (p[0] > 180 && p[1] > 180 && p[2] > 180) {
                ++bright;
                left = std::min(left, static_cast<int>(x));
                right = std::max(right, static_cast<int>(x));
            }
        }
    }
    std::lock_guard<std::mutex> lock(log->mutex);
    log->frames.push_back({frame->timestamp, bright, right >= left ? right - left + 1 : 0});
}

// The service: interim at the first loud frame, final 0.3 s after the last.
struct Service {
    std::mutex mutex;
    std::vector<uint64_t> interimSent, finalSent;
    uint64_t audioBytes = 0;
    uint64_t keepAlives = 0;
    bool speaking = false;
    uint64_t generation = 0;
    double speechStart = 0;  // seconds into the stream, as the service reports its words
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
}

TEST(StreamingLatency, interim_and_final_drawn_and_bytes_sent) {
    const Sound sentence = atLevel(trimmed(spokenText("Good morning everyone, welcome back.")), -20);
    const uint64_t sentenceMs = sentence.size() / 16;

    Service service;
    WebSocketServer deepgram;
    deepgram.onMessage([&](Peer& peer, const Received& got) {
        if (!got.binary) {
            if (got.bytes == R"({"type":"CloseStream"})") peer.close();
            std::lock_guard<std::mutex> lock(service.mutex);
            if (got.bytes == R"({"type":"KeepAlive"})") ++service.keepAlives;
            return;
        }
        std::lock_guard<std::mutex> lock(service.mutex);
        const double streamSeconds = static_cast<double>(service.audioBytes) / 32000.0;
        service.audioBytes += got.bytes.size();
        if (loudFrames(got.bytes) == 0) return;
        if (!service.speaking) {
            service.speaking = true;
            service.speechStart = streamSeconds;
            peer.send(deepgramInterim(kInterim, streamSeconds));
            service.interimSent.push_back(os_gettime_ns());
        }
        const uint64_t generation = ++service.generation;
        peer.runAfter(milliseconds(kEndpointMs), [&service, &peer, generation] {
            std::lock_guard<std::mutex> lock(service.mutex);
            if (generation != service.generation || !service.speaking) return;
            service.speaking = false;
            // Words are timed on the stream's own clock; a final timed at zero would look
            // long overdue once the stream has run for a while.
            const double heard = static_cast<double>(service.audioBytes) / 32000.0;
            peer.send(deepgramFinal(kFinal, true, service.speechStart, heard - service.speechStart));
            service.finalSent.push_back(os_gettime_ns());
        });
    });
    ASSERT_TRUE(deepgram.start());
    setenv("SAYLINE_DEEPGRAM_BASE_URL", deepgram.httpBase().c_str(), 1);

    FrameLog frames;
    obs_add_raw_video_callback(nullptr, &onFrame, &frames);
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "deepgram_live");
    obs_data_set_string(settings, "stt_api_key", "dg-latency");
    obs_data_set_string(settings, "source_language", "en");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_data_set_int(settings, "subtitle_duration", 1000);
    obs_source_t* source = obs_source_create("sayline_source", "latency", settings, nullptr);
    obs_data_release(settings);
    obs_scene_t* scene = obs_scene_create("latency scene");
    obs_scene_add(scene, source);
    obs_set_output_source(0, obs_scene_get_source(scene));
    std::this_thread::sleep_for(seconds(1));  // connected and warm

    // One sentence a segment, each pushed a second before the previous one has played out
    // (the host holds only a few seconds of audio ahead); pushes follow each other seamlessly.
    const Sound segment =
        joined({silence(kLeadSilenceMs), sentence, silence(kSegmentMs - kLeadSilenceMs - sentenceMs)});
    AudioFeed feed;
    const uint64_t start = os_gettime_ns();
    for (int i = 0; i < kSentences; ++i) {
        while (os_gettime_ns() + 1000000000ULL < start + i * kSegmentMs * 1000000ULL) {
            std::this_thread::sleep_for(milliseconds(50));
        }
        feed.push(segment, 16000);
    }
    while (os_gettime_ns() < start + (kSentences * kSegmentMs + 500) * 1000000ULL) {
        std::this_thread::sleep_for(milliseconds(100));
    }

    obs_remove_raw_video_callback(&onFrame, &frames);
    obs_set_output_source(0, nullptr);
    obs_scene_release(scene);
    releaseAndWaitDestroyed({source}, seconds(10));
    std::this_thread::sleep_for(seconds(1));  // the stream closes after the source
    unsetenv("SAYLINE_DEEPGRAM_BASE_URL");

    std::lock_guard<std::mutex> serviceLock(service.mutex);
    std::lock_guard<std::mutex> framesLock(frames.mutex);
    // The first frame after `after` with text wider than `widerThan` pixels (the final words
    // run much wider than the interim one).
    auto firstDrawn = [&](uint64_t after, int widerThan) -> const DrawnFrame* {
        for (const DrawnFrame& f : frames.frames) {
            if (f.at > after && f.bright > 20 && f.width > widerThan) return &f;
        }
        return nullptr;
    };
    std::printf("\nSentence %.2f s, %d times in %.0f s; the service's final comes %d ms after "
                "the last loud frame\n",
                sentenceMs / 1000.0, kSentences, kSentences * kSegmentMs / 1000.0, kEndpointMs);
    std::printf("interims sent %zu, finals sent %zu, frames %zu\n", service.interimSent.size(),
                service.finalSent.size(), frames.frames.size());
    std::printf("%-9s %-22s %-30s\n", "sentence", "interim sent->drawn", "speech end->final drawn");
    std::vector<double> interims, finals;
    for (int i = 0; i < kSentences; ++i) {
        const uint64_t speechEnd =
            start + (i * kSegmentMs + kLeadSilenceMs + sentenceMs) * 1000000ULL;
        double interimMs = -1, finalMs = -1;
        int interimWidth = 0;
        if (i < static_cast<int>(service.interimSent.size())) {
            if (const DrawnFrame* drawn = firstDrawn(service.interimSent[i], 0)) {
                interimMs = (static_cast<double>(drawn->at) - service.interimSent[i]) / 1e6;
                interimWidth = drawn->width;
            }
        }
        if (i < static_cast<int>(service.finalSent.size()) && interimWidth > 0) {
            if (const DrawnFrame* drawn =
                    firstDrawn(service.finalSent[i], interimWidth + interimWidth / 2)) {
                finalMs = (static_cast<double>(drawn->at) - speechEnd) / 1e6;
            }
        }
        if (interimMs >= 0) interims.push_back(interimMs);
        if (finalMs >= 0) finals.push_back(finalMs);
        std::printf("%-9d %-22.0f %-30.0f\n", i + 1, interimMs, finalMs);
    }
    std::printf("%-9s %-22.0f %-30.0f\n", "median", median(interims), median(finals));
    std::printf("%-9s %-22.0f %-30.0f\n", "worst",
                interims.empty() ? -1 : *std::max_element(interims.begin(), interims.end()),
                finals.empty() ? -1 : *std::max_element(finals.begin(), finals.end()));
    const double speechS = kSentences * sentenceMs / 1000.0;
    const double boundS = kSentences * (sentenceMs + kSpeechPreRollMs + kSpeechTailMs) / 1000.0;
    std::printf("\nAudio sent: %llu bytes = %.2f s of 16 kHz PCM16 for %.2f s of speech "
                "(speech + 300 ms lead-in + 200 ms tail each: %.2f s); %llu KeepAlives\n",
                static_cast<unsigned long long>(service.audioBytes),
                service.audioBytes / 32000.0, speechS, boundS,
                static_cast<unsigned long long>(service.keepAlives));
}

}  // namespace
}  // namespace obs_sayline::test
