// Captions to YouTube inside the headless host (no front end: a source on air stands for the
// stream): Sayline sources in the drawn scene hear two utterances, recognised by a loopback
// Whisper service, and post them to loopback caption servers that hold every post to YouTube's
// rules: one that takes them, the same with the wrong stream key (403), one that never answers,
// and a caption URL that is refused before anything is sent.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/harness/audio_feed.h"
#include "plugin/plugin_host_support.h"
#include "support/loopback_server.h"
#include "support/test_audio.h"
#include "support/youtube_caption_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::system_clock;

constexpr const char* kKeyLive = "sk-yt-live-6c2f";
constexpr const char* kKeyRefused = "sk-yt-refused-8a1d";
constexpr const char* kKeyStalled = "sk-yt-stalled-3e9b";
constexpr const char* kKeyBadUrl = "sk-yt-badurl-5f4a";
constexpr const char* kWrongCid = "wrong-stream-key-7d3c";

const std::vector<std::string> kSaid = {"Hello from Sayline.", "Captions reach YouTube on time."};
// Where the second utterance begins after the first.
constexpr milliseconds kSecondAt{3000};

std::string whisperReply(const std::string& text) {
    return R"({"text":")" + text + R"(","language":"english","duration":1.5,)" +
           R"("segments":[{"start":0.0,"end":1.5,"avg_logprob":-0.1,"no_speech_prob":0.01}]})";
}

// A URL as the report may show it: the stream's key replaced.
std::string redacted(std::string text, const std::string& key) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
        text.replace(at, key.size(), "REDACTED");
    }
    return text;
}

std::string sheetRow(obs_source_t* source, const char* name) {
    obs_properties_t* sheet = obs_source_properties(source);
    obs_property_t* row = obs_properties_get(sheet, name);
    const std::string text = row ? obs_property_description(row) : "<no row>";
    obs_properties_destroy(sheet);
    return text;
}

class YouTubeCaptionHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        services_ = std::make_unique<LoopbackServer>();
        services_->on("POST", "/v1/audio/transcriptions", &YouTubeCaptionHostTest::onWhisper);
        ASSERT_TRUE(services_->start());
        setenv("SAYLINE_OPENAI_BASE_URL", services_->baseUrl().c_str(), 1);
        youtube_ = std::make_unique<YouTubeCaptionServer>("yt-live-cid-4b7e-91aa");
        stalled_ = std::make_unique<YouTubeCaptionServer>("yt-stalled-cid-0c5d-22bb");
        ASSERT_TRUE(youtube_->start());
        ASSERT_TRUE(stalled_->start());
        stalled_->setStalled(true);
        HostLogCapture::instance().clear();

        std::string wrongKeyUrl = youtube_->captionUrl();
        wrongKeyUrl.replace(wrongKeyUrl.find(youtube_->cid()), youtube_->cid().size(), kWrongCid);
        live_ = createSource("youtube live", kKeyLive, youtube_->captionUrl());
        refused_ = createSource("youtube refused", kKeyRefused, wrongKeyUrl);
        stalling_ = createSource("youtube stalled", kKeyStalled, stalled_->captionUrl());
        badUrl_ = createSource("youtube bad url", kKeyBadUrl,
                               "https://captions.example.com/closedcaption?cid=" + youtube_->cid());

        feed_ = std::make_unique<AudioFeed>();
        scene_ = obs_scene_create("sayline youtube scene");
        for (obs_source_t* source : {live_, refused_, stalling_, badUrl_}) {
            obs_scene_add(scene_, source);
        }
        obs_set_output_source(0, obs_scene_get_source(scene_));
        // A second of quiet first: the speech detectors learn the floor before speech comes.
        ASSERT_TRUE(waitUntil(
            [] {
                for (obs_source_t* source : {live_, refused_, stalling_, badUrl_}) {
                    if (recordOf(source)->shared->heardSamples.load() < 16000) return false;
                }
                return true;
            },
            seconds(10)));

        // The feed plays from now on: its first sample is heard at this instant.
        speechAt_ = system_clock::now();
        feed_->push(joined({syllables(1500), silence(1500), syllables(1500), silence(1500)}),
                    16000);
    }

    static void TearDownTestSuite() {
        obs_set_output_source(0, nullptr);
        obs_scene_release(scene_);
        EXPECT_TRUE(releaseAndWaitDestroyed({live_, refused_, stalling_, badUrl_}, seconds(20)));
        feed_.reset();
        // The keys travel in the URLs only.
        for (const std::string& key : {youtube_->cid(), stalled_->cid(), std::string(kWrongCid)}) {
            EXPECT_FALSE(HostLogCapture::instance().containsSubstring(key)) << key;
        }
        EXPECT_TRUE(youtube_->violations().empty()) << youtube_->violations().front();
        youtube_.reset();
        stalled_.reset();
        services_.reset();
        unsetenv("SAYLINE_OPENAI_BASE_URL");
    }

    static obs_source_t* createSource(const char* name, const char* key, const std::string& url) {
        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "stt_engine", "whisper_api");
        obs_data_set_string(settings, "stt_api_key", key);
        obs_data_set_string(settings, "source_language", "en");
        obs_data_set_bool(settings, "enable_translation", false);
        obs_data_set_string(settings, "chunk_mode", "pauses");
        obs_data_set_bool(settings, "youtube_captions", true);
        obs_data_set_string(settings, "youtube_caption_url", url.c_str());
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
        std::string text;
        if (key != kKeyBadUrl && seen < 2) text = kSaid[static_cast<size_t>(seen)];
        res.set_content(whisperReply(text), "application/json");
    }

    // Clicks "Test caption" and waits for the outcome row.
    static std::string testCaption(obs_source_t* source) {
        obs_properties_t* props = obs_source_properties(source);
        EXPECT_TRUE(
            obs_property_button_clicked(obs_properties_get(props, "test_youtube_caption"), source));
        obs_properties_destroy(props);
        std::string outcome;
        EXPECT_TRUE(waitUntil(
            [&] {
                outcome = sheetRow(source, "youtube_caption_test");
                return outcome.find("YouTube took") == 0 || outcome.find("YouTube did not") == 0;
            },
            seconds(10)))
            << outcome;
        return outcome;
    }

    static inline std::unique_ptr<LoopbackServer> services_;
    static inline std::unique_ptr<YouTubeCaptionServer> youtube_;
    static inline std::unique_ptr<YouTubeCaptionServer> stalled_;
    static inline std::unique_ptr<AudioFeed> feed_;
    static inline std::mutex countsMutex_;
    static inline std::map<std::string, int> counts_;
    static inline obs_scene_t* scene_ = nullptr;
    static inline obs_source_t* live_ = nullptr;
    static inline obs_source_t* refused_ = nullptr;
    static inline obs_source_t* stalling_ = nullptr;
    static inline obs_source_t* badUrl_ = nullptr;
    static inline system_clock::time_point speechAt_;
};

TEST_F(YouTubeCaptionHostTest, subtitles_reach_youtube_in_order_at_the_time_they_were_spoken) {
    ASSERT_TRUE(youtube_->waitForCaptions(2, seconds(30))) << HostLogCapture::instance().joined();
    const auto captions = youtube_->captions();
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(youtube_->seqs(), (std::vector<uint64_t>{1, 2}));
    const system_clock::time_point spoken[] = {speechAt_, speechAt_ + kSecondAt};
    for (size_t i = 0; i < captions.size(); ++i) {
        EXPECT_EQ(captions[i].text, kSaid[i]);
        const auto off =
            std::chrono::duration_cast<milliseconds>(captions[i].at - spoken[i]).count();
        EXPECT_LT(std::abs(off), 200) << captions[i].time << " is " << off << " ms off";
        std::printf("caption %zu: %s (%lld ms from its speech)\n", i + 1, captions[i].time.c_str(),
                    static_cast<long long>(off));
    }
    for (const auto& post : youtube_->posts()) {
        std::printf("POST %s\n%s", redacted(post.target, youtube_->cid()).c_str(),
                    post.body.c_str());
    }

    std::string row;
    ASSERT_TRUE(waitUntil(
        [&] {
            row = statusRow(live_);
            return row.find(" · Captions sent to YouTube ") != std::string::npos;
        },
        seconds(5)))
        << row;
    EXPECT_EQ(row.rfind("Status: Subtitle shown ", 0), 0u) << row;
    EXPECT_EQ(statusOf(live_).code, "subtitle_shown");
    std::printf("status row: %s\n", row.c_str());
    // Counted once the answer is read, a moment after the server has the post.
    std::string stats;
    EXPECT_TRUE(waitUntil(
        [&] {
            stats = sheetRow(live_, "youtube_statistics");
            return stats.rfind(R"(YouTube captions: {"posts":2,"captions":2,"retries":0,)", 0) == 0;
        },
        seconds(5)))
        << stats;
    std::printf("%s\n", stats.c_str());
}

