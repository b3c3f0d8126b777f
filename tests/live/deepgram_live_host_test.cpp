// Streaming recognition inside the headless host: a spoken sentence streams to a loopback
// server that speaks Deepgram's live protocol; what it says while the sentence is spoken shows
// at once, the final words replace it, and the translation follows once the line is finished.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/audio_feed.h"
#include "plugin/plugin_host_support.h"
#include "support/deepgram_live_wire.h"
#include "support/loopback_server.h"
#include "support/test_audio.h"
#include "support/websocket_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(DeepgramLiveHostTest, interim_words_show_then_the_final_then_its_translation) {
    WebSocketServer deepgram;
    std::atomic<int> frames{0};
    deepgram.onMessage([&](Peer& peer, const Received& got) {
        if (got.binary) {
            const int n = ++frames;
            if (n == 1) peer.send(deepgramInterim("Good"));
            if (n == 6) peer.send(deepgramInterim("Good morning"));
        } else if (got.bytes == R"({"type":"Finalize"})") {
            peer.send(deepgramResults({"Good morning, everyone.", true, false, true, 0.0, 1.5}));
        } else if (got.bytes == R"({"type":"CloseStream"})") {
            peer.close();
        }
    });
    ASSERT_TRUE(deepgram.start());
    LoopbackServer deepl;
    deepl.on("POST", "/v2/translate", [&](const httplib::Request&, httplib::Response& res) {
        deepl.stall(400);  // long enough to see the final words before their translation
        res.set_content(R"({"translations":[{"detected_source_language":"EN","text":"좋은 아침입니다, 여러분."}]})",
                        "application/json");
    });
    ASSERT_TRUE(deepl.start());
    setenv("SAYLINE_DEEPGRAM_BASE_URL", deepgram.httpBase().c_str(), 1);
    setenv("SAYLINE_DEEPL_BASE_URL", deepl.baseUrl().c_str(), 1);

    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "deepgram_live");
    obs_data_set_string(settings, "stt_api_key", "dg-host-key");
    obs_data_set_string(settings, "source_language", "en");
    obs_data_set_bool(settings, "enable_translation", true);
    obs_data_set_string(settings, "translation_provider", "deepl");
    obs_data_set_string(settings, "translation_api_key", "deepl-host-key");
    obs_data_set_string(settings, "target_language", "ko");
    obs_data_set_int(settings, "subtitle_duration", 10000);
    obs_source_t* source = obs_source_create("sayline_source", "streaming", settings, nullptr);
    obs_data_release(settings);
    ASSERT_NE(source, nullptr);
    obs_scene_t* scene = obs_scene_create("streaming scene");
    obs_scene_add(scene, source);
    obs_set_output_source(0, obs_scene_get_source(scene));

    // What the text source shows, in the order it changes (line breaks the renderer adds to
    // fit the box aside).
    std::vector<std::string> shown;
    {
        AudioFeed feed;
        feed.push(joined({silence(1000),
                          atLevel(trimmed(spokenText("Good morning, everyone.")), -20),
                          silence(1500)}),
                  16000);
        const auto deadline = std::chrono::steady_clock::now() + seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string now = shownTextOf(source);
            std::replace(now.begin(), now.end(), '\n', ' ');
            if (!now.empty() && (shown.empty() || shown.back() != now)) shown.push_back(now);
            if (now == "좋은 아침입니다, 여러분.") break;
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"Good", "Good morning", "Good morning, everyone.",
                                               "좋은 아침입니다, 여러분."}))
        << HostLogCapture::instance().joined();
    ASSERT_EQ(deepl.requestCount(), 1u);  // the finished line only
    EXPECT_NE(deepl.lastRequest().body.find("Good%20morning%2C%20everyone."), std::string::npos)
        << deepl.lastRequest().body;
    const auto upgrades = deepgram.upgrades();
    ASSERT_GE(upgrades.size(), 1u);
    EXPECT_EQ(upgrades[0].header("Authorization"), "Token dg-host-key");

    obs_set_output_source(0, nullptr);
    obs_scene_release(scene);
    EXPECT_TRUE(releaseAndWaitDestroyed({source}, seconds(10)));
    unsetenv("SAYLINE_DEEPGRAM_BASE_URL");
    unsetenv("SAYLINE_DEEPL_BASE_URL");
}

}  // namespace
}  // namespace obs_sayline::test
