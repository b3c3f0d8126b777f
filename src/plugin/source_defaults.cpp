#include "plugin/source_defaults.h"

#include <algorithm>

#include "core/logger.h"
#include "plugin/callback_guard.h"

namespace obs_sayline {

long long clampToRange(const IntSetting& setting, long long value) {
    return std::clamp<long long>(value, setting.min, setting.max);
}

void subtitle_source_defaults(obs_data_t* settings) {
    guardCallback("subtitle_source_defaults", [&] {
        injectFault(Fault::Defaults);
        writeDefaults(settings);
    });
}

void writeDefaults(obs_data_t* settings) {
    using namespace defaults;
    obs_data_set_default_string(settings, keys::kSttEngine, kSttEngine);
    obs_data_set_default_string(settings, keys::kWhisperBaseUrl, kWhisperBaseUrl);
    obs_data_set_default_string(settings, keys::kWhisperModel, kWhisperModel);
    obs_data_set_default_string(settings, keys::kSourceLanguage, kSourceLanguage);
    obs_data_set_default_bool(settings, keys::kShowOriginal, kShowOriginal);
    obs_data_set_default_string(settings, keys::kChunkMode, kChunkMode);
    obs_data_set_default_int(settings, kPauseLength.key, kPauseLength.defaultValue);
    obs_data_set_default_int(settings, kLongestChunk.key, kLongestChunk.defaultValue);
    obs_data_set_default_bool(settings, keys::kEnableTranslation, kEnableTranslation);
    obs_data_set_default_string(settings, keys::kTranslationProvider, kTranslationProvider);
    obs_data_set_default_string(settings, keys::kTargetLanguage, kTargetLanguage);
    obs_data_set_default_string(settings, keys::kTranslationBaseUrl, kTranslationBaseUrl);
    obs_data_set_default_string(settings, keys::kTranslationModel, kTranslationModel);
    obs_data_set_default_string(settings, keys::kAnthropicModel, kAnthropicModel);
    obs_data_t* font = obs_data_create();
    obs_data_set_string(font, "face", kFontFace);
    obs_data_set_string(font, "style", "");
    obs_data_set_int(font, "flags", 0);
    obs_data_set_default_obj(settings, keys::kFont, font);
    obs_data_release(font);
    obs_data_set_default_int(settings, kFontSize.key, kFontSize.defaultValue);
    obs_data_set_default_int(settings, keys::kFontColor, kFontColor);
    obs_data_set_default_bool(settings, keys::kBackgroundEnabled, kBackgroundEnabled);
    obs_data_set_default_int(settings, keys::kBackgroundColor, kBackgroundColor);
    obs_data_set_default_int(settings, kBackgroundPadding.key, kBackgroundPadding.defaultValue);
    obs_data_set_default_int(settings, kMaxSubtitleLength.key, kMaxSubtitleLength.defaultValue);
    obs_data_set_default_int(settings, kSubtitleDuration.key, kSubtitleDuration.defaultValue);
    obs_data_set_default_bool(settings, keys::kCcEnabled, kCcEnabled);
    obs_data_set_default_string(settings, keys::kCcText, kCcText);
    obs_data_set_default_bool(settings, keys::kYouTubeCaptions, kYouTubeCaptions);
    obs_data_set_default_string(settings, keys::kYouTubeCaptionUrl, kYouTubeCaptionUrl);
    obs_data_set_default_int(settings, kYouTubeOffset.key, kYouTubeOffset.defaultValue);
    obs_data_set_default_string(settings, keys::kTranscriptFormat, kTranscriptFormat);
    obs_data_set_default_string(settings, keys::kTranscriptDir, kTranscriptDir);
    obs_data_set_default_string(settings, keys::kAudioSource, kAudioSource);
    obs_data_set_default_bool(settings, keys::kStatusInScene, kStatusInScene);
    obs_data_set_default_string(settings, keys::kSpeakerName, kSpeakerName);
    obs_data_set_default_bool(settings, keys::kSpeakerInScene, kSpeakerInScene);
    for (const char* list : {keys::kVocabulary, keys::kReplacements, keys::kHiddenWords})
        obs_data_set_default_string(settings, list, kWordList);
    obs_data_set_default_bool(settings, keys::kServiceProfanityFilter, kServiceProfanityFilter);
    logInfo("Default settings applied");
}

}  // namespace obs_sayline
