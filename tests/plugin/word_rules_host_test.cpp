// The streamer's own words inside the headless host: a Sayline source with a vocabulary,
// replacements and hidden words hears speech-like audio; its Whisper request carries the
// vocabulary, and the one subtitle reaches the scene text, the closed captions and the
// transcript with the words replaced and hidden.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/worker_registry.h"
#include "host/harness/audio_feed.h"
#include "plugin_host_support.h"
#include "support/loopback_server.h"
#include "support/subtitle_readback.h"

namespace obs_sayline::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

constexpr const char* kKey = "sk-words-5c1e";
constexpr const char* kHeard = "Welcome to say line, um, darn it";
constexpr const char* kShown = "Welcome to Sayline, d*** it";

// What the caption sink hands to the outputs.
struct SentCaptions {
    std::mutex mutex;
    std::vector<std::string> texts;
    std::vector<std::string> taken() {
        std::lock_guard<std::mutex> lock(mutex);
        return texts;
    }
};

TEST(WordRulesHostTest, one_subtitle_reaches_every_sink_with_words_replaced_and_hidden) {
    LoopbackServer whisper;
    std::atomic<int> answered{0};
    whisper.on("POST", "/v1/audio/transcriptions",
               [&](const httplib::Request&, httplib::Response& res) {
                   // The tail of the tone recognises nothing, so the one subtitle stays.
                   const std::string text = answered++ == 0 ? kHeard : "";
                   res.set_content(whisperReply(text), "application/json");
               });
    ASSERT_TRUE(whisper.start());
    setenv("SAYLINE_OPENAI_BASE_URL", whisper.baseUrl().c_str(), 1);
    std::string dir = "/tmp/sayline-words-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);

    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", kKey);
    obs_data_set_string(settings, "source_language", "en");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_data_set_string(settings, "vocabulary", "Sayline\nKkachi\n");
    obs_data_set_string(settings, "replacements", "say line => Sayline\num =>\n");
    obs_data_set_string(settings, "hidden_words", "darn\n");
    obs_data_set_bool(settings, "cc_enabled", true);
    obs_data_set_string(settings, "transcript_format", "srt");
    obs_data_set_string(settings, "transcript_dir", dir.c_str());
    obs_source_t* source = obs_source_create("sayline_source", "word rules", settings, nullptr);
    obs_data_release(settings);
    ASSERT_NE(source, nullptr);

    // The captions' way to the outputs, recorded: a hub of the test's own, with its sender.
    auto sent = std::make_shared<SentCaptions>();
    SubtitleSourceData* record = recordOf(source);
    record->sinks->remove(record->sharedOutputs);
    record->sharedOutputs = std::make_shared<HubSource>(
        std::make_shared<SubtitleHub>([sent](const std::vector<OutputCaption>& captions) {
            std::lock_guard<std::mutex> lock(sent->mutex);
            for (const auto& caption : captions) {
                if (!caption.text.empty()) sent->texts.push_back(caption.text);
            }
            return size_t{1};
        }));
    record->sharedOutputs->configure(hubContribution(record->settingsNow(), "word rules"));
    record->sinks->add(record->sharedOutputs);

    // On air, so the transcript is written.
    obs_scene_t* scene = obs_scene_create("word rules scene");
    obs_scene_add(scene, source);
    obs_set_output_source(0, obs_scene_get_source(scene));
    {
        AudioFeed feed;
        feed.pushSine(220.0, 0.4f, 3500);
        EXPECT_TRUE(waitUntil([&] { return shownTextOf(source) == kShown; }, seconds(10)))
            << shownTextOf(source) << "\n"
            << HostLogCapture::instance().joined();
        EXPECT_TRUE(waitUntil([&] { return !sent->taken().empty(); }, seconds(5)));
        EXPECT_EQ(sent->taken(), std::vector<std::string>{kShown});
        EXPECT_TRUE(waitUntil(
            [&] { return record->sharedOutputs->hub()->transcript()->cuesWritten() >= 1; },
            seconds(10)));
    }

    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path().string());
    ASSERT_EQ(files.size(), 1u);
    const SubtitleReadBack back = readBackSubtitles(files[0]);
    ASSERT_EQ(back.cues.size(), 1u) << back.raw;
    EXPECT_EQ(back.cues[0].text, kShown);

    const auto requests = whisper.requests();
    ASSERT_GE(requests.size(), 1u);
    std::string prompt = "<none>";
    for (const auto& part : requests[0].parts) {
        if (part.name == "prompt") prompt = part.content;
    }
    EXPECT_EQ(prompt, "Vocabulary: Sayline, Kkachi.");

    obs_set_output_source(0, nullptr);
    obs_scene_release(scene);
    EXPECT_TRUE(releaseAndWaitDestroyed({source}, seconds(10)));
    // The test's own hub ran its threads through this binary's copy of the worker registry,
    // which no module unload shuts down: joined here, not left to the process's exit.
    EXPECT_EQ(WorkerRegistry::instance().shutdown(std::chrono::milliseconds(5000)), 0u);
    WorkerRegistry::instance().reopen();
    unsetenv("SAYLINE_OPENAI_BASE_URL");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace obs_sayline::test