TEST_F(YouTubeCaptionHostTest,
       a_refusal_or_a_refused_url_shows_in_the_status_and_the_rest_goes_on) {
    const std::string refusal =
        "Status: YouTube refused the captions (HTTP 403): check the caption URL";
    ASSERT_TRUE(waitUntil([] { return pendingTextOf(refused_) == kSaid[1]; }, seconds(30)))
        << pendingTextOf(refused_);
    ASSERT_TRUE(waitUntil([&] { return statusRow(refused_) == refusal; }, seconds(10)))
        << statusRow(refused_);
    EXPECT_EQ(statusOf(refused_).code, "youtube_captions_failed");

    const std::string badUrl = statusRow(badUrl_);
    EXPECT_EQ(badUrl.rfind("Status: YouTube caption URL refused: ", 0), 0u) << badUrl;
    EXPECT_EQ(statusOf(badUrl_).code, "youtube_captions_failed");
    std::printf("refused: %s\nbad URL: %s\n", refusal.c_str(), badUrl.c_str());
    // Posts came from the three sources with an accepted URL only: two each.
    size_t wrongKey = 0;
    for (const auto& post : youtube_->posts()) {
        if (post.target.find(kWrongCid) != std::string::npos) ++wrongKey;
    }
    EXPECT_EQ(wrongKey, 2u);
}

TEST_F(YouTubeCaptionHostTest, a_stalled_caption_server_holds_nothing_up) {
    ASSERT_TRUE(stalled_->waitForPosts(1, seconds(30)));
    // The second subtitle is recognised and shown while the first post hangs.
    ASSERT_TRUE(waitUntil([] { return pendingTextOf(stalling_) == kSaid[1]; }, seconds(30)))
        << pendingTextOf(stalling_);
    const std::string row = statusRow(stalling_);
    EXPECT_EQ(row.rfind("Status: Subtitle shown ", 0), 0u) << row;
    std::printf("stalled: %s\n", row.c_str());
    // Removing the source aborts the post in flight.
    const auto started = std::chrono::steady_clock::now();
    obs_sceneitem_remove(obs_scene_find_source(scene_, "youtube stalled"));
    EXPECT_TRUE(releaseAndWaitDestroyed({stalling_}, seconds(5)));
    stalling_ = nullptr;
    EXPECT_LT(std::chrono::steady_clock::now() - started, seconds(3));
}

TEST_F(YouTubeCaptionHostTest, the_test_caption_shows_youtubes_answer) {
    ASSERT_TRUE(youtube_->waitForCaptions(2, seconds(30)));
    const std::string taken = testCaption(live_);
    EXPECT_EQ(taken.rfind("YouTube took the test caption in ", 0), 0u) << taken;
    EXPECT_NE(taken.find(" ms: HTTP 200, this computer's clock is "), std::string::npos) << taken;
    EXPECT_EQ(youtube_->captions().back().text, "Sayline caption test");
    EXPECT_EQ(youtube_->captions().back().seq, 1u);

    const std::string refused = testCaption(refused_);
    EXPECT_EQ(refused,
              "YouTube did not take the test caption: HTTP 403: Unknown stream; check the "
              "caption URL");
    std::printf("test caption: %s\ntest caption (wrong key): %s\n", taken.c_str(), refused.c_str());
}

}  // namespace
}  // namespace obs_sayline::test
