// Two voices, one caption stream, inside the headless host: a streamer and a guest, each heard
// by a Sayline source of its own from an audio source of its own, speak at the same time; a
// third source (captions and transcript off) speaks too. A loopback recogniser answers each
// request by the tone it carries. The recording's captions are read back with ffmpeg and the
// shared transcript from its file.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/audio_feed.h"
#include "host/harness/host_recording.h"
#include "host/harness/obs_host.h"
#include "plugin/plugin_host_support.h"
#include "support/caption_readback.h"
#include "support/loopback_server.h"
#include "support/subtitle_readback.h"

namespace obs_sayline::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr const char* kKey = "sk-two-speakers-8c1d";
constexpr int kDisplayMs = 2000;

// What each tone "says".
const std::map<int, std::string> kSentences = {
    {300, "Welcome back to the stream"},
    {350, "Let us get started"},
    {500, "Thanks for having me"},
    {700, "This stays off the record"},
};

// The tone of `kSentences` strongest in a request's 16 kHz WAV (Goertzel); 0 for silence.
int loudestTone(const std::string& wav) {
    int best = 0;
    double bestLevel = 0.05;
    for (const auto& [hz, sentence] : kSentences) {
        const double coefficient = 2.0 * std::cos(2.0 * M_PI * hz / 16000.0);
        double s1 = 0.0, s2 = 0.0;
        size_t n = 0;
        for (size_t i = 44; i + 1 < wav.size(); i += 2, ++n) {
            const int16_t x = static_cast<int16_t>(static_cast<uint8_t>(wav[i]) |
                                                   (static_cast<uint8_t>(wav[i + 1]) << 8));
            const double s = x / 32768.0 + coefficient * s1 - s2;
            s2 = s1;
            s1 = s;
        }
        if (n == 0) continue;
        const double level =
            2.0 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coefficient * s1 * s2)) / n;
        if (level > bestLevel) {
            best = hz;
            bestLevel = level;
        }
    }
    return best;
}

