#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output/export_factory.h"
#include "output/srt_exporter.h"
#include "output/vtt_exporter.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

SubtitleEntry entry(int64_t start, int64_t end, std::string original,
                    std::string translation = "") {
    SubtitleEntry e;
    e.startTimeMs = start;
    e.endTimeMs = end;
    e.originalText = std::move(original);
    e.translatedText = std::move(translation);
    return e;
}

ExportOptions options(bool original = true, bool translation = true, std::string le = "\n") {
    ExportOptions o;
    o.includeOriginal = original;
    o.includeTranslation = translation;
    o.lineEnding = std::move(le);
    return o;
}

std::string srt(const std::vector<SubtitleEntry>& entries, const ExportOptions& o = options()) {
    return SrtExporter().exportToString(entries, o).value();
}

std::string vtt(const std::vector<SubtitleEntry>& entries, const ExportOptions& o = options()) {
    return VttExporter().exportToString(entries, o).value();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ExporterTest, timestamps) {
    EXPECT_EQ(SubtitleExporterBase::formatTimestamp(0, ','), "00:00:00,000");
    EXPECT_EQ(SubtitleExporterBase::formatTimestamp(3723004, ','), "01:02:03,004");
    EXPECT_EQ(SubtitleExporterBase::formatTimestamp(360000000, ','), "100:00:00,000");
    EXPECT_EQ(SubtitleExporterBase::formatTimestamp(-5, ','), "00:00:00,000");
    EXPECT_EQ(SubtitleExporterBase::formatTimestamp(59999, '.'), "00:00:59.999");
}

TEST(ExporterTest, single_entry_documents) {
    const std::vector<SubtitleEntry> one{entry(0, 2500, "Hi")};
    EXPECT_EQ(srt(one), "1\n00:00:00,000 --> 00:00:02,500\nHi\n");
    EXPECT_EQ(vtt(one), "WEBVTT\n\n1\n00:00:00.000 --> 00:00:02.500\nHi\n");
}

TEST(ExporterTest, cue_text_follows_include_flags) {
    const std::vector<SubtitleEntry> both{entry(0, 2500, "Hi", "Salut")};
    EXPECT_EQ(srt(both), "1\n00:00:00,000 --> 00:00:02,500\nHi\nSalut\n");
    EXPECT_EQ(srt(both, options(false, true)), "1\n00:00:00,000 --> 00:00:02,500\nSalut\n");
    EXPECT_EQ(srt(both, options(true, false)), "1\n00:00:00,000 --> 00:00:02,500\nHi\n");
    // Neither flag: the original text still fills the cue.
    EXPECT_EQ(srt(both, options(false, false)), "1\n00:00:00,000 --> 00:00:02,500\nHi\n");
    const std::vector<SubtitleEntry> markup{entry(0, 1, "<x>", "y")};
    EXPECT_EQ(vtt(markup, options(false, false)),
              "WEBVTT\n\n1\n00:00:00.000 --> 00:00:00.001\n"
              "&lt;x&gt;\n");
    // No original: the translation alone, without a leading separator.
    EXPECT_EQ(srt({entry(0, 1, "", "Salut")}), "1\n00:00:00,000 --> 00:00:00,001\nSalut\n");
}

TEST(ExporterTest, several_entries_with_crlf) {
    const std::vector<SubtitleEntry> entries{entry(0, 2500, "Hi", "Salut"),
                                             entry(-40, 3723004, "Bye")};
    EXPECT_EQ(srt(entries, options(true, true, "\r\n")),
              "1\r\n00:00:00,000 --> 00:00:02,500\r\nHi\r\nSalut\r\n\r\n"
              "2\r\n00:00:00,000 --> 01:02:03,004\r\nBye\r\n");
    EXPECT_EQ(vtt(entries, options(true, true, "\r\n")),
              "WEBVTT\r\n\r\n1\r\n00:00:00.000 --> 00:00:02.500\r\nHi\r\nSalut\r\n\r\n"
              "2\r\n00:00:00.000 --> 01:02:03.004\r\nBye\r\n");
    // Line breaks inside a text follow the document's line ending too.
    EXPECT_EQ(srt({entry(0, 1, "a\nb")}, options(true, true, "\r\n")),
              "1\r\n00:00:00,000 --> 00:00:00,001\r\na\r\nb\r\n");
}

