// End to end inside the headless host: Sayline sources listen to the host's mix, send their
// chunks to loopback speech and translation services and put the subtitle on screen.
//
// Three seconds of real audio take three seconds, so every scenario gets its own source and
// they all hear the same 4 s of speech-like audio at once; each source has its own API key, by
// which the loopback services pick the reply for that scenario.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/harness/audio_feed.h"
#include "host/harness/obs_host.h"
#include "plugin_host_support.h"
#include "stt/stt_wire.h"
#include "support/loopback_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// One key per scenario; the services answer by key.
constexpr const char* kKeyE2e = "sk-e2e-7a1c";
constexpr const char* kKeyDeeplStt = "sk-deepl-stt-5b2e";
constexpr const char* kKeyDeepl = "deepl-key-91f0";
constexpr const char* kKeyFailStt = "sk-fail-stt-3d4f";
constexpr const char* kKeyFailTr = "deepl-fail-8e2a";
constexpr const char* kKeyDeepgram = "dg-key-6c7d";
constexpr const char* kKeyPhantom = "sk-phantom-0a9b";
constexpr const char* kKeyLowConf = "sk-lowconf-4e5f";
constexpr const char* kKeyStop = "sk-stop-2f6a";
constexpr const char* kKeyStall = "sk-stall-1b8c";

const std::vector<std::string> kAllKeys = {kKeyE2e,    kKeyDeeplStt, kKeyDeepl,   kKeyFailStt,
                                           kKeyFailTr, kKeyDeepgram, kKeyPhantom, kKeyLowConf,
                                           kKeyStop,   kKeyStall};

constexpr int kStallMs = 8000;

std::string keyOf(const RecordedRequest& request) {
    return keyOfAuthorization(request.header("Authorization"));
}

obs_data_t* whisperSettings(const char* key) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", key);
    obs_data_set_string(settings, "source_language", "en");
    obs_data_set_bool(settings, "enable_translation", false);
    return settings;
}

class SubtitlePipelineHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        services_ = std::make_unique<LoopbackServer>();
        services_->on("POST", "/v1/audio/transcriptions", &SubtitlePipelineHostTest::onWhisper);
        services_->on("POST", "/v1/listen", [](const httplib::Request&, httplib::Response& res) {
            const bool first = deepgramCount_.fetch_add(1) == 0;
            res.set_content(
                std::string(R"({"metadata":{"duration":3.0},"results":{"channels":[{)") +
                    R"("alternatives":[{"transcript":")" + (first ? "Deepgram hears you" : "") +
                    R"(","confidence":0.93}]}]}})",
                "application/json");
        });
        services_->on(
            "POST", "/v2/translate", [](const httplib::Request& req, httplib::Response& res) {
                if (req.get_header_value("Authorization").find(kKeyFailTr) != std::string::npos) {
                    res.status = 403;
                    res.set_content(R"({"message":"Wrong key"})", "application/json");
                    return;
                }
                res.set_content(
                    R"({"translations":[{"detected_source_language":"EN","text":"좋은 아침"}]})",
                    "application/json");
            });
        ASSERT_TRUE(services_->start());
        setenv("SAYLINE_OPENAI_BASE_URL", services_->baseUrl().c_str(), 1);
        setenv("SAYLINE_DEEPGRAM_BASE_URL", services_->baseUrl().c_str(), 1);
        setenv("SAYLINE_DEEPL_BASE_URL", services_->baseUrl().c_str(), 1);

        HostLogCapture::instance().clear();
        feed_ = std::make_unique<AudioFeed>();

        obs_data_t* e2e = whisperSettings(kKeyE2e);
        obs_data_set_int(e2e, "subtitle_duration", 1000);
        e2e_ = obs_source_create("sayline_source", "e2e", e2e, nullptr);
        obs_data_release(e2e);

        obs_data_t* deepl = whisperSettings(kKeyDeeplStt);
        obs_data_set_bool(deepl, "enable_translation", true);
        obs_data_set_bool(deepl, "show_original", true);
        obs_data_set_string(deepl, "translation_provider", "deepl");
        obs_data_set_string(deepl, "translation_api_key", kKeyDeepl);
        obs_data_set_string(deepl, "target_language", "ko");
        deepl_ = obs_source_create("sayline_source", "deepl", deepl, nullptr);
        obs_data_release(deepl);

        obs_data_t* failing = whisperSettings(kKeyFailStt);
        obs_data_set_bool(failing, "enable_translation", true);
        obs_data_set_bool(failing, "show_original", true);
        obs_data_set_string(failing, "translation_provider", "deepl");
        obs_data_set_string(failing, "translation_api_key", kKeyFailTr);
        failing_ = obs_source_create("sayline_source", "failing provider", failing, nullptr);
        obs_data_release(failing);

        obs_data_t* deepgram = whisperSettings(kKeyDeepgram);
        obs_data_set_string(deepgram, "stt_engine", "deepgram");
        deepgram_ = obs_source_create("sayline_source", "deepgram", deepgram, nullptr);
        obs_data_release(deepgram);

        for (auto [key, slot] :
             {std::pair{kKeyPhantom, &phantom_}, std::pair{kKeyLowConf, &lowConf_},
              std::pair{kKeyStop, &stop_}, std::pair{kKeyStall, &stall_}}) {
            obs_data_t* settings = whisperSettings(key);
            const std::string name =
                "scenario " + std::to_string(reinterpret_cast<uintptr_t>(slot));
            *slot = obs_source_create("sayline_source", name.c_str(), settings, nullptr);
            obs_data_release(settings);
        }

        // Only the end-to-end source is drawn: it fills the top of the canvas.
        scene_ = obs_scene_create("sayline pipeline scene");
        obs_scene_add(scene_, e2e_);
        obs_set_output_source(0, obs_scene_get_source(scene_));

        // Speech-like: a loud tone, 4 s, so 1 s is left in each buffer after the first chunk.
        feed_->pushSine(220.0, 0.4f, 4000);
    }

    static void TearDownTestSuite() {
        obs_set_output_source(0, nullptr);
        obs_scene_release(scene_);
        // The services must outlive the sources' stops.
        EXPECT_TRUE(releaseAndWaitDestroyed(
            {e2e_, deepl_, failing_, deepgram_, phantom_, lowConf_, stop_, stall_}, seconds(20)));
        feed_.reset();
        // Keys must not show up in the host log, whatever happened.
        const std::string log = HostLogCapture::instance().joined();
        for (const auto& key : kAllKeys) {
            EXPECT_EQ(log.find(key), std::string::npos) << "key " << key << " was logged";
        }
        services_.reset();
        unsetenv("SAYLINE_OPENAI_BASE_URL");
        unsetenv("SAYLINE_DEEPGRAM_BASE_URL");
        unsetenv("SAYLINE_DEEPL_BASE_URL");
    }

    static void onWhisper(const httplib::Request& req, httplib::Response& res) {
        const std::string key = keyOfAuthorization(req.get_header_value("Authorization"));
        int seen = 0;
        {
            std::lock_guard<std::mutex> lock(countsMutex_);
            seen = whisperCounts_[key]++;
        }
        // Later chunks (the tail of the tone) recognise nothing, so what is shown stays put.
        if (seen > 0 && key != kKeyStop) {
            res.set_content(whisperReply(""), "application/json");
            return;
        }
        std::string reply = whisperReply("Hello from Sayline");
        if (key == kKeyDeeplStt || key == kKeyFailStt) reply = whisperReply("Good morning");
        if (key == kKeyPhantom) reply = whisperReply("Thanks for watching everyone");
        if (key == kKeyLowConf) reply = whisperReply("maybe words", 3.0, -3.0);
        if (key == kKeyStop) {
            reply = whisperReply(seen == 0 ? "first part" : "second part");
        }
        if (key == kKeyStall) {
            services_->stall(kStallMs);
            reply = whisperReply("late words");
        }
        res.set_content(reply, "application/json");
    }

    static std::vector<RecordedRequest> requestsWithKey(const std::string& key) {
        std::vector<RecordedRequest> out;
        for (auto& request : services_->requests()) {
            if (keyOf(request) == key) out.push_back(request);
        }
        return out;
    }

    static bool waitForRequests(const std::string& key, size_t count, milliseconds timeout) {
        return waitUntil([&] { return requestsWithKey(key).size() >= count; }, timeout);
    }

    static inline std::unique_ptr<LoopbackServer> services_;
    static inline std::unique_ptr<AudioFeed> feed_;
    static inline std::mutex countsMutex_;
    static inline std::map<std::string, int> whisperCounts_;
    static inline std::atomic<int> deepgramCount_{0};
    static inline obs_scene_t* scene_ = nullptr;
    static inline obs_source_t* e2e_ = nullptr;
    static inline obs_source_t* deepl_ = nullptr;
    static inline obs_source_t* failing_ = nullptr;
    static inline obs_source_t* deepgram_ = nullptr;
    static inline obs_source_t* phantom_ = nullptr;
    static inline obs_source_t* lowConf_ = nullptr;
    static inline obs_source_t* stop_ = nullptr;
    static inline obs_source_t* stall_ = nullptr;
};