obs_source_t* listener(const char* name, const char* speaker, const char* audio, bool captions,
                       const char* transcript, const std::string& dir, bool nameInScene = false) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", kKey);
    obs_data_set_string(settings, "source_language", "en");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_data_set_int(settings, "subtitle_duration", kDisplayMs);
    obs_data_set_string(settings, "audio_source", audio);
    obs_data_set_string(settings, "speaker_name", speaker);
    obs_data_set_bool(settings, "speaker_in_scene", nameInScene);
    obs_data_set_bool(settings, "cc_enabled", captions);
    obs_data_set_string(settings, "transcript_format", transcript);
    obs_data_set_string(settings, "transcript_dir", dir.c_str());
    obs_source_t* source = obs_source_create("sayline_source", name, settings, nullptr);
    obs_data_release(settings);
    return source;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TwoSpeakersHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        for (const char* plugin : {"obs-x264", "obs-ffmpeg"}) {
            ASSERT_TRUE(ObsHost::instance().loadHostPlugin(plugin, &error)) << error;
        }
        char dir[] = "/tmp/sayline-two-speakers-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        workDir_ = dir;
        transcriptDir_ = workDir_ + "/transcripts";
        fs::create_directories(transcriptDir_);

        services_ = std::make_unique<LoopbackServer>();
        services_->on("POST", "/v1/audio/transcriptions", &TwoSpeakersHostTest::onWhisper);
        ASSERT_TRUE(services_->start());
        setenv("SAYLINE_OPENAI_BASE_URL", services_->baseUrl().c_str(), 1);
        HostLogCapture::instance().clear();
        recording_ = std::make_unique<HostRecording>("two speakers");
        ASSERT_TRUE(recording_->start(workDir_ + "/recording.mkv"))
            << HostLogCapture::instance().joined();

        hostMic_ = std::make_unique<AudioFeed>(AudioFeed::kNotInMix, "Sayline streamer mic");
        guestCall_ = std::make_unique<AudioFeed>(AudioFeed::kNotInMix, "Sayline guest call");
        thirdMic_ = std::make_unique<AudioFeed>(AudioFeed::kNotInMix, "Sayline third mic");
        streamer_ =
            listener("streamer", "Ann", "Sayline streamer mic", true, "vtt", transcriptDir_);
        guest_ = listener("guest", "Bo", "Sayline guest call", true, "vtt", transcriptDir_, true);
        quiet_ = listener("quiet", "Cy", "Sayline third mic", false, "off", transcriptDir_);
        scene_ = obs_scene_create("sayline two speakers scene");
        for (obs_source_t* source : {streamer_, guest_, quiet_}) obs_scene_add(scene_, source);
        obs_set_output_source(0, obs_scene_get_source(scene_));
        // On air before anyone speaks: the transcript is of the time on air, and being shown
        // starts each capture again.
        ASSERT_TRUE(waitUntil(
            [] {
                for (const char* name : {"streamer", "guest", "quiet"}) {
                    if (!HostLogCapture::instance().contains(
                            std::string("[obs-sayline] Sayline source '") + name +
                            "' shown - starting capture")) {
                        return false;
                    }
                }
                return true;
            },
            seconds(10)))
            << HostLogCapture::instance().joined();
        // The tick that showed them is over.
        ASSERT_TRUE(betweenVideoTicks([] {}));

        // Both speak at once, the streamer goes on; the third speaks meanwhile.
        hostMic_->pushSine(300.0, 0.4f, 3000);
        guestCall_->pushSine(500.0, 0.4f, 3000);
        thirdMic_->pushSine(700.0, 0.4f, 3000);
        // A feed outside the mix hands its audio over as fast as it is pushed, not as it would
        // be spoken: the streamer's next sentence goes once the worker has taken the first, or
        // the chunker, finding it busy, would keep only the newest audio and wait for more.
        ASSERT_TRUE(
            waitUntil([] { return pendingTextOf(streamer_) == kSentences.at(300); }, seconds(30)))
            << HostLogCapture::instance().joined();
        std::this_thread::sleep_for(milliseconds(500));
        hostMic_->pushSine(350.0, 0.4f, 3000);
        // Quiet after it, so the last chunk fills.
        hostMic_->pushSine(350.0, 0.0f, 2000);
        ASSERT_TRUE(waitUntil(
            [] {
                return pendingTextOf(quiet_) == kSentences.at(700) &&
                       recordOf(streamer_)->sharedOutputs->hub()->transcript()->cuesWritten() >= 3;
            },
            seconds(30)))
            << "cues written: "
            << recordOf(streamer_)->sharedOutputs->hub()->transcript()->cuesWritten() << "\n"
            << HostLogCapture::instance().joined();
        // The last captions and the clear after them reach the file.
        std::this_thread::sleep_for(milliseconds(2 * kDisplayMs + 1000));
        ASSERT_TRUE(recording_->stop()) << HostLogCapture::instance().joined();
        readback_ = readRecording(workDir_ + "/recording.mkv", workDir_);
    }

    static void TearDownTestSuite() {
        obs_set_output_source(0, nullptr);
        obs_scene_release(scene_);
        EXPECT_TRUE(releaseAndWaitDestroyed({streamer_, guest_, quiet_}, seconds(20)));
        hostMic_.reset();
        guestCall_.reset();
        thirdMic_.reset();
        // A set-up that gave up half way left the recording going; it is stopped first.
        recording_.reset();
        services_.reset();
        unsetenv("SAYLINE_OPENAI_BASE_URL");
        if (!workDir_.empty() && !getenv("SAYLINE_TEST_KEEP_FILES")) fs::remove_all(workDir_);
    }

    // Each sentence once: the tail of a tone can reach the next chunk.
    static void onWhisper(const httplib::Request& req, httplib::Response& res) {
        const int tone = loudestTone(req.get_file_value("file").content);
        std::string text;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (tone != 0 && answered_[tone]++ == 0) text = kSentences.at(tone);
        }
        res.set_content(whisperReply(text), "application/json");
    }

    static inline std::string workDir_, transcriptDir_;
    static inline std::unique_ptr<LoopbackServer> services_;
    static inline std::unique_ptr<AudioFeed> hostMic_, guestCall_, thirdMic_;
    static inline std::mutex mutex_;
    static inline std::map<int, int> answered_;
    static inline std::unique_ptr<HostRecording> recording_;
    static inline obs_scene_t* scene_ = nullptr;
    static inline obs_source_t* streamer_ = nullptr;
    static inline obs_source_t* guest_ = nullptr;
    static inline obs_source_t* quiet_ = nullptr;
    static inline Readback readback_;
};

