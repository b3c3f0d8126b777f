// Transcript files inside the headless host (no front end, so transcripts follow the sources
// being on air): Sayline sources in the drawn scene hear the same 10 s of speech-like audio,
// recognised by a loopback service that answers each source by its key.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/harness/audio_feed.h"
#include "plugin/plugin_host_support.h"
#include "support/loopback_server.h"
#include "support/subtitle_readback.h"

namespace obs_sayline::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

constexpr const char* kKeyThree = "sk-transcript-three-1a7c";
constexpr const char* kKeyTwo = "sk-transcript-two-2b8d";
constexpr const char* kKeyDeepl = "deepl-transcript-3c9e";
constexpr const char* kKeyUnsafe = "sk-transcript-unsafe-4d0f";
constexpr const char* kKeyReadOnly = "sk-transcript-readonly-5e1a";

const std::vector<std::string> kThree = {"One small step", "Two more words", "Three and done"};
// As the service sends it (JSON): a blank line, and an arrow that would read as a timing line.
constexpr const char* kUnsafeJson = R"(top line\n\nmiddle --> end)";
constexpr const char* kHeard = "Can you hear me";

std::string tempDir(const char* tag) {
    std::string pattern = std::string("/tmp/sayline-") + tag + "-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : "";
}

// The files in `dir` whose names end with `suffix`.
std::vector<std::string> filesEndingWith(const std::string& dir, const std::string& suffix) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TranscriptHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        services_ = std::make_unique<LoopbackServer>();
        services_->on("POST", "/v1/audio/transcriptions", &TranscriptHostTest::onWhisper);
        services_->on("POST", "/v2/translate", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                R"({"translations":[{"detected_source_language":"EN","text":"좋은 아침"}]})",
                "application/json");
        });
        ASSERT_TRUE(services_->start());
        setenv("SAYLINE_OPENAI_BASE_URL", services_->baseUrl().c_str(), 1);
        setenv("SAYLINE_DEEPL_BASE_URL", services_->baseUrl().c_str(), 1);

        threeDir_ = tempDir("transcript-three");
        twoDir_ = tempDir("transcript-two");
        unsafeDir_ = tempDir("transcript-unsafe");
        // Permissions do not hold root back; sysfs takes no new files from anyone.
        if (geteuid() == 0) {
            readOnlyDir_ = "/sys";
        } else {
            readOnlyDir_ = tempDir("transcript-readonly");
            chmod(readOnlyDir_.c_str(), 0555);
        }

        feed_ = std::make_unique<AudioFeed>();
    }

    // Every source writes into the one transcript all sources share, whose folder and format
    // the first of them sets: each case has a source of its own, alone on air.
    void TearDown() override {
        obs_set_output_source(0, nullptr);
        if (scene_) obs_scene_release(scene_);
        scene_ = nullptr;
        EXPECT_TRUE(releaseAndWaitDestroyed({source_}, seconds(20)));
        source_ = nullptr;
    }

    // `source` on air (its transcript starts at the next video tick) while `ms` of speech-like
    // audio plays.
    void onAir(obs_source_t* source, uint32_t ms) {
        source_ = source;
        scene_ = obs_scene_create("sayline transcript scene");
        obs_scene_add(scene_, source);
        obs_set_output_source(0, obs_scene_get_source(scene_));
        onAirAt_ = std::chrono::steady_clock::now();
        feed_->pushSine(220.0, 0.4f, ms);
    }

    static void TearDownTestSuite() {
        feed_.reset();
        services_.reset();
        unsetenv("SAYLINE_OPENAI_BASE_URL");
        unsetenv("SAYLINE_DEEPL_BASE_URL");
        if (getenv("SAYLINE_TEST_KEEP_FILES")) {
            std::printf("transcripts kept in %s %s %s\n", threeDir_.c_str(), twoDir_.c_str(),
                        unsafeDir_.c_str());
        } else {
            for (const auto& dir : {threeDir_, twoDir_, unsafeDir_}) fs::remove_all(dir);
        }
        if (readOnlyDir_ != "/sys") {
            chmod(readOnlyDir_.c_str(), 0755);
            fs::remove_all(readOnlyDir_);
        }
    }

    template <typename Extra = void (*)(obs_data_t*)>
    static obs_source_t* createSource(
        const char* name, const char* key, const char* format, const std::string& dir,
        Extra extra = [](obs_data_t*) {}) {
        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "stt_engine", "whisper_api");
        obs_data_set_string(settings, "stt_api_key", key);
        obs_data_set_string(settings, "source_language", "en");
        obs_data_set_bool(settings, "enable_translation", false);
        obs_data_set_string(settings, "transcript_format", format);
        obs_data_set_string(settings, "transcript_dir", dir.c_str());
        extra(settings);
        obs_source_t* source = obs_source_create("sayline_source", name, settings, nullptr);
        obs_data_release(settings);
        return source;
    }

    static void onWhisper(const httplib::Request& req, httplib::Response& res) {
        const std::string key = keyOfAuthorization(req.get_header_value("Authorization"));
        int seen = 0;
        {
            std::lock_guard<std::mutex> lock(countsMutex_);
            seen = counts_[key]++;
        }
        std::string text;  // nothing heard: no subtitle
        if (key == kKeyThree && seen < 3) text = kThree[seen];
        if (key == kKeyTwo && seen == 0) text = "Good morning";
        if (key == kKeyUnsafe && seen == 0) text = kUnsafeJson;
        if (key == kKeyReadOnly && seen < 2) text = kHeard;
        res.set_content(whisperReply(text), "application/json");
    }

    static bool waitForCues(obs_source_t* source, uint64_t cues) {
        return waitUntil(
            [&] {
                return recordOf(source)->sharedOutputs->hub()->transcript()->cuesWritten() >= cues;
            },
            seconds(20));
    }

    static inline std::unique_ptr<LoopbackServer> services_;
    static inline std::unique_ptr<AudioFeed> feed_;
    static inline std::mutex countsMutex_;
    static inline std::map<std::string, int> counts_;
    obs_scene_t* scene_ = nullptr;
    obs_source_t* source_ = nullptr;
    static inline std::string threeDir_, twoDir_, unsafeDir_, readOnlyDir_;
    std::chrono::steady_clock::time_point onAirAt_;
};

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer slows the host's graphics thread several times over; 0.3 s is the bound at
// normal speed.
constexpr double kDrawnWithinSeconds = 0.5;
#else
constexpr double kDrawnWithinSeconds = 0.3;
#endif

