// The pure rules of the Sayline source: phantom filter, display text, placement, display time,
// background and key clean-up.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "plugin/phantom_filter.h"
#include "plugin/source_properties.h"
#include "plugin/source_settings.h"
#include "plugin/subtitle_handoff.h"
#include "plugin/subtitle_render.h"
#include "plugin/subtitle_source_data.h"
#include "plugin/text_source.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

TEST(PhantomFilterTest, drops_empty_unsure_and_invented_phrases_byte_wise) {
    EXPECT_TRUE(isPhantomResult("", 1.0f));
    EXPECT_TRUE(isPhantomResult("real words", 0.149f));
    EXPECT_FALSE(isPhantomResult("real words", 0.15f));

    EXPECT_TRUE(isPhantomResult("Thanks for watching and see you", 0.9f));
    EXPECT_FALSE(isPhantomResult("thanks for watching", 0.9f));  // case matters
    EXPECT_TRUE(isPhantomResult("자막 제공", 0.9f));
    EXPECT_TRUE(isPhantomResult("오늘 자막 제공은 누구입니다", 0.9f));
    EXPECT_FALSE(isPhantomResult("자막", 0.9f));  // shorter than any phrase it starts

    ASSERT_EQ(phantomPhrases().size(), 21u);
    EXPECT_EQ(phantomPhrases().front(), "시청해주셔서 감사합니다");
    EXPECT_EQ(phantomPhrases()[12], "MBC 뉴스");
    EXPECT_EQ(phantomPhrases().back(), "Subtitles by");
}

TEST(DisplayTextTest, translation_replaces_or_follows_the_original) {
    EXPECT_EQ(composeDisplayText("안녕", "Hello", true, true), "안녕\nHello");
    EXPECT_EQ(composeDisplayText("안녕", "Hello", true, false), "Hello");
    EXPECT_EQ(composeDisplayText("안녕", "", true, true), "안녕");
    EXPECT_EQ(composeDisplayText("안녕", "Hello", false, true), "안녕");
}

TEST(DisplayTextTest, a_result_is_handed_over_once_and_an_orphaned_source_drops_it) {
    SourceSharedState shared;
    EXPECT_TRUE(publishSubtitle(shared, "one", "", false, false));
    EXPECT_TRUE(publishSubtitle(shared, "two", "zwei", true, false));
    EXPECT_EQ(takePendingSubtitle(shared), std::optional<std::string>("zwei"));
    EXPECT_EQ(takePendingSubtitle(shared), std::nullopt);

    EXPECT_FALSE(publishSubtitle(shared, "", "", true, false));  // nothing to show
    EXPECT_EQ(takePendingSubtitle(shared), std::nullopt);

    shared.orphaned = true;
    EXPECT_FALSE(publishSubtitle(shared, "late", "", false, false));
    EXPECT_EQ(shared.originalText, "");
    EXPECT_EQ(takePendingSubtitle(shared), std::nullopt);
}

TEST(TextPlacementTest, large_texture_is_shrunk_to_fill_the_box) {
    const TextPlacement p = placeText(1920, 160, 3840, 320);
    EXPECT_TRUE(p.scaled);
    EXPECT_FLOAT_EQ(p.scale, 0.5f);
    EXPECT_FLOAT_EQ(p.x, 0.0f);
    EXPECT_FLOAT_EQ(p.y, 0.0f);
}

TEST(TextPlacementTest, small_texture_is_centred_unscaled) {
    const TextPlacement p = placeText(1920, 160, 800, 100);
    EXPECT_FALSE(p.scaled);
    EXPECT_FLOAT_EQ(p.x, 560.0f);
    EXPECT_FLOAT_EQ(p.y, 30.0f);
}

TEST(TextPlacementTest, texture_too_tall_only_is_scaled_by_height) {
    const TextPlacement p = placeText(1280, 160, 1284, 244);
    EXPECT_TRUE(p.scaled);
    EXPECT_FLOAT_EQ(p.scale, 160.0f / 244.0f);
    EXPECT_NEAR(p.x, (1280.0f - 1284.0f * p.scale) / 2, 1e-3);
    EXPECT_NEAR(p.y, 0.0f, 1e-3);
}