std::string describe(const Readback& readback) {
    std::string out = readback.error;
    for (const auto& c : readback.captions) {
        out += "\n  " + std::to_string(c.start) + " -> " + std::to_string(c.end) + " \"" + c.text +
               "\"";
    }
    return out;
}

TEST_F(TwoSpeakersHostTest, both_speakers_share_one_caption_track_in_order_marked_per_change) {
    ASSERT_EQ(readback_.error, "");
    std::printf("[608 read back]%s\n", describe(readback_).c_str());
    std::vector<std::string> texts;
    for (const auto& caption : readback_.captions) texts.push_back(caption.text);
    // The streamer's second sentence is short, as the guest's: it joins it in the rows.
    EXPECT_EQ(texts, (std::vector<std::string>{
                         ">> Ann: Welcome back to the\nstream", ">> Bo: Thanks for having me",
                         ">> Bo: Thanks for having me\n>> Ann: Let us get started"}))
        << describe(readback_);
    // The third source spoke, with captions off. Only the guest shows its name in the scene.
    EXPECT_EQ(pendingTextOf(quiet_), kSentences.at(700));
    EXPECT_EQ(pendingTextOf(guest_), "Bo: " + kSentences.at(500));
    EXPECT_EQ(pendingTextOf(streamer_), kSentences.at(350));
}

TEST_F(TwoSpeakersHostTest, one_transcript_holds_both_voices_in_order) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(transcriptDir_)) {
        files.push_back(entry.path().string());
    }
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(fs::path(files[0]).extension(), ".vtt");
    const std::string vtt = contents(files[0]);
    std::printf("[transcript %s]\n%s", fs::path(files[0]).filename().c_str(), vtt.c_str());
    const size_t ann = vtt.find("<v Ann>Welcome back to the stream</v>");
    const size_t bo = vtt.find("<v Bo>Thanks for having me</v>");
    const size_t again = vtt.find("<v Ann>Let us get started</v>");
    ASSERT_NE(ann, std::string::npos) << vtt;
    ASSERT_NE(bo, std::string::npos) << vtt;
    ASSERT_NE(again, std::string::npos) << vtt;
    EXPECT_LT(ann, bo);
    EXPECT_LT(bo, again);
    EXPECT_EQ(vtt.find(kSentences.at(700)), std::string::npos);
    // Cues do not overlap, and none of a speaker is cut short by the next speaker's.
    const SubtitleReadBack back = readBackSubtitles(files[0]);
    ASSERT_EQ(back.cues.size(), 3u) << back.raw;
    for (size_t i = 0; i + 1 < back.cues.size(); ++i) {
        EXPECT_GE(back.cues[i].endSeconds - back.cues[i].startSeconds, 1.4) << back.raw;
        EXPECT_LE(back.cues[i].endSeconds, back.cues[i + 1].startSeconds) << back.raw;
    }
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Transcript] The shared transcript takes the folder and format of "
        "'streamer'"));
}

}  // namespace
}  // namespace obs_sayline::test
