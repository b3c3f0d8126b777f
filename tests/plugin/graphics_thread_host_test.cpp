// A settings change the host applies in its video tick must not hold the video up while the
// audio left at the stop is recognised: frames keep coming during a stalled request, and the
// leftover still reaches the screen afterwards.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "host/harness/audio_feed.h"
#include "host/harness/obs_host.h"
#include "plugin_host_support.h"
#include "stt/stt_wire.h"
#include "support/loopback_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr const char* kKey = "sk-graphics-4d2e";
constexpr int kLeftoverStallMs = 5000;

TEST(GraphicsThreadHostTest, update_in_the_video_tick_leaves_the_leftover_to_a_worker) {
    std::atomic<int> whisperCalls{0};
    auto server = std::make_unique<LoopbackServer>();
    LoopbackServer* raw = server.get();
    server->on("POST", "/v1/audio/transcriptions",
               [&whisperCalls, raw](const httplib::Request&, httplib::Response& res) {
                   const int call = whisperCalls.fetch_add(1);
                   if (call == 1) {  // the audio left at the stop: a slow service
                       raw->stall(kLeftoverStallMs);
                       res.set_content(whisperReply("leftover words"), "application/json");
                       return;
                   }
                   res.set_content(whisperReply(call == 0 ? "first words" : ""),
                                   "application/json");
               });
    ASSERT_TRUE(server->start());
    setenv("SAYLINE_OPENAI_BASE_URL", server->baseUrl().c_str(), 1);
    HostLogCapture::instance().clear();

    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", kKey);
    obs_data_set_string(settings, "source_language", "en");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_source_t* source = obs_source_create("sayline_source", "graphics", settings, nullptr);
    obs_data_release(settings);
    ASSERT_NE(source, nullptr);

    auto feed = std::make_unique<AudioFeed>();
    feed->pushSine(220.0, 0.4f, 4000);  // one 3 s chunk, then a second of tone left over
    ASSERT_TRUE(waitUntil([&] { return pendingTextOf(source) == "first words"; }, seconds(10)))
        << HostLogCapture::instance().joined();
    std::this_thread::sleep_for(milliseconds(300));

    // A look change: the host defers it to the video tick, where the update stops capture.
    obs_data_t* change = obs_data_create();
    obs_data_set_int(change, "font_size", 30);
    obs_source_update(source, change);
    obs_data_release(change);
    ASSERT_TRUE(waitUntil([&] { return server->requestCount() >= 2; }, seconds(5)))
        << HostLogCapture::instance().joined();

    // While that request stalls, the video goes on.
    int frames = 0;
    auto last = std::chrono::steady_clock::now();
    auto longestGap = std::chrono::steady_clock::duration::zero();
    FrameGrabber::waitFor(
        [&](const Frame&) {
            const auto now = std::chrono::steady_clock::now();
            if (frames++ > 0) longestGap = std::max(longestGap, now - last);
            last = now;
            return false;
        },
        milliseconds(2000));
    EXPECT_EQ(pendingTextOf(source), "first words") << "the stalled request was not in flight";
    EXPECT_GE(frames, 10);
    EXPECT_LT(longestGap, milliseconds(1500));
    EXPECT_TRUE(waitForLine(
        "[obs-sayline] Update on the graphics thread - not waiting for audio processing",
        seconds(1)));
    EXPECT_TRUE(waitForLine(sourceLine(source, "starts capturing audio"), seconds(1)));
    EXPECT_TRUE(recordOf(source)->capture.capturing.load());

    // The leftover is recognised once the service answers, and left for the renderer.
    ASSERT_TRUE(waitUntil([&] { return pendingTextOf(source) == "leftover words"; },
                          milliseconds(kLeftoverStallMs + 3000)))
        << HostLogCapture::instance().joined();
    const RecordedRequest leftover = server->requests()[1];
    const RecordedPart* file = nullptr;
    for (auto& part : leftover.parts) {
        if (part.name == "file") file = &part;
    }
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(wavProblems(file->content, 16000, 1), "");
    const size_t samples = (file->content.size() - 44) / 2;
    EXPECT_GT(samples, 0u);
    EXPECT_LT(samples, 48000u);
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("still recognising after 5 s"));

    EXPECT_TRUE(releaseAndWaitDestroyed({source}, seconds(15)));
    feed.reset();
    EXPECT_EQ(HostLogCapture::instance().joined().find(kKey), std::string::npos);
    server.reset();
    unsetenv("SAYLINE_OPENAI_BASE_URL");
}

}  // namespace
}  // namespace obs_sayline::test
