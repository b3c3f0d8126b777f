// The pure rules of the Sayline source: phantom filter, display text, placement, display time,
// background and key clean-up.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "live/recognised_text.h"
#include "live/request_recognition.h"
#include "core/utf8_text.h"
#include "live/recognised_text.h"
#include "live/request_recognition.h"
#include "plugin/scene_text_sink.h"
#include "plugin/source_properties.h"
#include "plugin/source_settings.h"
#include "plugin/subtitle_render.h"
#include "plugin/text_source.h"
#include "scripted_engine.h"
#include "support/host_log_capture.h"
#include "support/module_locale.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

// The display text the renderer would take next.
std::optional<std::string> takenText(SceneTextSink& scene) {
    std::optional<SceneSubtitle> taken = scene.takePending();
    if (!taken) return std::nullopt;
    return taken->text;
}

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
    SceneTextSink scene(std::make_shared<PrivateTextSource>());
    FinishedSubtitle one;
    one.text = one.original = "one";
    scene.deliver(one);
    FinishedSubtitle two;
    two.text = two.translation = "zwei";
    two.original = "two";
    scene.deliver(two);
    EXPECT_EQ(takenText(scene), std::optional<std::string>("zwei"));
    EXPECT_EQ(takenText(scene), std::nullopt);
    EXPECT_EQ(scene.originalText(), "two");

    scene.deliver(FinishedSubtitle{});  // nothing to show
    EXPECT_EQ(takenText(scene), std::nullopt);

    // A worker that finishes after its source is gone drops the result.
    auto sinks = std::make_shared<SubtitleSinks>();
    auto late = std::make_shared<SceneTextSink>(std::make_shared<PrivateTextSource>());
    sinks->add(late);
    SourceShared shared;
    shared.orphaned = true;
    RecognitionSetup setup;
    setup.engine = std::make_shared<test::ScriptedEngine>();
    SpeechChunk chunk;
    chunk.samples.assign(1600, 0.2f);
    HostLogCapture::instance().clear();
    recognizeChunk(shared, setup, *sinks, chunk);
    EXPECT_EQ(late->originalText(), "");
    EXPECT_EQ(takenText(*late), std::nullopt);
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [STT] Source is gone, result dropped"));
}

TEST(DisplayTextTest, lines_are_cut_at_the_longest_length_on_character_boundaries) {
    EXPECT_EQ(limitLineLength("abcdef\nxy", 3), "abc\nxy");
    EXPECT_EQ(limitLineLength("가나다라", 2), "가나");  // three bytes each, never split
    EXPECT_EQ(limitLineLength("ab\xE0\x80", 3), "ab\xE0");  // a broken character counts as one
    SceneTextSink scene(std::make_shared<PrivateTextSource>());
    scene.setMaxLineLength(50);
    FinishedSubtitle huge;
    huge.text = std::string(400 * 1024, 'w');
    scene.deliver(huge);
    EXPECT_EQ(takenText(scene), std::optional<std::string>(std::string(50, 'w')));
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
    EXPECT_EQ(sttEngineKind("whisper_api"), SttEngineType::WhisperApi);
    EXPECT_EQ(sttEngineKind("whisper_local"), SttEngineType::WhisperLocal);
    EXPECT_EQ(sttEngineKind("google_stt"), SttEngineType::GoogleStt);
    EXPECT_EQ(sttEngineKind("deepgram"), SttEngineType::Deepgram);
    EXPECT_EQ(sttEngineKind("deepgram_live"), SttEngineType::DeepgramLive);
    EXPECT_EQ(sttEngineKind("Deepgram"), SttEngineType::None);
    EXPECT_EQ(sttEngineKind("none"), SttEngineType::None);
    EXPECT_EQ(translationProviderKind("deepl"), ProviderType::DeepL);
    EXPECT_EQ(translationProviderKind("google_translate"), ProviderType::GoogleTranslate);
    EXPECT_EQ(translationProviderKind("openai"), ProviderType::OpenAI);
    EXPECT_EQ(translationProviderKind("anthropic"), ProviderType::Anthropic);
    EXPECT_EQ(translationProviderKind("gemini"), ProviderType::Gemini);
    EXPECT_EQ(translationProviderKind(""), ProviderType::None);
    EXPECT_EQ(transcriptFormatKind("srt"), TranscriptFormat::Srt);
    EXPECT_EQ(transcriptFormatKind("vtt"), TranscriptFormat::Vtt);
    EXPECT_EQ(transcriptFormatKind("both"), TranscriptFormat::Both);
    EXPECT_EQ(transcriptFormatKind("SRT"), TranscriptFormat::Off);
}

TEST(SettingsRulesTest, numbers_from_the_host_are_held_to_their_property_ranges) {
    obs_data_t* raw = obs_data_create();
    obs_data_set_int(raw, "subtitle_duration", 3000000000LL);  // past INT_MAX
    obs_data_set_int(raw, "font_size", 4294967320LL);          // 24 once cut to 32 bits
    obs_data_set_int(raw, "max_subtitle_length", 7);
    obs_data_set_bool(raw, "background_enabled", true);
    obs_data_set_int(raw, "background_padding", 1000);
    obs_data_set_int(raw, "pause_ms", 50);
    obs_data_set_int(raw, "max_chunk_ms", 60000);
    const SourceSettings read = readSourceSettings(raw, SourceSettings{});
    EXPECT_EQ(read.subtitleDurationMs, 10000);
    EXPECT_EQ(read.fontSize, 72);
    EXPECT_EQ(read.maxSubtitleLength, 50);
    EXPECT_EQ(read.backgroundPadding, 50);
    EXPECT_EQ(read.pauseMs, 200);
    EXPECT_EQ(read.maxChunkMs, 25000);

    // Non-positive values still leave the previous one.
    obs_data_set_int(raw, "subtitle_duration", -5);
    obs_data_set_int(raw, "font_size", 0);
    const SourceSettings kept = readSourceSettings(raw, read);
    EXPECT_EQ(kept.subtitleDurationMs, 10000);
    EXPECT_EQ(kept.fontSize, 72);
    obs_data_release(raw);
}

TEST(SettingsRulesTest, audio_is_cut_at_pauses_only_when_asked_for) {
    obs_data_t* raw = obs_data_create();
    EXPECT_EQ(readSourceSettings(raw, SourceSettings{}).chunkMode, ChunkMode::Fixed);
    obs_data_set_string(raw, "chunk_mode", "pauses");
    EXPECT_EQ(readSourceSettings(raw, SourceSettings{}).chunkMode, ChunkMode::Pauses);
    obs_data_set_string(raw, "chunk_mode", "Pauses");
    EXPECT_EQ(readSourceSettings(raw, SourceSettings{}).chunkMode, ChunkMode::Fixed);
    obs_data_release(raw);
}

TEST(SettingsRulesTest, key_page_buttons_name_the_chosen_service) {
    test::useModuleLocale();
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
