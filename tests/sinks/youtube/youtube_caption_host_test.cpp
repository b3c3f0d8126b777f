// Captions to YouTube inside the headless host (no front end: a source on air stands for the
// stream): two Sayline sources, a streamer and a guest, hear two utterances each, recognised by
// a loopback Whisper service, and post them through the one shared YouTube output to a loopback
// caption server that holds every post to YouTube's rules. The guest's own caption URL carries
// the wrong stream key: the streamer turned YouTube on first, so its URL is the one posted to,
// while the guest's "Test caption" still tries the guest's own. Then one source at a time
// alone: a wrong stream key, a refused caption URL, a server that never answers.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <algorithm>
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
constexpr const char* kKeyGuest = "sk-yt-guest-8a1d";
constexpr const char* kWrongCid = "wrong-stream-key-7d3c";

const std::vector<std::string> kSaid = {"Hello from Sayline.", "Captions reach YouTube on time."};
const std::vector<std::string> kGuestSaid = {"Thanks for having me.", "Both of us are captioned."};
// Where the second utterance begins after the first.
constexpr milliseconds kSecondAt{3000};

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
    // The Whisper mock, and a caption server for the stream `cid`.
    static bool startServices(const std::string& cid) {
        services_ = std::make_unique<LoopbackServer>();
        services_->on("POST", "/v1/audio/transcriptions", &YouTubeCaptionHostTest::onWhisper);
        if (!services_->start()) return false;
        setenv("SAYLINE_OPENAI_BASE_URL", services_->baseUrl().c_str(), 1);
        youtube_ = std::make_unique<YouTubeCaptionServer>(cid);
        return youtube_->start();
    }

    static void SetUpTestSuite() {
        ASSERT_TRUE(startServices("yt-live-cid-4b7e-91aa"));
        HostLogCapture::instance().clear();

        std::string wrongKeyUrl = youtube_->captionUrl();
        wrongKeyUrl.replace(wrongKeyUrl.find(youtube_->cid()), youtube_->cid().size(), kWrongCid);
        live_ = createSource("youtube live", kKeyLive, youtube_->captionUrl(), "Streamer");
        guest_ = createSource("youtube guest", kKeyGuest, wrongKeyUrl, "Guest");

        feed_ = std::make_unique<AudioFeed>();
        scene_ = obs_scene_create("sayline youtube scene");
        for (obs_source_t* source : {live_, guest_}) {
            obs_scene_add(scene_, source);
        }
        obs_set_output_source(0, obs_scene_get_source(scene_));
        // A second of quiet first: the speech detectors learn the floor before speech comes.
        ASSERT_TRUE(waitUntil(
            [] {
                for (obs_source_t* source : {live_, guest_}) {
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
        EXPECT_TRUE(releaseAndWaitDestroyed({live_, guest_}, seconds(20)));
        feed_.reset();
        // The keys travel in the URLs only.
        for (const std::string& key : {youtube_->cid(), std::string(kWrongCid)}) {
            EXPECT_FALSE(HostLogCapture::instance().containsSubstring(key)) << key;
        }
        EXPECT_TRUE(youtube_->violations().empty()) << youtube_->violations().front();
        youtube_.reset();
        services_.reset();
        unsetenv("SAYLINE_OPENAI_BASE_URL");
    }

    static obs_source_t* createSource(const char* name, const char* key, const std::string& url,
                                      const char* speaker) {
        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "stt_engine", "whisper_api");
        obs_data_set_string(settings, "stt_api_key", key);
        obs_data_set_string(settings, "source_language", "en");
        obs_data_set_bool(settings, "enable_translation", false);
        obs_data_set_string(settings, "chunk_mode", "pauses");
        obs_data_set_bool(settings, "youtube_captions", true);
        obs_data_set_string(settings, "youtube_caption_url", url.c_str());
        obs_data_set_string(settings, "speaker_name", speaker);
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
        const auto& said = key == kKeyGuest ? kGuestSaid : kSaid;
        if (seen < 2) text = said[static_cast<size_t>(seen)];
        res.set_content(whisperReply(text, 1.5), "application/json");
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
    static inline std::unique_ptr<AudioFeed> feed_;
    static inline std::mutex countsMutex_;
    static inline std::map<std::string, int> counts_;
    static inline obs_scene_t* scene_ = nullptr;
    static inline obs_source_t* live_ = nullptr;
    static inline obs_source_t* guest_ = nullptr;
    static inline system_clock::time_point speechAt_;
};

TEST_F(YouTubeCaptionHostTest, both_speakers_reach_youtube_in_one_sequence_at_the_time_spoken) {
    ASSERT_TRUE(youtube_->waitForCaptions(4, seconds(30))) << HostLogCapture::instance().joined();
    const auto captions = youtube_->captions();
    ASSERT_EQ(captions.size(), 4u);
    // One stream for both: seq from 1, one more per post, every post to the streamer's URL.
    const std::vector<uint64_t> seqs = youtube_->seqs();
    EXPECT_EQ(seqs.front(), 1u);
    for (size_t i = 1; i < seqs.size(); ++i) EXPECT_LE(seqs[i] - seqs[i - 1], 1u);
    for (const auto& post : youtube_->posts()) {
        EXPECT_EQ(post.target.find(kWrongCid), std::string::npos);
        std::printf("POST %s\n%s", redacted(post.target, youtube_->cid()).c_str(),
                    post.body.c_str());
    }
    // Each utterance once, in the order spoken, marked when the speaker changes.
    std::map<std::string, system_clock::time_point> spoken;
    for (size_t i = 0; i < 2; ++i) {
        const auto at = speechAt_ + (i == 0 ? milliseconds(0) : kSecondAt);
        spoken["Streamer: " + kSaid[i]] = at;
        spoken["Guest: " + kGuestSaid[i]] = at;
    }
    std::string previous;
    for (size_t i = 0; i < captions.size(); ++i) {
        // A long one is cut into two rows.
        std::string text = captions[i].text;
        for (size_t at = text.find("<br>"); at != std::string::npos; at = text.find("<br>")) {
            text.replace(at, 4, " ");
        }
        const bool marked = text.rfind(">> ", 0) == 0;
        if (marked) text = text.substr(3);
        std::string speaker = text.substr(0, text.find(": "));
        if (!marked) {
            speaker = previous;
            text = previous + ": " + text;
        }
        EXPECT_EQ(marked, speaker != previous) << captions[i].text;
        previous = speaker;
        ASSERT_EQ(spoken.count(text), 1u) << captions[i].text;
        const auto off =
            std::chrono::duration_cast<milliseconds>(captions[i].at - spoken[text]).count();
        EXPECT_LT(std::abs(off), 200) << captions[i].time << " is " << off << " ms off";
        if (i > 0) {
            EXPECT_LE(captions[i - 1].at, captions[i].at) << captions[i].text;
        }
        spoken.erase(text);
        std::printf("caption %zu (seq %llu): %s (%lld ms from its speech)\n", i + 1,
                    static_cast<unsigned long long>(captions[i].seq), captions[i].time.c_str(),
                    static_cast<long long>(off));
    }
    EXPECT_TRUE(spoken.empty());

    // Both rows show the shared posts.
    for (obs_source_t* source : {live_, guest_}) {
        std::string row;
        ASSERT_TRUE(waitUntil(
            [&] {
                row = statusRow(source);
                return row.find(" · Captions sent to YouTube ") != std::string::npos;
            },
            seconds(5)))
            << row;
        EXPECT_EQ(row.rfind("Status: Subtitle shown ", 0), 0u) << row;
        EXPECT_EQ(statusOf(source).code, "subtitle_shown");
        std::printf("status row: %s\n", row.c_str());
    }
    // Counted once the answer is read, a moment after the server has the post.
    std::string stats;
    EXPECT_TRUE(waitUntil(
        [&] {
            stats = sheetRow(live_, "youtube_statistics");
            return stats.find(R"("captions":4,"retries":0,)") != std::string::npos;
        },
        seconds(5)))
        << stats;
    std::printf("%s\n", stats.c_str());
}

TEST_F(YouTubeCaptionHostTest, the_test_caption_shows_youtubes_answer) {
    ASSERT_TRUE(youtube_->waitForCaptions(4, seconds(30)));
    const std::string taken = testCaption(live_);
    EXPECT_EQ(taken.rfind("YouTube took the test caption in ", 0), 0u) << taken;
    EXPECT_NE(taken.find(" ms: HTTP 200, this computer's clock is "), std::string::npos) << taken;
    EXPECT_EQ(youtube_->captions().back().text, "Sayline caption test");
    EXPECT_EQ(youtube_->captions().back().seq, 1u);

    // The guest's button tries the guest's own URL.
    const std::string refused = testCaption(guest_);
    EXPECT_EQ(refused,
              "YouTube did not take the test caption: HTTP 403: Unknown stream; check the "
              "caption URL");
    std::printf("test caption: %s\ntest caption (wrong key): %s\n", taken.c_str(), refused.c_str());
}

// One source at a time, alone on the shared output, so that its own caption URL is the one
// posted to: a wrong stream key (403), a caption URL refused before anything is sent, and a
// server that never answers.
class YouTubeCaptionAloneHostTest : public YouTubeCaptionHostTest {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(startServices("yt-alone-cid-5d1e-30cc"));
        feed_ = std::make_unique<AudioFeed>();
        HostLogCapture::instance().clear();
    }

    static void TearDownTestSuite() {
        feed_.reset();
        for (const std::string& key : {youtube_->cid(), std::string(kWrongCid)}) {
            EXPECT_FALSE(HostLogCapture::instance().containsSubstring(key)) << key;
        }
        youtube_.reset();
        services_.reset();
        unsetenv("SAYLINE_OPENAI_BASE_URL");
    }

    // The source alone in the drawn scene, hearing the two utterances.
    obs_source_t* speakAlone(const char* name, const char* key, const std::string& url) {
        obs_source_t* source = createSource(name, key, url, "");
        scene_ = obs_scene_create("sayline youtube alone");
        obs_scene_add(scene_, source);
        obs_set_output_source(0, obs_scene_get_source(scene_));
        EXPECT_TRUE(waitUntil(
            [&] { return recordOf(source)->shared->heardSamples.load() >= 16000; }, seconds(10)));
        feed_->push(joined({syllables(1500), silence(1500), syllables(1500), silence(1500)}),
                    16000);
        return source;
    }

    void leave(obs_source_t* source) {
        obs_set_output_source(0, nullptr);
        obs_scene_release(scene_);
        scene_ = nullptr;
        EXPECT_TRUE(releaseAndWaitDestroyed({source}, seconds(10)));
    }
};

TEST_F(YouTubeCaptionAloneHostTest, a_refusal_or_a_refused_url_shows_in_the_status) {
    std::string wrongKeyUrl = youtube_->captionUrl();
    wrongKeyUrl.replace(wrongKeyUrl.find(youtube_->cid()), youtube_->cid().size(), kWrongCid);
    obs_source_t* refused = speakAlone("youtube refused", "sk-yt-refused-8a1d", wrongKeyUrl);
    const std::string refusal =
        "Status: YouTube refused the captions (HTTP 403): check the caption URL";
    EXPECT_TRUE(waitUntil([&] { return pendingTextOf(refused) == kSaid[1]; }, seconds(30)))
        << pendingTextOf(refused);
    EXPECT_TRUE(waitUntil([&] { return statusRow(refused) == refusal; }, seconds(10)))
        << statusRow(refused);
    EXPECT_EQ(statusOf(refused).code, "youtube_captions_failed");
    // Both captions went once each and none again (a refusal is not retried); the second may
    // ride in one post with the first when it queued up meanwhile.
    const auto refusedCaptions = [] {
        size_t lines = 0;
        for (const auto& post : youtube_->posts()) {
            if (post.target.find(kWrongCid) == std::string::npos) continue;
            lines += static_cast<size_t>(std::count(post.body.begin(), post.body.end(), '\n'));
        }
        return lines / 2;  // a time line and a text line each
    };
    EXPECT_TRUE(waitUntil([&] { return refusedCaptions() >= 2; }, seconds(10)));
    EXPECT_EQ(refusedCaptions(), 2u);
    std::printf("refused: %s\n", statusRow(refused).c_str());
    leave(refused);

    obs_source_t* badUrl =
        speakAlone("youtube bad url", "sk-yt-badurl-5f4a",
                   "https://captions.example.com/closedcaption?cid=" + youtube_->cid());
    std::string row;
    EXPECT_TRUE(waitUntil(
        [&] {
            row = statusRow(badUrl);
            return row.rfind("Status: YouTube caption URL refused: ", 0) == 0;
        },
        seconds(10)))
        << row;
    EXPECT_EQ(statusOf(badUrl).code, "youtube_captions_failed");
    std::printf("bad URL: %s\n", row.c_str());
    leave(badUrl);
}

TEST_F(YouTubeCaptionAloneHostTest, a_stalled_caption_server_holds_nothing_up) {
    YouTubeCaptionServer stalled("yt-stalled-cid-0c5d-22bb");
    ASSERT_TRUE(stalled.start());
    stalled.setStalled(true);
    obs_source_t* stalling =
        speakAlone("youtube stalled", "sk-yt-stalled-3e9b", stalled.captionUrl());
    EXPECT_TRUE(stalled.waitForPosts(1, seconds(30)));
    // The second subtitle is recognised and shown while the first post hangs.
    EXPECT_TRUE(waitUntil([&] { return pendingTextOf(stalling) == kSaid[1]; }, seconds(30)))
        << pendingTextOf(stalling);
    // The source goes on working (the next chunk may already be on its way: "Sending…"), and
    // the held post is no problem yet.
    const std::string row = statusRow(stalling);
    const std::string code = statusOf(stalling).code;
    EXPECT_TRUE(code == "subtitle_shown" || code == "sending" || code == "listening" ||
                code == "waiting_for_speech")
        << code << ": " << row;
    EXPECT_EQ(row.find("YouTube"), std::string::npos) << row;
    std::printf("stalled: %s\n", row.c_str());
    // Removing the only source sending ends the post in flight with it.
    leave(stalling);
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring(stalled.cid()));
}

}  // namespace
}  // namespace obs_sayline::test