TEST_F(TranscriptHostTest, three_subtitles_read_back_as_three_cues_at_the_times_they_were_drawn) {
    obs_source_t* three_ = createSource("transcript three", kKeyThree, "both", threeDir_);
    onAir(three_, 10000);  // three chunks of 3 s
    std::vector<double> drawnAt(kThree.size(), -1.0);
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::string shown = shownTextOf(three_);
            const double now =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - onAirAt_).count();
            for (size_t i = 0; i < kThree.size(); ++i) {
                if (drawnAt[i] < 0 && shown == kThree[i]) drawnAt[i] = now;
            }
            return drawnAt.back() >= 0;
        },
        seconds(25)))
        << HostLogCapture::instance().joined();
    ASSERT_TRUE(waitForCues(three_, 3));

    for (const char* suffix : {".srt", ".vtt"}) {
        const auto files = filesEndingWith(threeDir_, suffix);
        ASSERT_EQ(files.size(), 1u) << suffix;
        const std::string name = fs::path(files[0]).filename().string();
        EXPECT_TRUE(std::regex_match(
            name, std::regex(R"(sayline-\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.(srt|vtt))")))
            << name;
        // UTF-8 without a byte-order mark; WebVTT with its header.
        EXPECT_EQ(
            contents(files[0]).rfind(suffix == std::string(".srt") ? "1\n" : "WEBVTT\n\n1\n", 0),
            0u);

        const SubtitleReadBack back = readBackSubtitles(files[0]);
        EXPECT_EQ(back.codec, suffix == std::string(".srt") ? "subrip" : "webvtt");
        EXPECT_EQ(back.packets, 3);
        ASSERT_EQ(back.cues.size(), kThree.size()) << back.raw;
        for (size_t i = 0; i < kThree.size(); ++i) {
            EXPECT_EQ(back.cues[i].text, kThree[i]);
            EXPECT_NEAR(back.cues[i].startSeconds, drawnAt[i], kDrawnWithinSeconds) << kThree[i];
            if (i > 0) {
                EXPECT_LE(back.cues[i - 1].endSeconds, back.cues[i].startSeconds);
            }
        }
    }
}

