// Closed captions end to end inside the headless host: the host's own x264 encoder, AAC encoder
// and file muxer record while speech plays and a loopback recogniser answers three Sayline
// sources at once (captions on, captions off, captions on for a Korean subtitle); the captions
// are then read back from the file with ffmpeg.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/audio_feed.h"
#include "host/harness/host_recording.h"
#include "host/harness/obs_host.h"
#include "plugin/plugin_host_support.h"
#include "support/caption_readback.h"
#include "support/loopback_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr const char* kKeyCaptions = "sk-cc-on-3f1a";
constexpr const char* kKeyOff = "sk-cc-off-7d2e";
constexpr const char* kKeyKorean = "sk-cc-ko-5b9c";

constexpr const char* kFirst = "Hello from Sayline";
constexpr const char* kLong =
    "This subtitle is long enough that it needs more than two rows of closed captions";
constexpr const char* kOff = "Captions are off here";
constexpr const char* kKorean = "안녕하세요 여러분";
constexpr int kDisplayMs = 2000;

obs_source_t* captionSource(const char* name, const char* key, bool captions,
                            const char* language = "en") {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", key);
    obs_data_set_string(settings, "source_language", language);
    obs_data_set_bool(settings, "enable_translation", false);
    obs_data_set_int(settings, "subtitle_duration", kDisplayMs);
    obs_data_set_bool(settings, "cc_enabled", captions);
    obs_source_t* source = obs_source_create("sayline_source", name, settings, nullptr);
    obs_data_release(settings);
    return source;
}

class ClosedCaptionHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        for (const char* plugin : {"obs-x264", "obs-ffmpeg"}) {
            ASSERT_TRUE(ObsHost::instance().loadHostPlugin(plugin, &error)) << error;
        }
        char dir[] = "/tmp/sayline-captions-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        workDir_ = dir;

        services_ = std::make_unique<LoopbackServer>();
        services_->on("POST", "/v1/audio/transcriptions", &ClosedCaptionHostTest::onWhisper);
        ASSERT_TRUE(services_->start());
        setenv("SAYLINE_OPENAI_BASE_URL", services_->baseUrl().c_str(), 1);
        HostLogCapture::instance().clear();

        recording_ = std::make_unique<HostRecording>("caption test");
        ASSERT_TRUE(recording_->start(workDir_ + "/recording.mkv"))
            << HostLogCapture::instance().joined();

        feed_ = std::make_unique<AudioFeed>();
        captions_ = captionSource("captions on", kKeyCaptions, true);
        off_ = captionSource("captions off", kKeyOff, false);
        korean_ = captionSource("captions korean", kKeyKorean, true, "ko");
        // Only the source with captions is drawn: its text fills the top of the canvas.
        scene_ = obs_scene_create("sayline caption scene");
        obs_scene_add(scene_, captions_);
        obs_set_output_source(0, obs_scene_get_source(scene_));

        // Speech-like tone for two 3 s chunks.
        feed_->pushSine(220.0, 0.4f, 6500);
        ASSERT_TRUE(waitUntil([] { return pendingTextOf(captions_) == kLong; }, seconds(20)))
            << HostLogCapture::instance().joined();
        ASSERT_TRUE(waitUntil(
            [] {
                return HostLogCapture::instance().count(
                           std::string("[obs-sayline] [STT] Result: \"") + kKorean +
                           "\" (lang=english, conf=0.90)") >= 2;
            },
            seconds(10)));
        // The long subtitle's captions and the clear after them reach the file.
        std::this_thread::sleep_for(milliseconds(kDisplayMs + 1000));
        ASSERT_TRUE(recording_->stop()) << HostLogCapture::instance().joined();

        readback_ = readRecording(workDir_ + "/recording.mkv", workDir_);
    }

    static void TearDownTestSuite() {
        obs_set_output_source(0, nullptr);
        obs_scene_release(scene_);
        EXPECT_TRUE(releaseAndWaitDestroyed({captions_, off_, korean_}, seconds(20)));
        feed_.reset();
        recording_.reset();
        services_.reset();
        unsetenv("SAYLINE_OPENAI_BASE_URL");
        if (!workDir_.empty()) std::filesystem::remove_all(workDir_);
    }

    static void onWhisper(const httplib::Request& req, httplib::Response& res) {
        const std::string key = keyOfAuthorization(req.get_header_value("Authorization"));
        int seen = 0;
        {
            std::lock_guard<std::mutex> lock(countsMutex_);
            seen = counts_[key]++;
        }
        std::string text;
        if (key == kKeyCaptions && seen < 2) text = seen == 0 ? kFirst : kLong;
        if (key == kKeyOff && seen == 0) text = kOff;
        if (key == kKeyKorean && seen < 2) text = kKorean;
        res.set_content(whisperReply(text), "application/json");
    }

    static inline std::string workDir_;
    static inline std::unique_ptr<LoopbackServer> services_;
    static inline std::unique_ptr<AudioFeed> feed_;
    static inline std::mutex countsMutex_;
    static inline std::map<std::string, int> counts_;
    static inline std::unique_ptr<HostRecording> recording_;
    static inline obs_scene_t* scene_ = nullptr;
    static inline obs_source_t* captions_ = nullptr;
    static inline obs_source_t* off_ = nullptr;
    static inline obs_source_t* korean_ = nullptr;
    static inline Readback readback_;
};

