// Subtitles in scripts the user's face lacks, drawn in the headless host under the tests' own
// fonts (FONTCONFIG_FILE, set by CTest): "Arial" is the Latin-only Nimbus Sans, NanumGothic
// has Hangul, VL Gothic kana, and no font has Devanagari. Read back by OCR.

#include <gtest/gtest.h>
#include <obs.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "host/harness/obs_host.h"
#include "plugin/plugin_host_support.h"

namespace obs_sayline::test {
namespace {

using std::chrono::seconds;

constexpr uint32_t kBoxHeight = 160;

class FontCoverageHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system("tesseract --list-langs 2>/dev/null | grep -qx kor"), 0)
            << "tesseract's Korean data is missing (scripts/deps.sh installs it)";
        obs_data_t* settings = obs_data_create();
        obs_data_set_int(settings, "subtitle_duration", 10000);
        source_ = obs_source_create("sayline_source", "fonts", settings, nullptr);
        obs_data_release(settings);
        ASSERT_NE(source_, nullptr);
        // Shown, and the activation through (it resets what was warned of).
        const std::string activated = sourceLine(source_, "shown - starting capture");
        const size_t before = HostLogCapture::instance().count(activated);
        obs_set_output_source(0, source_);
        ASSERT_TRUE(waitForAnotherLine(activated, before, seconds(5)));
    }
    void TearDown() override {
        obs_set_output_source(0, nullptr);
        obs_source_release(source_);
    }

    void show(const std::string& original, const std::string& language,
              const std::string& translation = "") {
        FinishedSubtitle subtitle;
        subtitle.original = original;
        subtitle.translation = translation;
        subtitle.text = translation.empty() ? original : original + "\n" + translation;
        subtitle.sourceLanguage = language;
        subtitle.targetLanguage = translation.empty() ? "" : "en";
        recordOf(source_)->scene->deliver(subtitle);
    }

    // The faces of the rows on screen, once `rows` rows are drawn with ink in each.
    std::vector<std::string> drawnFaces(size_t rows, Frame* frame) {
        SubtitleSourceData* data = recordOf(source_);
        auto drawn = FrameGrabber::waitFor(
            [&](const Frame& f) {
                bool shown = false;
                betweenVideoTicks([&] {  // the timeline is the video tick's
                    const auto& drawn = data->scene->timeline().drawn;
                    shown = drawn && !drawn->wholeText && drawn->part.rows.size() == rows;
                });
                return shown && brightPixels(f, kBoxHeight).count > 300;
            },
            seconds(5));
        if (!drawn) return {};
        // A frame drawn after the rows took their texts.
        std::optional<Frame> later = FrameGrabber::next(seconds(5));
        if (!later) return {};
        *frame = *later;
        std::vector<std::string> faces;
        for (size_t i = 0; i < rows; ++i) {
            obs_data_t* settings = rowSettingsCopy(source_, i);
            if (!settings) return {};
            obs_data_t* font = obs_data_get_obj(settings, "font");
            faces.push_back(obs_data_get_string(font, "face"));
            obs_data_release(font);
            obs_data_release(settings);
        }
        return faces;
    }

    obs_source_t* source_ = nullptr;
};

TEST_F(FontCoverageHostTest, korean_with_its_english_translation_is_two_rows_each_read_back) {
    const std::string korean = "안녕하세요 여러분";
    show(korean, "ko", "Hello everyone");
    Frame frame;
    EXPECT_EQ(drawnFaces(2, &frame), (std::vector<std::string>{"NanumGothic", "Arial"}));
    const std::string read = ocrText(frame, kBoxHeight, "kor+eng");
    std::cout << "OCR read back: " << read;
    EXPECT_NE(read.find("안녕하세요"), std::string::npos) << read;
    EXPECT_NE(read.find("여러분"), std::string::npos) << read;
    EXPECT_NE(read.find("Hello everyone"), std::string::npos) << read;

    // A longer Korean line alone: every word is drawn.
    show("오늘 방송에 오신 것을 환영합니다", "ko");
    ASSERT_EQ(drawnFaces(1, &frame), std::vector<std::string>{"NanumGothic"});
    const std::string welcome = ocrText(frame, kBoxHeight, "kor");
    for (const char* word : {"오늘", "방송에", "환영합니다"}) {
        EXPECT_NE(welcome.find(word), std::string::npos) << word << " in " << welcome;
    }
}

TEST_F(FontCoverageHostTest, japanese_is_drawn_in_a_face_with_kana) {
    show("こんにちは、今日もよろしく", "ja");
    Frame frame;
    ASSERT_EQ(drawnFaces(1, &frame), std::vector<std::string>{"VL Gothic"});
    const std::string read = ocrText(frame, kBoxHeight, "jpn");
    EXPECT_NE(read.find("こんにちは"), std::string::npos) << read;
}

TEST_F(FontCoverageHostTest, a_script_no_font_has_warns_once_and_the_rest_is_drawn) {
    SourceStatus& status = recordOf(source_)->shared->status;
    status.setCapture(CaptureCondition::Running);  // the status is read while capturing
    const std::string warning =
        "No installed font has Devanagari glyphs: install one, for example fonts-noto-core";
    const std::string line = "[obs-sayline] [Render] " + warning;
    const size_t before = HostLogCapture::instance().count(line);
    show("नमस्ते world", "hi");
    Frame frame;
    ASSERT_EQ(drawnFaces(1, &frame), std::vector<std::string>{"Arial"});
    EXPECT_NE(ocrText(frame, kBoxHeight, "eng").find("world"), std::string::npos);
    EXPECT_EQ(status.report().code, StatusCode::FontMissing);
    EXPECT_NE(status.report().sentence.find(warning), std::string::npos);

    show("नमस्ते again", "hi");
    ASSERT_EQ(drawnFaces(1, &frame), std::vector<std::string>{"Arial"});
    EXPECT_EQ(HostLogCapture::instance().count(line), before + 1);

    // A subtitle drawn whole clears the problem; a new activation warns again.
    show("all drawn", "en");
    ASSERT_EQ(drawnFaces(1, &frame), std::vector<std::string>{"Arial"});
    EXPECT_NE(status.report().code, StatusCode::FontMissing);
    recordOf(source_)->sinks->sourceActivated();
    show("नमस्ते", "hi");
    EXPECT_EQ(HostLogCapture::instance().count(line), before + 2);
}

}  // namespace
}  // namespace obs_sayline::test
