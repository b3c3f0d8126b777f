#pragma once

namespace obs_sayline {

// Keys of the Sayline source's settings, as the host stores them with the scene.
namespace keys {
constexpr const char* kStatus = "status";
constexpr const char* kStatusRefresh = "status_refresh";
constexpr const char* kInfo = "info";
constexpr const char* kSttEngine = "stt_engine";
constexpr const char* kWhisperLocalNote = "whisper_local_note";  // info row while it is chosen
constexpr const char* kOpenSttSite = "open_stt_site";
constexpr const char* kSttApiKey = "stt_api_key";
// Whisper API only: another OpenAI-compatible server, its model, and the connection test.
constexpr const char* kWhisperBaseUrl = "whisper_base_url";
constexpr const char* kWhisperModel = "whisper_model";
constexpr const char* kTestSttServer = "test_stt_server";  // button
constexpr const char* kSttServerTest = "stt_server_test";  // info row with the outcome
constexpr const char* kSourceLanguage = "source_language";
constexpr const char* kAudioSource = "audio_source";
constexpr const char* kShowOriginal = "show_original";
constexpr const char* kChunkMode = "chunk_mode";
constexpr const char* kPauseMs = "pause_ms";
constexpr const char* kMaxChunkMs = "max_chunk_ms";
// The streamer's own words: multi-line lists, and the speech service's own profanity filter.
constexpr const char* kVocabulary = "vocabulary";
constexpr const char* kReplacements = "replacements";
constexpr const char* kHiddenWords = "hidden_words";
constexpr const char* kServiceProfanityFilter = "service_profanity_filter";
constexpr const char* kEnableTranslation = "enable_translation";
constexpr const char* kTranslationProvider = "translation_provider";
constexpr const char* kOpenTransSite = "open_trans_site";
constexpr const char* kTranslationApiKey = "translation_api_key";
// OpenAI only: a server of one's own that speaks its chat completions. Each model provider has
// a model of its own: a name one service knows means nothing to the other.
constexpr const char* kTranslationBaseUrl = "translation_base_url";
constexpr const char* kTranslationModel = "translation_model";  // OpenAI
constexpr const char* kAnthropicModel = "anthropic_model";
constexpr const char* kTestTranslation = "test_translation";  // button
constexpr const char* kTranslationTest = "translation_test";  // info row with the outcome
constexpr const char* kTargetLanguage = "target_language";
// An object as the host's font picker stores it: "face", "style", "flags" (its "size" is not
// used: "font_size" is the size).
constexpr const char* kFont = "font";
constexpr const char* kFontSize = "font_size";
constexpr const char* kFontColor = "font_color";
constexpr const char* kBackgroundEnabled = "background_enabled";
constexpr const char* kBackgroundColor = "background_color";
constexpr const char* kBackgroundPadding = "background_padding";
constexpr const char* kMaxSubtitleLength = "max_subtitle_length";
constexpr const char* kSubtitleDuration = "subtitle_duration";
constexpr const char* kCcEnabled = "cc_enabled";
constexpr const char* kCcText = "cc_text";
// Captions to a YouTube live stream's caption ingestion URL (which carries the stream's key),
// their time offset, and the test button with its outcome row.
constexpr const char* kYouTubeCaptions = "youtube_captions";
constexpr const char* kYouTubeCaptionUrl = "youtube_caption_url";
constexpr const char* kYouTubeOffsetMs = "youtube_offset_ms";
constexpr const char* kTestYouTubeCaption = "test_youtube_caption";  // button
constexpr const char* kYouTubeCaptionTest = "youtube_caption_test";  // info row with the outcome
constexpr const char* kYouTubeStatistics = "youtube_statistics";     // info row
constexpr const char* kTranscriptFormat = "transcript_format";
constexpr const char* kTranscriptDir = "transcript_dir";
constexpr const char* kStatusInScene = "status_in_scene";
constexpr const char* kSpeakerName = "speaker_name";
constexpr const char* kSpeakerInScene = "speaker_in_scene";
}  // namespace keys

// Stored values of the engine and provider lists.
namespace values {
constexpr const char* kNone = "none";
constexpr const char* kWhisperApi = "whisper_api";
constexpr const char* kWhisperLocal = "whisper_local";
constexpr const char* kGoogleStt = "google_stt";
constexpr const char* kDeepgram = "deepgram";
constexpr const char* kDeepgramLive = "deepgram_live";
constexpr const char* kDeepL = "deepl";
constexpr const char* kGoogleTranslate = "google_translate";
constexpr const char* kOpenAi = "openai";
constexpr const char* kAnthropic = "anthropic";
constexpr const char* kGemini = "gemini";
constexpr const char* kAutoLanguage = "auto";
constexpr const char* kProgramAudio = "";  // "audio_source": the host's program mix
// "cc_text": which text becomes the closed caption
constexpr const char* kCcTranslation = "translation";
constexpr const char* kCcOriginal = "original";
constexpr const char* kTranscriptOff = "off";
constexpr const char* kTranscriptSrt = "srt";
constexpr const char* kTranscriptVtt = "vtt";
constexpr const char* kTranscriptBoth = "both";
constexpr const char* kChunkFixed = "fixed";
constexpr const char* kChunkPauses = "pauses";
}  // namespace values

}  // namespace obs_sayline