TEST_F(TranscriptHostTest, translation_goes_to_a_second_track_named_by_its_language) {
    obs_source_t* two_ = createSource("transcript two", kKeyTwo, "srt", twoDir_, [](obs_data_t* s) {
        obs_data_set_bool(s, "enable_translation", true);
        obs_data_set_string(s, "translation_provider", "deepl");
        obs_data_set_string(s, "translation_api_key", kKeyDeepl);
        obs_data_set_string(s, "target_language", "ko");
    });
    onAir(two_, 3500);
    ASSERT_TRUE(waitForCues(two_, 1)) << HostLogCapture::instance().joined();
    const auto original = filesEndingWith(twoDir_, ".en.srt");
    const auto translated = filesEndingWith(twoDir_, ".ko.srt");
    ASSERT_EQ(original.size(), 1u);
    ASSERT_EQ(translated.size(), 1u);
    EXPECT_EQ(filesEndingWith(twoDir_, "").size(), 2u);
    EXPECT_EQ(original[0].substr(0, original[0].size() - 7),
              translated[0].substr(0, translated[0].size() - 7));

    const SubtitleReadBack english = readBackSubtitles(original[0]);
    ASSERT_EQ(english.cues.size(), 1u) << english.raw;
    EXPECT_EQ(english.cues[0].text, "Good morning");
    const SubtitleReadBack korean = readBackSubtitles(translated[0]);
    ASSERT_EQ(korean.cues.size(), 1u) << korean.raw;
    EXPECT_EQ(korean.cues[0].text, "좋은 아침");
    EXPECT_EQ(korean.cues[0].startSeconds, english.cues[0].startSeconds);
}

TEST_F(TranscriptHostTest, a_blank_line_and_an_arrow_in_the_text_stay_one_cue) {
    obs_source_t* unsafe_ = createSource("transcript unsafe", kKeyUnsafe, "srt", unsafeDir_);
    onAir(unsafe_, 3500);
    ASSERT_TRUE(waitForCues(unsafe_, 1)) << HostLogCapture::instance().joined();
    const auto files = filesEndingWith(unsafeDir_, ".srt");
    ASSERT_EQ(files.size(), 1u);
    const SubtitleReadBack back = readBackSubtitles(files[0]);
    EXPECT_EQ(back.packets, 1);
    ASSERT_EQ(back.cues.size(), 1u) << back.raw;
    EXPECT_EQ(back.cues[0].text, "top line\nmiddle -> end");
}

TEST_F(TranscriptHostTest, a_folder_that_takes_no_files_is_one_error_and_subtitles_go_on) {
    obs_source_t* readOnly_ =
        createSource("transcript read-only", kKeyReadOnly, "srt", readOnlyDir_);
    onAir(readOnly_, 7000);  // two chunks
    const std::string error =
        "[obs-sayline] [Transcript] Cannot write " + readOnlyDir_ + "/sayline-";
    auto errors = [&] {
        size_t n = 0;
        for (const auto& line : HostLogCapture::instance().moduleLines()) {
            if (line.text.rfind(error, 0) == 0) {
                EXPECT_EQ(line.level, LOG_ERROR);
                EXPECT_NE(line.text.find(".srt: Permission denied - transcript stopped"),
                          std::string::npos)
                    << line.text;
                ++n;
            }
        }
        return n;
    };
    ASSERT_TRUE(waitUntil([&] { return errors() > 0; }, seconds(20)))
        << HostLogCapture::instance().joined();
    // The second subtitle is shown too, and does not try the folder again.
    ASSERT_TRUE(waitUntil(
        [] {
            std::lock_guard<std::mutex> lock(countsMutex_);
            return counts_[kKeyReadOnly] >= 2;
        },
        seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(pendingTextOf(readOnly_), kHeard);
    EXPECT_EQ(errors(), 1u);
    EXPECT_EQ(recordOf(readOnly_)->sharedOutputs->hub()->transcript()->cuesWritten(), 0u);
}

}  // namespace
}  // namespace obs_sayline::test
