// A transcript file grows one cue at a time and is the exporters' document after every cue.

#include "sinks/transcript/transcript_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output/srt_exporter.h"
#include "output/vtt_exporter.h"

namespace obs_sayline {
namespace {

namespace fs = std::filesystem;

class TranscriptFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/sayline-transcript-file-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::unique_ptr<TranscriptFile> create(const std::string& name, ExportFormat format) {
        auto file = TranscriptFile::create(
            dir_ + "/" + name, format == ExportFormat::Srt ? CueFormat::SubRip : CueFormat::WebVtt);
        if (!file) ADD_FAILURE() << file.error().message;
        return file ? std::move(file.value()) : nullptr;
    }

    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir_;
};

SubtitleEntry entry(int64_t start, int64_t end, std::string text) {
    SubtitleEntry e;
    e.startTimeMs = start;
    e.endTimeMs = end;
    e.originalText = std::move(text);
    return e;
}

TEST_F(TranscriptFileTest, each_cue_leaves_the_exporters_whole_document) {
    const std::vector<SubtitleEntry> cues = {entry(1200, 4200, "Hi & <welcome>"),
                                             entry(5000, 8000, "한국어 자막"),
                                             entry(3723004, 3726004, "later")};
    ExportOptions options;
    options.includeTranslation = false;
    for (ExportFormat format : {ExportFormat::Srt, ExportFormat::WebVtt}) {
        auto file = create(format == ExportFormat::Srt ? "a.srt" : "a.vtt", format);
        ASSERT_TRUE(file);
        std::vector<SubtitleEntry> sofar;
        for (const auto& cue : cues) {
            ASSERT_TRUE(file->append(cue.startTimeMs, cue.endTimeMs, cue.originalText));
            sofar.push_back(cue);
            const std::string expected = format == ExportFormat::Srt
                                             ? SrtExporter().exportToString(sofar, options).value()
                                             : VttExporter().exportToString(sofar, options).value();
            EXPECT_EQ(contents(file->path()), expected);
        }
        EXPECT_EQ(file->cues(), 3u);
    }
}

TEST_F(TranscriptFileTest, an_earlier_cue_ends_where_the_next_begins) {
    auto file = create("overlap.srt", ExportFormat::Srt);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->append(0, 3000, "one"));
    ASSERT_TRUE(file->append(2000, 5000, "two"));
    ASSERT_TRUE(file->append(6000, 9000, "three"));
    EXPECT_EQ(contents(file->path()),
              "1\n00:00:00,000 --> 00:00:02,000\none\n\n"
              "2\n00:00:02,000 --> 00:00:05,000\ntwo\n\n"
              "3\n00:00:06,000 --> 00:00:09,000\nthree\n");
}

TEST(CueSafeTextTest, blank_lines_and_arrows_cannot_end_or_time_a_cue) {
    EXPECT_EQ(cueSafeText("top\r\n\r\n  \nnext --> x --->y\n"), "top\nnext -> x ->y");
    EXPECT_EQ(cueSafeText(" \n\t\n"), "");
}

// A disk that fills up, as a file size limit: the write that does not fit fails part way.
TEST_F(TranscriptFileTest, a_failed_write_takes_the_file_back_to_its_last_whole_cue) {
    auto file = create("full.srt", ExportFormat::Srt);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->append(0, 1000, "fits"));
    const std::string before = contents(file->path());

    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = before.size() + 20;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    auto failed = file->append(1000, 2000, std::string(100, 'x'));
    auto later = file->append(2000, 3000, "small");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(failed);
    EXPECT_FALSE(later);
    EXPECT_EQ(contents(file->path()), before);
}

}  // namespace
}  // namespace obs_sayline