TEST(ExporterTest, webvtt_escapes_and_srt_copies) {
    const std::vector<SubtitleEntry> e{entry(0, 1000, "a<b & c>d", "x&y")};
    EXPECT_EQ(vtt(e), "WEBVTT\n\n1\n00:00:00.000 --> 00:00:01.000\na&lt;b &amp; c&gt;d\nx&amp;y\n");
    EXPECT_EQ(srt(e), "1\n00:00:00,000 --> 00:00:01,000\na<b & c>d\nx&y\n");
}

TEST(ExporterTest, private_settings) {
    const std::vector<SubtitleEntry> e{entry(0, 1000, "Hi", "<Salut>")};
    SrtExporter bom(SrtExporter::Settings{true});
    EXPECT_EQ(bom.exportToString(e, options()).value(),
              "\xEF\xBB\xBF"
              "1\n00:00:00,000 --> 00:00:01,000\nHi\n<Salut>\n");
    EXPECT_EQ(bom.estimateSize(e), SrtExporter().estimateSize(e) + 3);

    VttExporter::Settings settings;
    settings.headerNote = "Sayline";
    settings.numberedCues = false;
    settings.italicTranslations = true;
    EXPECT_EQ(VttExporter(settings).exportToString(e, options()).value(),
              "WEBVTT - Sayline\n\n00:00:00.000 --> 00:00:01.000\nHi\n<i>&lt;Salut&gt;</i>\n");
}

TEST(ExporterTest, refusals_and_estimates) {
    SrtExporter s;
    VttExporter v;
    auto empty = s.exportToString({}, options());
    ASSERT_TRUE(empty.isError());
    EXPECT_EQ(empty.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(empty.error().message, "No subtitle entries to export");
    EXPECT_TRUE(v.validate({}).isError());
    EXPECT_TRUE(v.validate({entry(0, 1, "x")}).isSuccess());

    auto async = v.exportAsync({entry(0, 1, "x")}, "/tmp/x.vtt", options());
    ASSERT_TRUE(async.isError());
    EXPECT_EQ(async.error().code, ErrorCode::NotSupported);
    EXPECT_EQ(async.error().message, "Async export not supported by this exporter");

    const std::vector<SubtitleEntry> e{entry(0, 1, "abc", "de"), entry(0, 1, "f")};
    EXPECT_EQ(s.estimateSize(e), 5u + 50 + 1 + 50);
    EXPECT_EQ(v.estimateSize(e), 20u + 5 + 60 + 1 + 60);
    EXPECT_EQ(s.getName(), "SubRip (SRT)");
    EXPECT_EQ(v.getMimeType(), "text/vtt");
}

class ExporterFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sayline-export-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        HostLogCapture::instance().clear();
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string dir;
};

TEST_F(ExporterFileTest, writes_document_truncating_old_file_and_counts) {
    const std::string path = dir + "/out.srt";
    { std::ofstream(path) << std::string(500, 'x'); }
    SrtExporter exporter;
    const std::vector<SubtitleEntry> e{entry(0, 2500, "Hi"), entry(3000, 4000, "Bye")};
    auto written = exporter.exportToFile(e, path, options());
    ASSERT_TRUE(written.isSuccess()) << written.error().message;
    EXPECT_EQ(written.value(), path);
    EXPECT_EQ(readFile(path), srt(e));
    EXPECT_EQ(exporter.getExportCount(), 1u);

    auto& log = HostLogCapture::instance();
    EXPECT_TRUE(log.contains("[obs-sayline] [SrtExporter] Exporting 2 entries to: " + path));
    EXPECT_TRUE(log.contains("[obs-sayline] [SrtExporter] Exported 2 entries to: " + path));
}