TEST_F(SubtitlePipelineHostTest, whisper_result_is_drawn_centred_and_cleared_after_its_time) {
    ASSERT_TRUE(waitForRequests(kKeyE2e, 1, seconds(10))) << HostLogCapture::instance().joined();
    const RecordedRequest request = requestsWithKey(kKeyE2e).front();
    EXPECT_EQ(request.path, "/v1/audio/transcriptions");
    const RecordedPart* file = nullptr;
    for (auto& part : request.parts) {
        if (part.name == "file") file = &part;
    }
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(wavProblems(file->content, 16000, 1), "");
    // One chunk: what was buffered when it reached 3 s (the host delivers ~1024-frame blocks).
    const size_t samples = (file->content.size() - 44) / 2;
    EXPECT_GE(samples, 48000u);
    EXPECT_LT(samples, 48000u + 1024u);
    EXPECT_TRUE(
        HostLogCapture::instance().containsSubstring("[obs-sayline] [Audio] Buffer full (30"));
    EXPECT_TRUE(
        HostLogCapture::instance().containsSubstring("[obs-sayline] [VAD] Speech detected (RMS="));

    ASSERT_TRUE(waitUntil([] { return shownTextOf(e2e_) == "Hello from Sayline"; }, seconds(5)))
        << shownTextOf(e2e_);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [STT] Result: \"Hello from Sayline\" (lang=english, conf=0.90)"));

    // Drawn: bright text pixels inside the source's box (the top 160 rows), centred in it.
    Frame last;
    auto drawn = FrameGrabber::waitFor(
        [](const Frame& f) { return brightPixels(f, f.height).count > 50; }, seconds(3), &last);
    ASSERT_TRUE(drawn.has_value())
        << "no text pixels; centre pixel " << std::hex << last.argb(640, 80);
    const PixelBox box = brightPixels(*drawn, drawn->height);
    EXPECT_LT(box.bottom, 160u);
    EXPECT_NEAR(box.centreX(), 640.0, 40.0);
    EXPECT_NEAR(box.centreY(), 80.0, 25.0);

    // Cleared once its second is up.
    ASSERT_TRUE(waitUntil([] { return shownTextOf(e2e_).empty(); }, seconds(3)));
    auto cleared = FrameGrabber::waitFor(
        [](const Frame& f) { return brightPixels(f, f.height).count == 0; }, seconds(3));
    EXPECT_TRUE(cleared.has_value());
}

TEST_F(SubtitlePipelineHostTest, translation_with_original_shows_two_lines) {
    ASSERT_TRUE(waitUntil([] { return !pendingTextOf(deepl_).empty(); }, seconds(10)))
        << HostLogCapture::instance().joined();
    EXPECT_EQ(pendingTextOf(deepl_), "Good morning\n좋은 아침");
    const auto translations = requestsWithKey(kKeyDeepl);
    ASSERT_GE(translations.size(), 1u);
    EXPECT_EQ(translations[0].path, "/v2/translate");
    EXPECT_NE(translations[0].body.find("text=Good%20morning"), std::string::npos)
        << translations[0].body;
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [Translation] OK: \"좋은 아침\""));
}

TEST_F(SubtitlePipelineHostTest, failing_provider_leaves_the_original_alone) {
    ASSERT_TRUE(waitUntil([] { return !pendingTextOf(failing_).empty(); }, seconds(10)))
        << HostLogCapture::instance().joined();
    EXPECT_EQ(pendingTextOf(failing_), "Good morning");
    EXPECT_TRUE(
        HostLogCapture::instance().containsSubstring("[obs-sayline] [Translation] Failed: "));
}

