// The pure rules of the Sayline source's settings: background colours and key clean-up, list
// values, ranges.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "live/service_setup.h"
#include "plugin/source_properties.h"
#include "plugin/source_settings.h"
#include "plugin/text_source.h"
#include "support/host_log_capture.h"
#include "support/module_locale.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

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

TEST(SettingsRulesTest, translation_server_and_models_are_trimmed_bounded_and_kept_apart) {
    HostLogCapture::instance().clear();
    obs_data_t* raw = obs_data_create();
    obs_data_set_bool(raw, "enable_translation", true);
    obs_data_set_string(raw, "translation_provider", "openai");
    obs_data_set_string(raw, "translation_base_url", "  http://localhost:11434\n");
    obs_data_set_string(raw, "translation_model", " llama3.2 ");
    obs_data_set_string(raw, "anthropic_model", "");
    const SourceSettings read = readSourceSettings(raw, SourceSettings{});
    ServiceChoice choice = serviceChoice(read);
    EXPECT_EQ(choice.translationServerUrl, "http://localhost:11434");
    EXPECT_EQ(choice.translationModel, "llama3.2");
    // Each provider its own model: Anthropic's is its default, not the local server's.
    obs_data_set_string(raw, "translation_provider", "anthropic");
    choice = serviceChoice(readSourceSettings(raw, read));
    EXPECT_EQ(choice.translationModel, "claude-haiku-4-5");
    EXPECT_EQ(choice.translationServerUrl, "");

    // Pasted garbage is dropped, never logged; the model falls back to the default.
    obs_data_set_string(raw, "translation_provider", "openai");
    obs_data_set_string(raw, "translation_base_url", std::string(2049, 'u').c_str());
    obs_data_set_string(raw, "translation_model", std::string(257, 'm').c_str());
    choice = serviceChoice(readSourceSettings(raw, read));
    EXPECT_EQ(choice.translationServerUrl, "");
    EXPECT_EQ(choice.translationModel, "gpt-4o-mini");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Settings] Ignoring translation_base_url: 2049 bytes (max=2048)"));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("uuuu"));

    // Kept while translation is off, as provider and key are.
    obs_data_set_bool(raw, "enable_translation", false);
    obs_data_set_string(raw, "translation_model", "qwen2.5");
    EXPECT_EQ(readSourceSettings(raw, read).translationModel, "llama3.2");
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

TEST(SettingsRulesTest, word_lists_are_read_bounded_and_reach_the_services) {
    obs_data_t* raw = obs_data_create();
    // Blank or malformed lists ask nothing of anyone.
    obs_data_set_string(raw, "vocabulary", " \n\n\t");
    obs_data_set_string(raw, "replacements", "no arrow\n => nothing before\n");
    obs_data_set_string(raw, "hidden_words", "   \n");
    const SourceSettings blank = readSourceSettings(raw, SourceSettings{});
    EXPECT_TRUE(blank.vocabulary.empty());
    EXPECT_TRUE(blank.wordRules.empty());
    EXPECT_FALSE(blank.serviceProfanityFilter);
    EXPECT_EQ(blank.wordRules.hide(blank.wordRules.apply("say line, darn")), "say line, darn");
    EXPECT_TRUE(serviceChoice(blank).vocabulary.empty());

    std::string terms = " Sayline \nsayline\n";
    for (int i = 0; i < 150; ++i) terms += "term" + std::to_string(i) + "\n";
    obs_data_set_string(raw, "vocabulary", terms.c_str());
    obs_data_set_string(raw, "replacements", "say line => Sayline\n");
    // A flood is read up to its last whole line within the bound: "heck" is past it.
    const std::string flood = "darn\n" + std::string(defaults::kMaxWordListBytes, 'x') + "\nheck\n";
    obs_data_set_string(raw, "hidden_words", flood.c_str());
    obs_data_set_bool(raw, "service_profanity_filter", true);
    const SourceSettings read = readSourceSettings(raw, blank);
    ASSERT_EQ(read.vocabulary.size(), kMaxVocabularyTerms);
    EXPECT_EQ(read.vocabulary[0], "Sayline");
    EXPECT_EQ(read.vocabulary[1], "term0");
    EXPECT_EQ(read.wordRules.hiddenCount(), 1u);
    EXPECT_EQ(read.wordRules.hide(read.wordRules.apply("say line, darn, heck")),
              "Sayline, d***, heck");
    const ServiceChoice choice = serviceChoice(read);
    EXPECT_EQ(choice.vocabulary, read.vocabulary);
    EXPECT_TRUE(choice.serviceProfanityFilter);
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