std::string describe(const Readback& readback) {
    std::string out = readback.error;
    for (const auto& c : readback.captions) {
        out += "\n  " + std::to_string(c.start) + " -> " + std::to_string(c.end) + " \"" + c.text +
               "\"";
    }
    out += "\n  scene text appears at:";
    for (double t : readback.brightOnsets) out += " " + std::to_string(t);
    return out;
}

TEST_F(ClosedCaptionHostTest, only_enabled_carriable_subtitles_reach_the_file_in_rows_of_32) {
    ASSERT_EQ(readback_.error, "");
    std::vector<std::string> texts;
    for (const auto& caption : readback_.captions) texts.push_back(caption.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         kFirst, "This subtitle is long enough\nthat it needs more than two rows",
                         "of closed captions"}))
        << describe(readback_);

    // The other two sources had subtitles too; one had captions off, one a script 608 lacks,
    // reported once for its two subtitles.
    EXPECT_EQ(pendingTextOf(off_), kOff);
    EXPECT_EQ(HostLogCapture::instance().count(
                  "[obs-sayline] [Captions] Subtitles in Korean are not sent as closed captions: "
                  "CEA-608 has no Hangul characters. The scene text still shows them"),
              1u);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Captions] Closed captions go to 1 output(s)"));
}

TEST_F(ClosedCaptionHostTest, captions_start_with_the_scene_text_and_stay_its_display_time) {
    ASSERT_EQ(readback_.error, "");
    ASSERT_EQ(readback_.captions.size(), 3u) << describe(readback_);
    ASSERT_EQ(readback_.brightOnsets.size(), 2u) << describe(readback_);
    const auto& first = readback_.captions[0];
    const auto& longTop = readback_.captions[1];
    const auto& longRest = readback_.captions[2];
    EXPECT_NEAR(first.start, readback_.brightOnsets[0], 0.5) << describe(readback_);
    EXPECT_NEAR(longTop.start, readback_.brightOnsets[1], 0.5) << describe(readback_);
    // A subtitle's captions share its display time, and the last is taken down when it is up.
    const double display = kDisplayMs / 1000.0;
    EXPECT_NEAR(first.end - first.start, display, 0.2) << describe(readback_);
    EXPECT_NEAR(longRest.start - longTop.start, display / 2, 0.2) << describe(readback_);
    EXPECT_NEAR(longRest.end - longTop.start, display, 0.2) << describe(readback_);
}

}  // namespace
}  // namespace obs_sayline::test
