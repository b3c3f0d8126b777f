// Which transcript a subtitle goes to, and when on its clock: recordings, pauses, time on air.

#include "sinks/transcript/transcript_sink.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sinks/transcript/transcript_writer.h"
#include "support/module_workers.h"

namespace obs_sayline {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = TranscriptSink::Clock;

FinishedSubtitle said(const std::string& text) {
    FinishedSubtitle subtitle;
    subtitle.text = subtitle.original = text;
    subtitle.sourceLanguage = "en";
    subtitle.displayMs = 2000;
    return subtitle;
}

class TranscriptSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/sayline-transcript-sink-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        test::joinModuleWorkers();
        unsetenv("XDG_VIDEOS_DIR");
        fs::remove_all(dir_);
    }

    static bool waitForCues(const TranscriptSink& sink, uint64_t cues) {
        const auto deadline = Clock::now() + 5s;
        while (sink.cuesWritten() < cues) {
            if (Clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    static std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir_;
};

TEST_F(TranscriptSinkTest, a_recording_names_the_transcript_and_its_pauses_are_left_out) {
    setenv("XDG_VIDEOS_DIR", (dir_ + "/videos").c_str(), 1);
    TranscriptSink sink;
    TranscriptOptions options;
    options.format = TranscriptFormat::Srt;  // no folder: beside the recording
    sink.configure(options);
    sink.sourceActivated();  // on air too: the recording takes over

    const Clock::time_point t0 = Clock::now();
    sink.recordingStarted(dir_ + "/2024-05-01 10-00-00.mkv", t0);
    sink.deliverAt(said("before the pause"), t0 + 1s);
    FinishedSubtitle speaking = said("still being spoken");
    speaking.interim = true;  // only finished lines are written
    sink.deliverAt(speaking, t0 + 2s);
    sink.recordingPaused(t0 + 4s);
    sink.deliverAt(said("while paused"), t0 + 5s);
    sink.recordingUnpaused(t0 + 8s);
    sink.deliverAt(said("after the pause"), t0 + 9s);
    ASSERT_TRUE(waitForCues(sink, 2));
    EXPECT_EQ(contents(dir_ + "/2024-05-01 10-00-00.srt"),
              "1\n00:00:01,000 --> 00:00:03,000\nbefore the pause\n\n"
              "2\n00:00:05,000 --> 00:00:07,000\nafter the pause\n");

    // Still on air after the recording: a transcript of its own, in the videos folder.
    sink.recordingStopped(Clock::now());
    sink.deliver(said("after the recording"));
    ASSERT_TRUE(waitForCues(sink, 3));
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir_ + "/videos")) {
        ++files;
        EXPECT_EQ(entry.path().filename().string().rfind("sayline-", 0), 0u);
        EXPECT_NE(contents(entry.path()).find("after the recording"), std::string::npos);
    }
    EXPECT_EQ(files, 1u);
}

TEST_F(TranscriptSinkTest, a_subtitle_too_late_to_show_is_written_where_it_was_spoken) {
    TranscriptSink sink;
    TranscriptOptions options;
    options.format = TranscriptFormat::Srt;
    sink.configure(options);
    const Clock::time_point t0 = Clock::now();
    sink.recordingStarted(dir_ + "/show.mkv", t0);
    sink.deliverAt(said("on time"), t0 + 2s);
    // Spoken from 3 s to 6 s, ready 34 s after that (recognition was stuck).
    FinishedSubtitle late = said("stuck behind");
    late.startMs = 3000;
    late.endMs = 6000;
    late.late = true;
    late.behindMs = 34000;
    sink.deliverAt(late, t0 + 40s);
    ASSERT_TRUE(waitForCues(sink, 2));
    EXPECT_EQ(contents(dir_ + "/show.srt"),
              "1\n00:00:02,000 --> 00:00:03,000\non time\n\n"
              "2\n00:00:03,000 --> 00:00:05,000\nstuck behind\n");
}

TEST_F(TranscriptSinkTest, off_air_takes_the_late_subtitle_and_never_reuses_a_name) {
    // Whatever second the transcript starts in, its name is taken already.
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string> taken;
    for (auto when : {now, now + 1s}) {
        taken.push_back(dir_ + "/" + activationTranscriptName(when) + ".vtt");
        std::ofstream(taken.back()) << "keep";
    }
    TranscriptSink sink;
    TranscriptOptions options;
    options.format = TranscriptFormat::Vtt;
    options.folder = dir_;
    sink.configure(options);
    sink.deliver(said("not on air"));

    sink.sourceActivated();
    sink.deliver(said("on air"));
    sink.sourceDeactivated();
    // The capture's leftover, recognised after the stop.
    sink.deliverAt(said("late"), Clock::now() + 1s);
    ASSERT_TRUE(waitForCues(sink, 2));

    for (const auto& path : taken) EXPECT_EQ(contents(path), "keep");
    std::vector<fs::path> written;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        const std::string name = entry.path().filename().string();
        if (name.find(" (2).vtt") != std::string::npos) written.push_back(entry.path());
    }
    ASSERT_EQ(written.size(), 1u);
    const std::string text = contents(written[0]);
    EXPECT_EQ(text.rfind("WEBVTT\n\n1\n", 0), 0u) << text;
    EXPECT_NE(text.find("on air"), std::string::npos);
    EXPECT_NE(text.find("late"), std::string::npos);
    EXPECT_EQ(text.find("not on air"), std::string::npos);
    EXPECT_EQ(sink.cuesWritten(), 2u);
}

TEST(TranscriptNamesTest, languages_become_codes_fit_for_a_file_name) {
    EXPECT_EQ(transcriptLanguageCode("english"), "en");
    EXPECT_EQ(transcriptLanguageCode("Korean"), "ko");
    EXPECT_EQ(transcriptLanguageCode("EN-US"), "en-us");
    EXPECT_EQ(transcriptLanguageCode("auto"), "und");
    EXPECT_EQ(transcriptLanguageCode(""), "und");
    EXPECT_EQ(transcriptLanguageCode("../../etc"), "und");
}

}  // namespace
}  // namespace obs_sayline
