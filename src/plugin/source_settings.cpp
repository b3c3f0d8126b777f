#include "plugin/source_settings.h"

#include <limits>
#include <string_view>

#include "core/logger.h"
#include "plugin/callback_guard.h"
#include "plugin/source_capture.h"
#include "plugin/source_log.h"
#include "plugin/subtitle_source_data.h"
#include "plugin/text_source.h"

namespace obs_sayline {
namespace {

constexpr const char* kKeyBlanks = " \t\r\n";

std::string trimBlanks(const char* raw) {
    std::string text = raw ? raw : "";
    const size_t first = text.find_first_not_of(kKeyBlanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(kKeyBlanks) - first + 1);
}

std::string stringOr(obs_data_t* settings, const char* key, const char* fallback) {
    const char* value = obs_data_get_string(settings, key);
    return value && *value ? value : fallback;
}

// A text setting without surrounding blanks; an over-long one is logged (never its text, under
// `name` or else its key) and comes back empty.
std::string cleanText(obs_data_t* settings, const char* key, size_t maxLength,
                      const char* name = nullptr) {
    std::string text = trimBlanks(obs_data_get_string(settings, key));
    if (text.size() > maxLength) {
        logWarningTag("Settings", "Ignoring %s: %zu bytes (max=%zu)", name ? name : key,
                      text.size(), maxLength);
        return "";
    }
    return text;
}

// A multi-line list up to its last whole line within kMaxWordListBytes; its lines are cleaned
// and bounded by the list's own parser. Only sizes are logged, and only at Debug: the words
// are the streamer's.
std::string_view wordList(obs_data_t* settings, const char* key) {
    const char* raw = obs_data_get_string(settings, key);
    std::string_view text = raw ? raw : "";
    if (text.size() <= defaults::kMaxWordListBytes) return text;
    const size_t lastBreak = text.rfind('\n', defaults::kMaxWordListBytes);
    logDebugTag("Settings", "Reading %s up to %zu of its %zu bytes", key,
                lastBreak == std::string_view::npos ? 0 : lastBreak, text.size());
    return lastBreak == std::string_view::npos ? std::string_view() : text.substr(0, lastBreak);
}

// The font object as the host's picker stores it; a face that is missing, blank or over-long
// is the default one. Its size is not read: "font_size" is the size.
platform::FontFace readFont(obs_data_t* settings) {
    platform::FontFace font{defaults::kFontFace, "", 0};
    obs_data_t* stored = obs_data_get_obj(settings, keys::kFont);
    if (!stored) return font;
    const std::string face =
        cleanText(stored, "face", defaults::kMaxFontNameLength, "the font's face");
    if (!face.empty()) font.face = face;
    font.style = cleanText(stored, "style", defaults::kMaxFontNameLength, "the font's style");
    font.flags = static_cast<uint32_t>(
        obs_data_get_int(stored, "flags") &
        (OBS_FONT_BOLD | OBS_FONT_ITALIC | OBS_FONT_UNDERLINE | OBS_FONT_STRIKEOUT));
    obs_data_release(stored);
    return font;
}

// A positive value held to the setting's range; anything else keeps `previous`.
int positiveInRange(obs_data_t* settings, const IntSetting& setting, int previous) {
    const long long value = obs_data_get_int(settings, setting.key);
    return value > 0 ? static_cast<int>(clampToRange(setting, value)) : previous;
}

// Colours are 32-bit; the settings hold 64-bit numbers.
uint32_t colorOf(obs_data_t* settings, const char* key) {
    return static_cast<uint32_t>(obs_data_get_int(settings, key) & 0xFFFFFFFFLL);
}

// The look and the box of the scene text, taken from the settings and the canvas.
void applyLook(SubtitleSourceData& data, const SourceSettings& s) {
    obs_video_info video{};
    if (obs_get_video_info(&video) && video.base_width > 0) data.width.store(video.base_width);
    SceneLook look;
    look.font = s.font;
    look.fontSize = s.fontSize;
    look.textColor = s.textColor;
    look.backgroundEnabled = s.backgroundEnabled;
    look.backgroundColor = s.backgroundColor;
    look.backgroundPadding = s.backgroundPadding;
    const uint32_t width = data.width.load();
    const uint32_t height = data.height.load();
    data.rows->setLook(look, width, height);
    data.scene->setFont(s.font);
    data.scene->setLayoutBox(sceneBox(look, width, height), static_cast<int>(textPixels(look)));
    data.scene->setDisplayMs(s.subtitleDurationMs);
    data.scene->setMaxLineLength(static_cast<size_t>(s.maxSubtitleLength));
}

// Takes the settings into every part, stops capture, and starts it again with fresh services
// when an engine is chosen.
void applySettings(SubtitleSourceData& data, obs_data_t* settings) {
    logSource(LogLevel::Info, data.source, "update processing...");
    SourceSettings next = readSourceSettings(settings, data.settings);
    {
        std::lock_guard<std::mutex> lock(data.settingsMutex);
        data.settings = std::move(next);
    }
    const SourceSettings& s = data.settings;
    applyLook(data, s);
    data.statusOverlay.setEnabled(s.statusInScene);
    data.scene->setSpeakerPrefix(
        s.speakerInScene && !s.speakerName.empty() ? s.speakerName + ": " : "");
    HubContribution contribution =
        hubContribution(s, data.source ? obs_source_get_name(data.source) : "");
    contribution.youtubeReport = data.youtubeReport;
    data.sharedOutputs->configure(contribution);
    if (!s.youtubeCaptions) data.shared->status.captionsOff();
    logSource(LogLevel::Info, data.source, "applied settings - STT: %s, Translation: %s, Provider: %d",
              obs_data_get_string(settings, keys::kSttEngine),
              s.enableTranslation ? "enabled" : "disabled",
              static_cast<int>(s.translationProviderType));

    SourceStatus::Quiet restart(data.shared->status);
    const bool workerWasBusy = stopCapture(data);
    if (obs_in_task_thread(OBS_TASK_GRAPHICS)) {
        // The host deferred this update to its video tick: waiting here would freeze the video.
        logDebug("Update on the graphics thread - not waiting for audio processing");
    } else if (workerWasBusy && !waitForRecognition(data)) {
        logSource(LogLevel::Warning, data.source,
                  "still recognising after 5 s - the settings apply anyway");
    }
    // A worker still running keeps its own references until it ends.
    data.capture.sttEngine.reset();
    data.capture.translator.reset();

    if (s.sttEngineType != SttEngineType::None) {
        startCapture(data);
    } else {
        logSource(LogLevel::Info, data.source, "has no speech engine chosen - not capturing");
    }
}

}  // namespace

SourceSettings readSourceSettings(obs_data_t* settings, const SourceSettings& previous) {
    SourceSettings s = previous;
    s.sttEngineType = sttEngineKind(stringOr(settings, keys::kSttEngine, values::kNone));
    s.sttApiKey = cleanApiKey(obs_data_get_string(settings, keys::kSttApiKey), "STT");
    s.whisperBaseUrl =
        cleanText(settings, keys::kWhisperBaseUrl, defaults::kMaxWhisperBaseUrlLength);
    s.whisperModel = cleanText(settings, keys::kWhisperModel, defaults::kMaxWhisperModelLength);
    if (s.whisperModel.empty()) s.whisperModel = defaults::kWhisperModel;
    s.sourceLanguage = stringOr(settings, keys::kSourceLanguage, "");

    s.enableTranslation = obs_data_get_bool(settings, keys::kEnableTranslation);
    if (s.enableTranslation) readTranslationSettings(settings, s);

    s.font = readFont(settings);
    s.fontSize = positiveInRange(settings, defaults::kFontSize, s.fontSize);
    const uint32_t fontColor = colorOf(settings, keys::kFontColor);
    s.textColor = fontColor == 0 ? defaults::kOpaqueFontColor : fontColor;

    s.showOriginal = obs_data_get_bool(settings, keys::kShowOriginal);
    s.chunkMode = stringOr(settings, keys::kChunkMode, values::kChunkFixed) == values::kChunkPauses
                      ? ChunkMode::Pauses
                      : ChunkMode::Fixed;
    s.pauseMs = positiveInRange(settings, defaults::kPauseLength, s.pauseMs);
    s.maxChunkMs = positiveInRange(settings, defaults::kLongestChunk, s.maxChunkMs);
    s.vocabulary = parseVocabulary(wordList(settings, keys::kVocabulary));
    s.wordRules = WordRules::parse(wordList(settings, keys::kReplacements),
                                   wordList(settings, keys::kHiddenWords));
    s.serviceProfanityFilter = obs_data_get_bool(settings, keys::kServiceProfanityFilter);
    s.backgroundEnabled = obs_data_get_bool(settings, keys::kBackgroundEnabled);
    if (s.backgroundEnabled) {
        const uint32_t color = colorOf(settings, keys::kBackgroundColor);
        if (color != 0) s.backgroundColor = color;
        const long long padding = obs_data_get_int(settings, keys::kBackgroundPadding);
        if (padding >= 0) {
            s.backgroundPadding =
                static_cast<int>(clampToRange(defaults::kBackgroundPadding, padding));
        }
    }

    s.subtitleDurationMs =
        positiveInRange(settings, defaults::kSubtitleDuration, s.subtitleDurationMs);
    s.maxSubtitleLength =
        positiveInRange(settings, defaults::kMaxSubtitleLength, s.maxSubtitleLength);

    s.ccEnabled = obs_data_get_bool(settings, keys::kCcEnabled);
    s.ccText = stringOr(settings, keys::kCcText, defaults::kCcText) == values::kCcOriginal
                   ? CaptionText::Original
                   : CaptionText::Translation;
    s.youtubeCaptions = obs_data_get_bool(settings, keys::kYouTubeCaptions);
    s.youtubeCaptionUrl =
        cleanText(settings, keys::kYouTubeCaptionUrl, defaults::kMaxYouTubeCaptionUrlLength,
                  "the YouTube caption URL");
    s.youtubeOffsetMs = static_cast<int>(
        clampToRange(defaults::kYouTubeOffset, obs_data_get_int(settings, keys::kYouTubeOffsetMs)));
    s.transcriptFormat = transcriptFormatKind(
        stringOr(settings, keys::kTranscriptFormat, defaults::kTranscriptFormat));
    s.transcriptDir = stringOr(settings, keys::kTranscriptDir, defaults::kTranscriptDir);
    s.audioSource = stringOr(settings, keys::kAudioSource, defaults::kAudioSource);
    s.statusInScene = obs_data_get_bool(settings, keys::kStatusInScene);
    s.speakerName = cleanText(settings, keys::kSpeakerName, defaults::kMaxSpeakerNameLength);
    for (char& c : s.speakerName) {
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    s.speakerInScene = obs_data_get_bool(settings, keys::kSpeakerInScene);
    return s;
}

void readTranslationSettings(obs_data_t* settings, SourceSettings& s) {
    s.translationProviderType =
        translationProviderKind(stringOr(settings, keys::kTranslationProvider, values::kNone));
    s.targetLanguage = stringOr(settings, keys::kTargetLanguage, defaults::kTargetLanguage);
    s.translationApiKey =
        cleanApiKey(obs_data_get_string(settings, keys::kTranslationApiKey), "Translation");
    s.translationBaseUrl =
        cleanText(settings, keys::kTranslationBaseUrl, defaults::kMaxTranslationBaseUrlLength);
    s.translationModel =
        cleanText(settings, keys::kTranslationModel, defaults::kMaxTranslationModelLength);
    if (s.translationModel.empty()) s.translationModel = defaults::kTranslationModel;
    s.anthropicModel =
        cleanText(settings, keys::kAnthropicModel, defaults::kMaxTranslationModelLength);
    if (s.anthropicModel.empty()) s.anthropicModel = defaults::kAnthropicModel;
}

ServiceChoice serviceChoice(const SourceSettings& settings) {
    ServiceChoice choice;
    choice.engine = settings.sttEngineType;
    choice.sttApiKey = settings.sttApiKey;
    choice.whisperServerUrl = settings.whisperBaseUrl;
    choice.whisperModel = settings.whisperModel;
    choice.sourceLanguage = settings.sourceLanguage;
    choice.vocabulary = settings.vocabulary;
    choice.serviceProfanityFilter = settings.serviceProfanityFilter;
    choice.enableTranslation = settings.enableTranslation;
    choice.provider = settings.translationProviderType;
    choice.translationApiKey = settings.translationApiKey;
    if (settings.translationProviderType == ProviderType::OpenAI) {
        choice.translationServerUrl = settings.translationBaseUrl;
        choice.translationModel = settings.translationModel;
    } else if (settings.translationProviderType == ProviderType::Anthropic) {
        choice.translationModel = settings.anthropicModel;
    }
    return choice;
}

SttEngineType sttEngineKind(const std::string& value) {
    if (value == values::kWhisperApi) return SttEngineType::WhisperApi;
    if (value == values::kWhisperLocal) return SttEngineType::WhisperLocal;
    if (value == values::kGoogleStt) return SttEngineType::GoogleStt;
    if (value == values::kDeepgram) return SttEngineType::Deepgram;
    if (value == values::kDeepgramLive) return SttEngineType::DeepgramLive;
    return SttEngineType::None;
}

ProviderType translationProviderKind(const std::string& value) {
    if (value == values::kDeepL) return ProviderType::DeepL;
    if (value == values::kGoogleTranslate) return ProviderType::GoogleTranslate;
    if (value == values::kOpenAi) return ProviderType::OpenAI;
    if (value == values::kAnthropic) return ProviderType::Anthropic;
    if (value == values::kGemini) return ProviderType::Gemini;
    return ProviderType::None;
}

TranscriptFormat transcriptFormatKind(const std::string& value) {
    if (value == values::kTranscriptSrt) return TranscriptFormat::Srt;
    if (value == values::kTranscriptVtt) return TranscriptFormat::Vtt;
    if (value == values::kTranscriptBoth) return TranscriptFormat::Both;
    return TranscriptFormat::Off;
}

HubContribution hubContribution(const SourceSettings& settings, const std::string& label) {
    HubContribution contribution;
    contribution.label = label;
    contribution.speaker = settings.speakerName;
    contribution.captions = settings.ccEnabled;
    contribution.captionText = settings.ccText;
    contribution.transcript = transcriptOptions(settings);
    contribution.youtube = youtubeCaptionOptions(settings);
    return contribution;
}

TranscriptOptions transcriptOptions(const SourceSettings& settings) {
    TranscriptOptions options;
    options.format = settings.transcriptFormat;
    options.folder = settings.transcriptDir;
    options.translating =
        settings.enableTranslation && settings.translationProviderType != ProviderType::None;
    options.sourceLanguage = settings.sourceLanguage;
    options.targetLanguage = settings.targetLanguage;
    return options;
}

YouTubeCaptionOptions youtubeCaptionOptions(const SourceSettings& settings) {
    YouTubeCaptionOptions options;
    options.enabled = settings.youtubeCaptions;
    options.url = settings.youtubeCaptionUrl;
    options.translation = settings.ccText == CaptionText::Translation;
    options.offsetMs = settings.youtubeOffsetMs;
    return options;
}

std::string cleanApiKey(const char* raw, const char* which) {
    std::string key = trimBlanks(raw);
    if (key.size() > kMaxApiKeyLength) {
        logErrorTag("Settings",
                    "%s API key is corrupted! Length=%zu (max=%zu). Please re-enter your API key "
                    "in OBS settings.",
                    which, key.size(), kMaxApiKeyLength);
        return "";
    }
    return key;
}

void subtitle_source_update(void* data, obs_data_t* settings) {
    if (!data || !settings) {
        logError("Update called without a source record or settings");
        return;
    }
    guardCallback("subtitle_source_update", [&] {
        auto& record = *static_cast<SubtitleSourceData*>(data);
        armFaultsFromEnvironment();
        injectFault(Fault::Update);
        applySettings(record, settings);
    });
}

}  // namespace obs_sayline
