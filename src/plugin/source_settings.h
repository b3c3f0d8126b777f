#pragma once

#include <obs.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "live/chunker.h"
#include "live/service_setup.h"
#include "live/word_rules.h"
#include "platform/host_text_source.h"
#include "plugin/source_defaults.h"
#include "sinks/captions/closed_caption_sink.h"
#include "sinks/hub/subtitle_hub.h"
#include "sinks/transcript/transcript_options.h"
#include "sinks/youtube/youtube_caption_sink.h"
#include "stt/stt_types.h"
#include "translation/translation_types.h"

namespace obs_sayline {

// API keys longer than this are taken for pasted garbage and refused.
constexpr size_t kMaxApiKeyLength = 256;

// What the user set for one source, as the update reads it. Written only by the update on the
// host's control thread; the other threads get copies of what they need.
struct SourceSettings {
    SttEngineType sttEngineType = SttEngineType::None;
    std::string sttApiKey;
    std::string whisperBaseUrl;  // as entered, trimmed; judged when the engine is prepared
    std::string whisperModel = defaults::kWhisperModel;
    std::string sourceLanguage;  // empty until the first update
    bool enableTranslation = defaults::kEnableTranslation;
    ProviderType translationProviderType = ProviderType::None;
    std::string translationApiKey;
    std::string translationBaseUrl;  // as entered, trimmed; judged when the provider is prepared
    std::string translationModel = defaults::kTranslationModel;  // OpenAI
    std::string anthropicModel = defaults::kAnthropicModel;
    std::string targetLanguage = defaults::kTargetLanguage;
    bool showOriginal = defaults::kShowOriginal;
    ChunkMode chunkMode = ChunkMode::Fixed;
    int pauseMs = static_cast<int>(defaults::kPauseLength.defaultValue);
    int maxChunkMs = static_cast<int>(defaults::kLongestChunk.defaultValue);
    // The streamer's words, parsed and bounded as read: the vocabulary for the services and
    // the translators, the replacements and hidden words for every recognised line.
    std::vector<std::string> vocabulary;
    WordRules wordRules;
    bool serviceProfanityFilter = defaults::kServiceProfanityFilter;
    platform::FontFace font{defaults::kFontFace, "", 0};
    uint32_t textColor = defaults::kOpaqueFontColor;
    int fontSize = static_cast<int>(defaults::kFontSize.defaultValue);
    bool backgroundEnabled = defaults::kBackgroundEnabled;
    uint32_t backgroundColor = defaults::kBackgroundColor;
    int backgroundPadding = static_cast<int>(defaults::kBackgroundPadding.defaultValue);
    int maxSubtitleLength = static_cast<int>(defaults::kMaxSubtitleLength.defaultValue);
    int subtitleDurationMs = static_cast<int>(defaults::kSubtitleDuration.defaultValue);
    bool ccEnabled = defaults::kCcEnabled;
    CaptionText ccText = CaptionText::Translation;  // for YouTube's captions too
    bool youtubeCaptions = defaults::kYouTubeCaptions;
    std::string youtubeCaptionUrl;  // as pasted, trimmed; carries the stream's key: never logged
    int youtubeOffsetMs = static_cast<int>(defaults::kYouTubeOffset.defaultValue);
    TranscriptFormat transcriptFormat = TranscriptFormat::Off;
    std::string transcriptDir = defaults::kTranscriptDir;
    std::string audioSource = defaults::kAudioSource;  // empty: the program audio
    bool statusInScene = defaults::kStatusInScene;
    std::string speakerName = defaults::kSpeakerName;  // one line, trimmed
    bool speakerInScene = defaults::kSpeakerInScene;
};

// Reads the host's settings over `previous`: keys are cleaned; provider, target and key keep
// their values while translation is off; numbers that are not positive (negative padding, a
// zero background colour) leave the previous value, and others are held to the property's
// range, since scene files and remote clients can write anything.
SourceSettings readSourceSettings(obs_data_t* settings, const SourceSettings& previous);
// The translation part of it: provider, target, key, server URL and models (what
// readSourceSettings reads only while translation is on).
void readTranslationSettings(obs_data_t* settings, SourceSettings& s);

// The services the settings ask for.
ServiceChoice serviceChoice(const SourceSettings& settings);

// "whisper_api" WhisperApi, "whisper_local" WhisperLocal, "google_stt" GoogleStt, "deepgram"
// Deepgram, "deepgram_live" DeepgramLive, anything else None.
SttEngineType sttEngineKind(const std::string& value);
// "deepl", "google_translate", "openai", "anthropic", "gemini"; anything else None.
ProviderType translationProviderKind(const std::string& value);
// "srt", "vtt", "both"; anything else Off.
TranscriptFormat transcriptFormatKind(const std::string& value);

// What the transcripts need of the settings.
TranscriptOptions transcriptOptions(const SourceSettings& settings);
// What the YouTube captions need of them.
YouTubeCaptionOptions youtubeCaptionOptions(const SourceSettings& settings);
// What the source gives the outputs all sources share; `label`: its name.
HubContribution hubContribution(const SourceSettings& settings, const std::string& label);

// Trims blanks, tabs and line breaks around a key; an over-long key is logged (under the
// given name, never its text) and comes back empty.
std::string cleanApiKey(const char* raw, const char* which);

// Host callback: update.
void subtitle_source_update(void* data, obs_data_t* settings);

}  // namespace obs_sayline