TEST(DisplayTimeTest, subtitle_expires_at_whole_milliseconds) {
    const auto t = std::chrono::steady_clock::time_point(std::chrono::seconds(100));
    EXPECT_FALSE(subtitleExpired(t, t + std::chrono::microseconds(2999999), 3000));
    EXPECT_TRUE(subtitleExpired(t, t + std::chrono::milliseconds(3000), 3000));
    // A second text at t + 2000 restarts the timer: still up at t + 4999.
    const auto second = t + std::chrono::milliseconds(2000);
    EXPECT_FALSE(subtitleExpired(second, t + std::chrono::milliseconds(4999), 3000));
    EXPECT_TRUE(subtitleExpired(second, t + std::chrono::milliseconds(5000), 3000));
}

TEST(BackgroundLookTest, colour_bytes_swap_and_alpha_becomes_percent) {
    const BackgroundLook standard = backgroundLook(true, 0x80000000);
    EXPECT_TRUE(standard.writeColor);
    EXPECT_EQ(standard.color, 0u);
    EXPECT_EQ(standard.opacity, 50);

    const BackgroundLook swapped = backgroundLook(true, 0xFFFF0000);
    EXPECT_EQ(swapped.color, 0x000000FFu);
    EXPECT_EQ(swapped.opacity, 100);
    EXPECT_EQ(backgroundLook(true, 0x12345678).color, 0x00785634u);

    const BackgroundLook off = backgroundLook(false, 0xFF112233);
    EXPECT_FALSE(off.writeColor);
    EXPECT_EQ(off.opacity, 0);
}

TEST(SettingsRulesTest, api_keys_are_trimmed_and_overlong_ones_refused_without_their_text) {
    HostLogCapture::instance().clear();
    EXPECT_EQ(cleanApiKey("  sk-abc\t\r\n", "STT"), "sk-abc");
    EXPECT_EQ(cleanApiKey(" \t \n", "STT"), "");
    EXPECT_EQ(cleanApiKey(nullptr, "STT"), "");

    const std::string longest(256, 'k');
    EXPECT_EQ(cleanApiKey((" " + longest + "\n").c_str(), "STT"), longest);
    const std::string tooLong(257, 'q');
    EXPECT_EQ(cleanApiKey(tooLong.c_str(), "Translation"), "");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Settings] Translation API key is corrupted! Length=257 (max=256). Please "
        "re-enter your API key in OBS settings."));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("qqqq"));
}

TEST(SettingsRulesTest, list_values_map_to_engine_and_provider_kinds) {
    EXPECT_EQ(sttEngineKind("whisper_api"), 1);
    EXPECT_EQ(sttEngineKind("whisper_local"), 2);
    EXPECT_EQ(sttEngineKind("google_stt"), 3);
    EXPECT_EQ(sttEngineKind("deepgram"), 4);
    EXPECT_EQ(sttEngineKind("Deepgram"), 0);
    EXPECT_EQ(sttEngineKind("none"), 0);
    EXPECT_EQ(translationProviderKind("deepl"), 1);
    EXPECT_EQ(translationProviderKind("google_translate"), 2);
    EXPECT_EQ(translationProviderKind("openai"), 3);
    EXPECT_EQ(translationProviderKind("anthropic"), 4);
    EXPECT_EQ(translationProviderKind("gemini"), 5);
    EXPECT_EQ(translationProviderKind(""), 0);
}

TEST(SettingsRulesTest, key_page_buttons_name_the_chosen_service) {
    EXPECT_STREQ(sttButtonLabel("deepgram"), "Deepgram 사이트 열기");
    EXPECT_STREQ(sttButtonLabel("none"), "사이트 이동");
    EXPECT_STREQ(sttButtonLabel("whisper_local"), "사이트 이동");
    EXPECT_STREQ(translationButtonLabel("gemini"), "Google Gemini 사이트 열기");
    EXPECT_STREQ(sttKeyPage("whisper_local"), "");
    EXPECT_STREQ(translationKeyPage("none"), "");
    EXPECT_EQ(std::string(sttKeyPage("google_stt")).rfind("https://", 0), 0u);
}

}  // namespace
}  // namespace obs_sayline
