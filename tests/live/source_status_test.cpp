// The status of one source: which report outranks which, the sentences that count time, and
// one log line per change of state.

#include "live/source_status.h"

#include <gtest/gtest.h>

#include <string>

#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using Clock = SourceStatus::Clock;
using std::chrono::milliseconds;
using std::chrono::seconds;
using test::HostLogCapture;

class SourceStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        status.setLabel("Captions");
        status.setCapture(CaptureCondition::Running);
    }
    std::string sentence(Clock::time_point at = Clock::now()) { return status.report(at).sentence; }
    std::vector<std::string> statusLines() {
        std::vector<std::string> out;
        for (const auto& line : HostLogCapture::instance().moduleLines()) {
            if (line.text.find("[Status]") != std::string::npos) out.push_back(line.text);
        }
        return out;
    }
    static ServiceProblem refused() { return {StatusCode::ApiKeyRefused, "", 401, std::nullopt}; }

    SourceStatus status;
};

TEST_F(SourceStatusTest, pause_outranks_the_capture_the_audio_source_and_the_service) {
    status.requestStarted();
    EXPECT_EQ(sentence(), "Sending…");
    status.serviceProblem(refused());
    EXPECT_EQ(sentence(), "Key refused by the service (HTTP 401)");
    status.audioSourceFound("Mic");
    status.audioSourceMuted(true);
    EXPECT_EQ(sentence(), "Audio source 'Mic' is muted");
    status.audioSourceMissing("Mic");
    EXPECT_EQ(status.report().code, StatusCode::AudioSourceMissing);
    EXPECT_EQ(sentence(), "Audio source 'Mic' not found");
    status.setPaused(true);
    EXPECT_EQ(sentence(), "Paused");
    EXPECT_FALSE(status.report().problem());

    status.setPaused(false);
    status.setCapture(CaptureCondition::Stopped);
    EXPECT_EQ(sentence(), "Stopped (not on air)");
    // A new capture starts afresh.
    status.setCapture(CaptureCondition::Running);
    EXPECT_EQ(sentence(), "Listening");
}

TEST_F(SourceStatusTest, waits_are_counted_down_in_whole_seconds) {
    const Clock::time_point t = Clock::now();
    status.retrying(t + milliseconds(7200));
    EXPECT_EQ(sentence(t), "Service unreachable — retrying in 8 s");
    EXPECT_EQ(sentence(t + milliseconds(7100)), "Service unreachable — retrying in 1 s");
    EXPECT_EQ(sentence(t + seconds(8)), "Service unreachable — retrying with the next speech");

    status.serviceProblem({StatusCode::CircuitOpen, "", 0, t + seconds(30)});
    EXPECT_EQ(sentence(t), "Circuit open — resuming in 30 s");
    EXPECT_EQ(sentence(t + seconds(31)), "Circuit open — resuming with the next speech");

    status.requestStarted();
    status.subtitleShown();
    status.requestEnded();
    const Clock::time_point shown = Clock::now();
    EXPECT_EQ(sentence(shown + milliseconds(3500)), "Subtitle shown 3 s ago");
    EXPECT_EQ(sentence(shown + seconds(300)), "Subtitle shown 5 min ago");
}

TEST_F(SourceStatusTest, a_failure_stands_until_a_later_request_succeeds) {
    // The subtitle went up untranslated: the provider's problem stays in view.
    status.requestStarted();
    status.serviceProblem({StatusCode::ApiKeyMissing, "DeepL", 0, std::nullopt});
    status.subtitleShown();
    status.requestEnded();
    EXPECT_EQ(sentence(), "No API key for DeepL");
    // Silence sends nothing, so it proves nothing either.
    status.heardSilence();
    EXPECT_EQ(sentence(), "No API key for DeepL");

    status.requestStarted();
    status.nothingToShow();
    status.requestEnded();
    EXPECT_EQ(sentence(), "Listening");
    status.heardSilence();
    EXPECT_EQ(sentence(), "Waiting for speech");
}

TEST_F(SourceStatusTest, each_change_is_logged_once_and_working_states_not_at_all) {
    for (int chunk = 0; chunk < 3; ++chunk) {
        status.requestStarted();
        status.subtitleShown();
        status.requestEnded();
        status.heardSilence();
    }
    for (int chunk = 0; chunk < 3; ++chunk) {
        status.requestStarted();
        status.serviceProblem(refused());
        status.requestEnded();
    }
    status.requestStarted();
    status.subtitleShown();
    status.requestEnded();
    EXPECT_EQ(statusLines(), (std::vector<std::string>{
                                 "[obs-sayline] [Status] Captions: Listening",
                                 "[obs-sayline] [Status] Captions: Key refused by the service "
                                 "(HTTP 401)",
                                 "[obs-sayline] [Status] Captions: Listening",
                             }));
}

