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

}  // namespace
}  // namespace obs_sayline
