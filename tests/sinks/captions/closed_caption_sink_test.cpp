#include "sinks/captions/closed_caption_sink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

FinishedSubtitle subtitle(std::string original, std::string translation = "") {
    FinishedSubtitle s;
    s.original = std::move(original);
    s.translation = std::move(translation);
    s.sourceLanguage = "en";
    s.targetLanguage = s.translation.empty() ? "" : "ko";
    s.displayMs = 3000;
    return s;
}

class ClosedCaptionSinkTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }

    size_t warnings() const {
        size_t count = 0;
        for (const auto& line : HostLogCapture::instance().moduleLines()) {
            if (line.text.find("are not sent as closed captions") != std::string::npos) ++count;
        }
        return count;
    }

    // What a source with "Caption text" set to `text` sends for each subtitle.
    void deliver(const FinishedSubtitle& s, CaptionText text = CaptionText::Translation) {
        std::string caption = closedCaptionText(s, text, warned);
        if (!caption.empty()) sent.push_back(caption);
    }

    std::atomic<bool> warned{false};
    std::vector<std::string> sent;
};

TEST_F(ClosedCaptionSinkTest, caption_text_setting_picks_translation_or_original) {
    deliver(subtitle("Guten Morgen", "Good morning"));
    deliver(subtitle("Not translated"));
    FinishedSubtitle speaking = subtitle("Still being spoken");
    speaking.interim = true;  // a caption cannot be taken back: only finished lines go out
    deliver(speaking);
    FinishedSubtitle late = subtitle("Said long ago");
    late.late = true;  // nor lines long after their speech
    deliver(late);
    deliver(subtitle("Guten Morgen", "Good morning"), CaptionText::Original);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], "Good morning");
    EXPECT_EQ(sent[1], "Not translated");
    EXPECT_EQ(sent[2], "Guten Morgen");
}

TEST_F(ClosedCaptionSinkTest, uncarried_script_is_not_sent_and_warned_once_per_activation) {
    deliver(subtitle("Good morning", "좋은 아침"));
    deliver(subtitle("Good evening", "좋은 저녁"));
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(warnings(), 1u);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Captions] Subtitles in Korean are not sent as closed captions: CEA-608 "
        "has no Hangul characters. Set \"Caption text\" to \"Original\", or rely on the scene "
        "text"));

    warned.store(false);  // the source is on air again
    deliver(subtitle("Good night", "잘 자"));
    EXPECT_EQ(warnings(), 2u);
    deliver(subtitle("Good morning", "Buenos días"));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], "Buenos días");
}

}  // namespace
}  // namespace obs_sayline
