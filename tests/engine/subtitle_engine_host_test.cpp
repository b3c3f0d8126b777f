// The whole pipeline in a real host: a fed audio source, loopback recognition and translation
// services, the host's text source, and an exported SRT file read back by ffprobe.
#include <gtest/gtest.h>
#include <obs.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/subtitle_engine.h"
#include "host/harness/audio_feed.h"
#include "host/harness/obs_host.h"
#include "support/host_log_capture.h"
#include "support/loopback_server.h"

namespace obs_sayline::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kFeedName = "engine test feed";
constexpr const char* kTextName = "engine test subs";

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe)) out += buf;
    pclose(pipe);
    return out;
}

std::string hostText(const char* name) {
    obs_source_t* source = obs_get_source_by_name(name);
    if (!source) return "<no source>";
    obs_data_t* settings = obs_source_get_settings(source);
    std::string text = obs_data_get_string(settings, "text");
    obs_data_release(settings);
    obs_source_release(source);
    return text;
}

template <typename F>
bool waitUntil(F predicate, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(SubtitleEngineHostTest, speech_in_the_host_becomes_a_translated_shown_and_exported_line) {
    ASSERT_TRUE(ObsHost::instance().freetypeLoaded());
    std::atomic<size_t> wavBytes{0};
    LoopbackServer whisper;
    whisper.on("POST", "/v1/audio/transcriptions",
               [&](const httplib::Request& req, httplib::Response& res) {
                   if (req.has_file("file")) wavBytes = req.get_file_value("file").content.size();
                   res.set_content(
                       R"({"text":"hello from the host","language":"english","duration":1.25})",
                       "application/json");
               });
    LoopbackServer deepl;
    deepl.on("POST", "/v2/translate", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            R"({"translations":[{"detected_source_language":"EN","text":"호스트에서 안녕"}]})",
            "application/json");
    });
    ASSERT_TRUE(whisper.start());
    ASSERT_TRUE(deepl.start());
    // Read when the factories construct the services, at start.
    setenv("SAYLINE_OPENAI_BASE_URL", whisper.baseUrl().c_str(), 1);
    setenv("OPENAI_API_KEY", "sk-test-engine", 1);
    setenv("SAYLINE_DEEPL_BASE_URL", deepl.baseUrl().c_str(), 1);
    setenv("DEEPL_API_KEY", "test-key:fx", 1);

    AudioFeed feed(3, kFeedName);
    EngineConfig config;
    config.audioSourceType = 3;
    config.audioSourceName = kFeedName;
    config.vadThreshold = 0.1f;
    config.translationProvider = 1;  // DeepL
    config.targetLanguage = "KO";
    config.textSourceName = kTextName;
    config.style.fontFamily = "DejaVu Sans";

    SubtitleEngine engine;
    std::mutex mutex;
    std::vector<SubtitleEntry> published;
    engine.setOnSubtitle([&](const SubtitleEntry& e) {
        std::lock_guard<std::mutex> lock(mutex);
        published.push_back(e);
    });
    ASSERT_TRUE(engine.initialize(config));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [SubtitleEngine] Initialized with STT: whisper_api, Provider: deepl"));
    ASSERT_TRUE(engine.start()) << engine.getLastError();
    EXPECT_EQ(engine.getState(), EngineState::Running);

    // 0.6 s of a tone, then enough silence for the detector to close the segment.
    feed.pushSine(1000.0, 0.5f, 600);
    feed.push(std::vector<float>(48000, 0.0f));

    ASSERT_TRUE(waitUntil(
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return !published.empty();
        },
        20s))
        << engine.getLastError();

    SubtitleEntry line;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ASSERT_EQ(published.size(), 1u);
        line = published[0];
    }
    EXPECT_EQ(line.originalText, "hello from the host");
    EXPECT_EQ(line.translatedText, "호스트에서 안녕");
    EXPECT_EQ(line.sourceLanguage, "english");
    EXPECT_EQ(line.targetLanguage, "KO");
    EXPECT_EQ(line.endTimeMs, 1250);
    // The speech segment went out as 16 kHz mono WAV (44-byte header, 2 bytes a sample).
    EXPECT_GT(wavBytes.load(), 44u + 2u * 480u * 10u);
    EXPECT_EQ((wavBytes.load() - 44) % (2 * 480), 0u);
    EXPECT_EQ(whisper.requestCount(), 1u);
    EXPECT_EQ(whisper.lastRequest().header("Authorization"), "Bearer sk-test-engine");
    EXPECT_EQ(deepl.requestCount(), 1u);
    EXPECT_EQ(hostText(kTextName), "hello from the host");

    EngineStats stats = engine.getStats();
    EXPECT_EQ(stats.speechChunksSubmitted, 1u);
    EXPECT_EQ(stats.recognitionsCompleted, 1u);
    EXPECT_EQ(stats.translationsCompleted, 1u);
    EXPECT_EQ(stats.subtitlesDisplayed, 1u);
    EXPECT_EQ(stats.entryCount, 1u);
    EXPECT_EQ(stats.audioChunksCaptured, 16u);  // 1.6 s in 100 ms chunks
    EXPECT_NEAR(stats.totalAudioMs, 1600.0, 1e-9);

    char path[] = "/tmp/sayline-engine-XXXXXX.srt";
    int fd = mkstemps(path, 4);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(engine.exportSubtitles(path, 0, ExportOptions{}));
    const std::string probed = run(std::string("ffprobe -v error -show_entries packet=pts_time,"
                                               "duration_time -of csv=p=0 '") +
                                   path + "' 2>&1");
    EXPECT_EQ(probed, "0.000000,1.250000\n") << probed;
    std::remove(path);

    engine.stop();
    engine.shutdown();
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [SubtitleEngine] Shutdown complete"));
    // The key went only into the Authorization header.
    EXPECT_EQ(HostLogCapture::instance().joined().find("sk-test-engine"), std::string::npos);
    unsetenv("SAYLINE_OPENAI_BASE_URL");
    unsetenv("SAYLINE_DEEPL_BASE_URL");
    unsetenv("OPENAI_API_KEY");
    unsetenv("DEEPL_API_KEY");
}

}  // namespace
}  // namespace obs_sayline::test