TEST_F(SourceStatusTest, a_new_capture_hears_only_its_own_workers_and_keeps_its_setup_problem) {
    const uint64_t before = status.newCapture();
    status.setCapture(CaptureCondition::Running);
    const uint64_t now = status.newCapture();
    status.setupProblem({StatusCode::ApiKeyMissing, "Whisper API", {}});
    status.setupProblem({StatusCode::ServerUrlRefused, "Translation", "no query"});  // not shown
    status.setCapture(CaptureCondition::Running);
    EXPECT_EQ(sentence(), "No API key for Whisper API");

    // The request the update left running ends: it no longer speaks for the source.
    status.requestStarted(before);
    status.subtitleShown(before);
    status.serviceProblem(refused(), before);
    status.requestEnded(before);
    EXPECT_EQ(sentence(), "No API key for Whisper API");

    // Its own requests' problems come first; a subtitle does not hide the setup's.
    status.requestStarted(now);
    status.serviceProblem(refused(), now);
    status.requestEnded(now);
    EXPECT_EQ(sentence(), "Key refused by the service (HTTP 401)");
    status.requestStarted(now);
    status.subtitleShown(now);
    status.requestEnded(now);
    EXPECT_EQ(status.report().code, StatusCode::ApiKeyMissing);

    status.newCapture();
    status.setupProblem({StatusCode::ServerUrlRefused, "Translation", "user info not allowed"});
    status.setCapture(CaptureCondition::Running);
    EXPECT_EQ(sentence(), "Translation server URL refused: user info not allowed");
    status.newCapture();
    status.setCapture(CaptureCondition::EngineFailed, "Google Speech-to-Text (bad language)");
    EXPECT_EQ(sentence(), "Speech engine failed to start: Google Speech-to-Text (bad language)");
}

TEST_F(SourceStatusTest, recognition_is_late_until_a_result_comes_in_time) {
    status.requestStarted();
    status.recognitionLate(36400);
    status.requestEnded();
    EXPECT_EQ(sentence(), "Recognition is running late (36 s behind)");
    EXPECT_TRUE(status.report().problem());
    status.requestStarted();  // the next one behind it, still sending
    EXPECT_EQ(status.report().code, StatusCode::RecognitionLate);
    status.requestEnded();
    // Silence heard in time: caught up.
    status.heardSilence();
    EXPECT_EQ(sentence(), "Waiting for speech");
}

TEST_F(SourceStatusTest, youtube_captions_stand_beside_the_working_state_and_under_what_stops_it) {
    const Clock::time_point now = Clock::now();
    status.subtitleShown();
    status.captionsPosted(now - seconds(2));
    EXPECT_EQ(sentence(now), "Subtitle shown 0 s ago · Captions sent to YouTube 2 s ago");
    EXPECT_EQ(status.report(now).code, StatusCode::SubtitleShown);

    // A refusal is the source's problem while subtitles still come, and logged once.
    const std::string refusal = "YouTube refused the captions (HTTP 403): check the caption URL";
    status.captionProblem(refusal);
    EXPECT_EQ(sentence(now), refusal);
    EXPECT_EQ(status.report(now).code, StatusCode::YouTubeCaptionsFailed);
    EXPECT_TRUE(status.report(now).problem());
    // What stops the subtitles outranks it; it stands again once that is over.
    status.requestStarted();
    status.serviceProblem(refused());
    status.requestEnded();
    EXPECT_EQ(sentence(now), "Key refused by the service (HTTP 401)");
    status.requestStarted();
    status.subtitleShown();
    status.requestEnded();
    EXPECT_EQ(sentence(now), refusal);

    status.captionProblem("");
    EXPECT_EQ(status.report(now).code, StatusCode::SubtitleShown);
    status.captionsOff();
    EXPECT_EQ(sentence(now).find("YouTube"), std::string::npos);
    const std::string line = "[obs-sayline] [Status] Captions: ";
    EXPECT_EQ(statusLines(),
              (std::vector<std::string>{line + "Listening", line + refusal,
                                        line + "Key refused by the service (HTTP 401)",
                                        line + refusal, line + "Listening"}));
}

}  // namespace
}  // namespace obs_sayline
