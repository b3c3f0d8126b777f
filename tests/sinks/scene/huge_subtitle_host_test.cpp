// A service that answers with an enormous text: what reaches the screen is cut to the longest
// subtitle, and the host's memory barely moves.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "host/harness/audio_feed.h"
#include "host/harness/obs_host.h"
#include "plugin/plugin_host_support.h"
#include "support/loopback_server.h"
#include "support/process_memory.h"

namespace obs_sayline::test {
namespace {

using std::chrono::seconds;

// A warm-up answer drawn like what is shown of the huge one, its mark recurring so that each
// part of it on screen shows it (a subtitle this long is shown in parts, one after another).
std::string warmUp(char mark) {
    std::string text(120, 'w');
    for (size_t i = 0; i < text.size(); i += 10) text[i] = mark;
    return text;
}

TEST(HugeSubtitleHostTest, a_400_kb_result_is_cut_to_the_longest_subtitle) {
    const std::string huge(400 * 1024, 'w');
    std::atomic<int> calls{0};
    LoopbackServer server;
    server.on("POST", "/v1/audio/transcriptions",
              [&](const httplib::Request&, httplib::Response& res) {
                  // Two answers drawn like what is shown of the third warm up the text sources,
                  // their glyphs and textures, the host's audio buffering and the server.
                  const int call = calls++;
                  const std::string text = call < 2 ? warmUp(call == 0 ? 'v' : 'x') : huge;
                  res.set_content(R"({"text":")" + text + R"(","language":"english"})",
                                  "application/json");
              });
    ASSERT_TRUE(server.start());
    setenv("SAYLINE_OPENAI_BASE_URL", server.baseUrl().c_str(), 1);

    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", "sk-huge");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_data_set_int(settings, "max_subtitle_length", 120);
    obs_data_set_int(settings, "subtitle_duration", 10000);
    obs_source_t* source = obs_source_create("sayline_source", "huge", settings, nullptr);
    obs_data_release(settings);
    obs_set_output_source(0, source);

    AudioFeed feed;
    for (const char* warm : {"v", "x"}) {
        feed.pushSine(440.0, 0.3f, 3100);
        ASSERT_TRUE(waitUntil([&] { return shownTextOf(source).find(warm) != std::string::npos; },
                              seconds(15)));
    }

    // The resident set, not its peak: drawing any new subtitle has transient costs of its own
    // (the audio, the request, the host's buffers); what must not happen is the host keeping
    // hundreds of megabytes for one runaway text.
    const long before = residentBytes();
    feed.pushSine(440.0, 0.3f, 3100);
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::string shown = shownTextOf(source);
            return !shown.empty() && shown.find('x') == std::string::npos;
        },
        seconds(15)))
        << HostLogCapture::instance().joined().substr(0, 4000);
    EXPECT_EQ(pendingTextOf(source), std::string(120, 'w'));
    std::string shown = shownTextOf(source);
    shown.erase(std::remove(shown.begin(), shown.end(), '\n'), shown.end());  // our rows
    EXPECT_LE(shown.size(), 120u);  // the part of it on screen
    EXPECT_EQ(shown, std::string(shown.size(), 'w'));
    const long after = residentBytes();
    EXPECT_LT(after - before, kHostMemoryGrowthBound);

    obs_set_output_source(0, nullptr);
    obs_source_release(source);
}

}  // namespace
}  // namespace obs_sayline::test