TEST_F(ExporterFileTest, failures_create_nothing_and_are_not_counted) {
    VttExporter exporter;
    const std::string path = dir + "/empty.vtt";
    EXPECT_EQ(exporter.exportToFile({}, path, options()).error().code, ErrorCode::InvalidArgument);
    EXPECT_NE(access(path.c_str(), F_OK), 0);

    const std::string missing = dir + "/no/such/dir.vtt";
    auto open = exporter.exportToFile({entry(0, 1, "x")}, missing, options());
    ASSERT_TRUE(open.isError());
    EXPECT_EQ(open.error().code, ErrorCode::FileWriteError);
    EXPECT_EQ(open.error().message, "Failed to open file for writing: " + missing);
    EXPECT_EQ(exporter.getExportCount(), 0u);
}

TEST_F(ExporterFileTest, full_disk_is_reported_not_swallowed) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
    auto full = SrtExporter().exportToFile({entry(0, 1, "x")}, "/dev/full", options());
    ASSERT_TRUE(full.isError());
    EXPECT_EQ(full.error().code, ErrorCode::FileWriteError);
    EXPECT_EQ(full.error().message, "Failed to write to file: /dev/full");
}

TEST(ExportFactoryTest, built_ins_and_unknown_formats) {
    HostLogCapture::instance().clear();
    auto s = ExportFactory::create(ExportFormat::Srt);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->getExtension(), "srt");
    auto v = ExportFactory::create(ExportFormat::WebVtt);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->getName(), "WebVTT");
    EXPECT_NE(s, ExportFactory::create(ExportFormat::Srt));  // a fresh exporter each time

    auto info = ExportFactory::getFormatInfo(ExportFormat::Srt);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->description, "Standard subtitle format, widely supported by media players");
    EXPECT_EQ(info->mimeType, "text/plain");
    EXPECT_EQ(ExportFactory::getFormatInfo(ExportFormat::WebVtt)->description,
              "Web Video Text Tracks format for HTML5 video");

    EXPECT_EQ(ExportFactory::create(static_cast<ExportFormat>(7)), nullptr);
    auto& log = HostLogCapture::instance();
    EXPECT_TRUE(log.contains("[obs-sayline] [ExportFactory] Creating subtitle exporter: WebVTT"));
    EXPECT_TRUE(log.contains("[obs-sayline] [ExportFactory] Unknown export format: 7"));
}

TEST(ExportFactoryTest, registration_and_replacement) {
    HostLogCapture::instance().clear();
    const auto format = static_cast<ExportFormat>(40);
    EXPECT_FALSE(ExportFactory::registerExporter(format, nullptr, {"Nothing", "", "", ""}));

    EXPECT_TRUE(ExportFactory::registerExporter(
        format, [] { return std::make_shared<SrtExporter>(); }, {"First", "", "txt", ""}));
    EXPECT_TRUE(ExportFactory::registerExporter(
        format, [] { return std::make_shared<VttExporter>(); }, {"Second", "", "vtt", ""}));
    auto made = ExportFactory::create(format);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->getName(), "WebVTT");
    EXPECT_EQ(ExportFactory::getFormatInfo(format)->name, "Second");
    auto formats = ExportFactory::getAvailableFormats();
    EXPECT_EQ(formats.front(), ExportFormat::Srt);
    EXPECT_EQ(formats.back(), format);

    auto& log = HostLogCapture::instance();
    EXPECT_TRUE(
        log.contains("[obs-sayline] [ExportFactory] Cannot register exporter with null "
                     "creator"));
    EXPECT_TRUE(log.contains("[obs-sayline] [ExportFactory] Registered subtitle exporter: First"));
    EXPECT_TRUE(
        log.contains("[obs-sayline] [ExportFactory] Export format 40 already registered, "
                     "replacing"));
    EXPECT_TRUE(log.contains("[obs-sayline] [ExportFactory] Registered subtitle exporter: Second"));
}

}  // namespace
}  // namespace obs_sayline