TEST_F(SubtitlePipelineHostTest, deepgram_engine_recognises_the_chunk) {
    ASSERT_TRUE(waitUntil([] { return !pendingTextOf(deepgram_).empty(); }, seconds(10)))
        << HostLogCapture::instance().joined();
    EXPECT_EQ(pendingTextOf(deepgram_), "Deepgram hears you");
    const auto requests = requestsWithKey(kKeyDeepgram);
    ASSERT_GE(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/v1/listen");
    EXPECT_EQ(wavProblems(requests[0].body, 16000, 1), "");
    EXPECT_TRUE(HostLogCapture::instance().contains("[obs-sayline] Deepgram API key configured"));
}

TEST_F(SubtitlePipelineHostTest, phantom_phrase_and_unsure_result_show_nothing) {
    ASSERT_TRUE(waitForLine(
        "[obs-sayline] [STT] Filtered hallucination: \"Thanks for watching everyone\" (conf=0.90)",
        seconds(10)))
        << HostLogCapture::instance().joined();
    ASSERT_TRUE(waitForLine(
        "[obs-sayline] [STT] Filtered hallucination: \"maybe words\" (conf=0.05)", seconds(10)))
        << HostLogCapture::instance().joined();
    for (obs_source_t* source : {phantom_, lowConf_}) {
        EXPECT_EQ(pendingTextOf(source), "");
        EXPECT_FALSE(recordOf(source)->scene->dirty());
    }
}

TEST_F(SubtitlePipelineHostTest, stop_recognises_what_is_left_and_clears_the_text) {
    ASSERT_TRUE(waitUntil([] { return pendingTextOf(stop_) == "first part"; }, seconds(10)))
        << HostLogCapture::instance().joined();
    // Let some of the last second of tone pile up, then stop by choosing no engine.
    std::this_thread::sleep_for(milliseconds(300));
    obs_data_t* none = obs_data_create();
    obs_data_set_string(none, "stt_engine", "none");
    const std::string noEngine = sourceLine(stop_, "has no speech engine chosen - not capturing");
    const size_t noEngineBefore = HostLogCapture::instance().count(noEngine);
    obs_source_update(stop_, none);  // the host applies it on its next video tick
    obs_data_release(none);
    ASSERT_TRUE(waitForAnotherLine(noEngine, noEngineBefore, seconds(5)));
    // Run in the video tick, the stop leaves the rest to a worker instead of waiting on it.
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] Update on the graphics thread - not waiting for audio processing"));
    ASSERT_TRUE(waitUntil([] { return pendingTextOf(stop_) == "second part"; }, seconds(5)))
        << HostLogCapture::instance().joined();

    const auto requests = requestsWithKey(kKeyStop);
    ASSERT_EQ(requests.size(), 2u);
    const RecordedPart* file = nullptr;
    for (auto& part : requests[1].parts) {
        if (part.name == "file") file = &part;
    }
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(wavProblems(file->content, 16000, 1), "");
    const size_t samples = (file->content.size() - 44) / 2;
    EXPECT_GT(samples, 0u);
    EXPECT_LT(samples, 48000u);
    EXPECT_EQ(pendingTextOf(stop_), "second part");
    EXPECT_EQ(shownTextOf(stop_), "");
    EXPECT_FALSE(recordOf(stop_)->capture.capturing.load());
    EXPECT_TRUE(HostLogCapture::instance().contains(sourceLine(stop_, "stopped capturing audio")));
    EXPECT_TRUE(HostLogCapture::instance().contains(noEngine));
}

TEST_F(SubtitlePipelineHostTest, destroy_gives_up_on_a_stalled_request_and_drops_its_result) {
    ASSERT_TRUE(waitForRequests(kKeyStall, 1, seconds(10))) << HostLogCapture::instance().joined();
    const std::string destroyed = sourceLine(stall_, "destroyed");
    const size_t destroyedBefore = HostLogCapture::instance().count(destroyed);
    const std::string gaveUp =
        sourceLine(stall_, "still recognising after 5 s while destroyed - its result is dropped");
    const auto start = std::chrono::steady_clock::now();
    obs_source_release(stall_);
    stall_ = nullptr;
    ASSERT_TRUE(waitForAnotherLine(destroyed, destroyedBefore, seconds(10)));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(4900));
    EXPECT_LT(took, milliseconds(7000));
    EXPECT_TRUE(HostLogCapture::instance().contains(gaveUp));

    // The late answer arrives, is logged, and goes nowhere.
    ASSERT_TRUE(
        waitForLine("[obs-sayline] [STT] Source is gone, result dropped", milliseconds(kStallMs)))
        << HostLogCapture::instance().joined();
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [STT] Result: \"late words\" (lang=english, conf=0.90)"));
    // The worker thread winds down before the module may be unloaded.
    std::this_thread::sleep_for(milliseconds(200));
}

TEST_F(SubtitlePipelineHostTest, silent_chunks_send_nothing) {
    // Once the tone is over, chunks are silence: skipped, not sent (the counter and its log
    // cadence are process-wide, so which of them is logged depends on the other tests).
    auto silenceLogged = [] {
        for (auto& line : HostLogCapture::instance().moduleLines()) {
            if (line.text.rfind("[obs-sayline] [VAD] Silence (RMS=", 0) == 0 &&
                line.text.find("< 0.003000), skipped ") != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(waitUntil(silenceLogged, seconds(15))) << HostLogCapture::instance().joined();
    const size_t sent = requestsWithKey(kKeyE2e).size();
    std::this_thread::sleep_for(milliseconds(3500));
    EXPECT_EQ(requestsWithKey(kKeyE2e).size(), sent);
    EXPECT_LE(sent, 2u);
}

}  // namespace
}  // namespace obs_sayline::test
