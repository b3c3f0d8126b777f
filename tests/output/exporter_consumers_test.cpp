// Files we write, read back by Debian's ffmpeg: the real consumers of SRT and WebVTT.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "output/srt_exporter.h"
#include "output/vtt_exporter.h"

namespace obs_sayline {
namespace {

struct Cue {
    double start = 0;
    double duration = 0;
};

SubtitleEntry entry(int64_t start, int64_t end, std::string original,
                    std::string translation = "") {
    SubtitleEntry e;
    e.startTimeMs = start;
    e.endTimeMs = end;
    e.originalText = std::move(original);
    e.translatedText = std::move(translation);
    return e;
}

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

bool haveTool(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// One cue per packet: "pts_time,duration_time" lines.
std::vector<Cue> probeCues(const std::string& path) {
    std::istringstream lines(
        run("ffprobe -v error -show_entries packet=pts_time,duration_time "
            "-of csv=p=0 '" +
            path + "' 2>&1"));
    std::vector<Cue> cues;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        Cue cue;
        EXPECT_EQ(std::sscanf(line.c_str(), "%lf,%lf", &cue.start, &cue.duration), 2)
            << "unexpected ffprobe line: " << line;
        cues.push_back(cue);
    }
    return cues;
}

// The cue texts as ffmpeg decodes them, re-emitted as SubRip without markup.
std::vector<std::string> decodedTexts(const std::string& path) {
    std::istringstream lines(run("ffmpeg -v error -i '" + path + "' -f srt - 2>&1"));
    std::vector<std::string> texts;
    std::string line;
    std::string current;
    int lineInCue = 0;
    while (std::getline(lines, line)) {
        while (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) {
            if (lineInCue > 0) texts.push_back(current);
            current.clear();
            lineInCue = 0;
            continue;
        }
        if (++lineInCue > 2) current += (current.empty() ? "" : "|") + line;
    }
    if (lineInCue > 0) texts.push_back(current);
    return texts;
}

class ExporterConsumersTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTool("ffprobe") || !haveTool("ffmpeg")) {
            GTEST_SKIP() << "ffprobe/ffmpeg not installed; cannot check real consumers";
        }
        char pattern[] = "/tmp/sayline-ffprobe-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
    }

    std::string write(SubtitleExporterBase& exporter, const std::string& name,
                      const std::vector<SubtitleEntry>& entries, const ExportOptions& options) {
        const std::string path = dir + "/" + name;
        auto written = exporter.exportToFile(entries, path, options);
        EXPECT_TRUE(written.isSuccess()) << written.error().message;
        return path;
    }

    void expectCues(const std::string& path, const std::vector<SubtitleEntry>& entries) {
        auto cues = probeCues(path);
        ASSERT_EQ(cues.size(), entries.size()) << path;
        for (size_t i = 0; i < cues.size(); ++i) {
            const double start = std::max<int64_t>(entries[i].startTimeMs, 0) / 1000.0;
            const double end = entries[i].endTimeMs / 1000.0;
            EXPECT_NEAR(cues[i].start, start, 1e-6) << path << " cue " << i;
            EXPECT_NEAR(cues[i].duration, end - start, 1e-6) << path << " cue " << i;
        }
    }

    std::string dir;
    // In time order (consumers sort cues by start), ending with a three-digit hour field.
    const std::vector<SubtitleEntry> session{
        entry(-20, 900, "Clamped start"),
        entry(1000, 2500, "Hello there", "Bonjour"),
        entry(3000, 5250, "Second line", "Deuxième"),
        entry(3723004, 3725000, "An hour in", "Une heure"),
        entry(360000000, 360001500, "A hundred hours", "Cent heures"),
    };
};

TEST_F(ExporterConsumersTest, plain_documents_parse_with_all_cues_and_times) {
    SrtExporter srt;
    VttExporter vtt;
    ExportOptions original;
    original.includeTranslation = false;
    auto srtPath = write(srt, "plain.srt", session, original);
    auto vttPath = write(vtt, "plain.vtt", session, original);
    expectCues(srtPath, session);
    expectCues(vttPath, session);
    EXPECT_EQ(decodedTexts(srtPath)[1], "Hello there");
    EXPECT_EQ(decodedTexts(vttPath)[4], "A hundred hours");
}

TEST_F(ExporterConsumersTest, translated_documents_keep_two_line_cues) {
    SrtExporter srt;
    VttExporter vtt;
    auto srtPath = write(srt, "translated.srt", session, ExportOptions{});
    auto vttPath = write(vtt, "translated.vtt", session, ExportOptions{});
    expectCues(srtPath, session);
    expectCues(vttPath, session);
    for (const auto& path : {srtPath, vttPath}) {
        auto texts = decodedTexts(path);
        ASSERT_EQ(texts.size(), session.size()) << path;
        EXPECT_EQ(texts[0], "Clamped start") << path;
        EXPECT_EQ(texts[1], "Hello there|Bonjour") << path;
        EXPECT_EQ(texts[2], "Second line|Deuxième") << path;
    }
}

TEST_F(ExporterConsumersTest, escaped_webvtt_decodes_to_the_original_text) {
    const std::vector<SubtitleEntry> entries{entry(0, 1000, "a<b & c>d", "x&y"),
                                             entry(1000, 2000, "1 < 2 > 0")};
    VttExporter vtt;
    auto path = write(vtt, "escaped.vtt", entries, ExportOptions{});
    expectCues(path, entries);
    auto texts = decodedTexts(path);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "a<b & c>d|x&y");
    EXPECT_EQ(texts[1], "1 < 2 > 0");

    // SubRip has no escapes: the same text is copied, and still parses as the same cues.
    SrtExporter srt;
    expectCues(write(srt, "escaped.srt", entries, ExportOptions{}), entries);
}

TEST_F(ExporterConsumersTest, crlf_documents_parse_like_lf_ones) {
    ExportOptions crlf;
    crlf.lineEnding = "\r\n";
    SrtExporter srt;
    VttExporter vtt;
    auto srtPath = write(srt, "crlf.srt", session, crlf);
    auto vttPath = write(vtt, "crlf.vtt", session, crlf);
    expectCues(srtPath, session);
    expectCues(vttPath, session);
    EXPECT_EQ(decodedTexts(srtPath)[3], "An hour in|Une heure");
    EXPECT_EQ(decodedTexts(vttPath)[3], "An hour in|Une heure");
}

}  // namespace
}  // namespace obs_sayline
