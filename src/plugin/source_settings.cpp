#include "plugin/source_settings.h"

#include <exception>

#include "core/logger.h"
#include "plugin/audio_intake.h"
#include "plugin/settings_keys.h"
#include "plugin/subtitle_source_data.h"
#include "plugin/text_source.h"

namespace obs_sayline {
namespace {

constexpr const char* kKeyBlanks = " \t\r\n";

std::string stringOr(obs_data_t* settings, const char* key, const char* fallback) {
    const char* value = obs_data_get_string(settings, key);
    return value && *value ? value : fallback;
}

void applySettings(SubtitleSourceData& data, obs_data_t* settings) {
    logInfo("Sayline source update processing...");
    bool hasText = false;
    {
        std::lock_guard<std::mutex> lock(data.textSourceMutex);
        hasText = data.textSource != nullptr;
    }
    if (!hasText) {
        logInfo("First update - creating text source now");
        createTextSource(data);
    }

    const std::string engine = stringOr(settings, keys::kSttEngine, values::kNone);
    data.sttEngineType = sttEngineKind(engine);
    data.sttApiKey = cleanApiKey(obs_data_get_string(settings, keys::kSttApiKey), "STT");
    data.sourceLanguage = stringOr(settings, keys::kSourceLanguage, "");

    data.enableTranslation = obs_data_get_bool(settings, keys::kEnableTranslation);
    if (data.enableTranslation) {
        data.translationProviderType =
            translationProviderKind(stringOr(settings, keys::kTranslationProvider, values::kNone));
        data.targetLanguage = stringOr(settings, keys::kTargetLanguage, "en");
        data.translationApiKey =
            cleanApiKey(obs_data_get_string(settings, keys::kTranslationApiKey), "Translation");
    }

    const long long fontSize = obs_data_get_int(settings, keys::kFontSize);
    if (fontSize > 0) data.fontSize = static_cast<int>(fontSize);
    const auto fontColor = static_cast<uint32_t>(obs_data_get_int(settings, keys::kFontColor));
    data.textColor = fontColor == 0 ? 0xFFFFFFFFu : fontColor;
    applyFontAndColor(data);

    data.showOriginal = obs_data_get_bool(settings, keys::kShowOriginal);
    data.backgroundEnabled = obs_data_get_bool(settings, keys::kBackgroundEnabled);
    if (data.backgroundEnabled) {
        const auto color =
            static_cast<uint32_t>(obs_data_get_int(settings, keys::kBackgroundColor));
        if (color != 0) data.backgroundColor = color;
        const long long padding = obs_data_get_int(settings, keys::kBackgroundPadding);
        if (padding >= 0) data.backgroundPadding = static_cast<int>(padding);
    }
    applyBackground(data);

    const long long duration = obs_data_get_int(settings, keys::kSubtitleDuration);
    if (duration > 0) data.subtitleDurationMs = static_cast<int>(duration);
    const long long maxLength = obs_data_get_int(settings, keys::kMaxSubtitleLength);
    if (maxLength > 0) data.maxSubtitleLength = static_cast<int>(maxLength);

    logInfoTag("Settings", "Applied - STT: %s, Translation: %s, Provider: %d",
               obs_data_get_string(settings, keys::kSttEngine),
               data.enableTranslation ? "enabled" : "disabled", data.translationProviderType);

    logInfo("Resetting STT/translation engines...");
    stopCapture(data);
    if (obs_in_task_thread(OBS_TASK_GRAPHICS)) {
        // The host deferred this update to its video tick: waiting here would freeze the video.
        logDebug("Update on the graphics thread - not waiting for audio processing");
    } else if (!waitForWorker(data)) {
        logWarning("Audio processing still running after 5s timeout - proceeding anyway");
    }
    // A worker still running keeps its own references until it ends.
    data.sttEngine.reset();
    data.translator.reset();
    data.recognition.reset();

    if (data.sttEngineType != 0) {
        logInfo("Starting capture with STT engine...");
        startCapture(data);
    } else {
        logInfo("No STT engine selected, capture not started");
    }
}

}  // namespace

int sttEngineKind(const std::string& value) {
    if (value == values::kWhisperApi) return 1;
    if (value == values::kWhisperLocal) return 2;
    if (value == values::kGoogleStt) return 3;
    if (value == values::kDeepgram) return 4;
    return 0;
}

int translationProviderKind(const std::string& value) {
    if (value == values::kDeepL) return 1;
    if (value == values::kGoogleTranslate) return 2;
    if (value == values::kOpenAi) return 3;
    if (value == values::kAnthropic) return 4;
    if (value == values::kGemini) return 5;
    return 0;
}

std::string cleanApiKey(const char* raw, const char* which) {
    std::string key = raw ? raw : "";
    const size_t first = key.find_first_not_of(kKeyBlanks);
    if (first == std::string::npos) return "";
    key = key.substr(first, key.find_last_not_of(kKeyBlanks) - first + 1);
    if (key.size() > kMaxApiKeyLength) {
        logErrorTag("Settings",
                    "%s API key is corrupted! Length=%zu (max=%zu). Please re-enter your API key "
                    "in OBS settings.",
                    which, key.size(), kMaxApiKeyLength);
        return "";
    }
    return key;
}

void subtitle_source_defaults(obs_data_t* settings) {
    obs_data_set_default_string(settings, keys::kSttEngine, values::kNone);
    obs_data_set_default_string(settings, keys::kSourceLanguage, values::kAutoLanguage);
    obs_data_set_default_bool(settings, keys::kShowOriginal, false);
    obs_data_set_default_bool(settings, keys::kEnableTranslation, true);
    obs_data_set_default_string(settings, keys::kTranslationProvider, values::kNone);
    obs_data_set_default_string(settings, keys::kTargetLanguage, "en");
    obs_data_set_default_int(settings, keys::kFontSize, 24);
    obs_data_set_default_int(settings, keys::kFontColor, 0xFFFFFF);
    obs_data_set_default_bool(settings, keys::kBackgroundEnabled, false);
    obs_data_set_default_int(settings, keys::kBackgroundColor, 0x80000000);
    obs_data_set_default_int(settings, keys::kBackgroundPadding, 10);
    obs_data_set_default_int(settings, keys::kMaxSubtitleLength, 100);
    obs_data_set_default_int(settings, keys::kSubtitleDuration, 3000);
    logInfo("Default settings applied");
}

void subtitle_source_update(void* data, obs_data_t* settings) {
    logInfo(">>> subtitle_source_update called");
    if (!data || !settings) {
        logError("subtitle_source_update: data or settings is NULL!");
        return;
    }
    try {
        applySettings(*static_cast<SubtitleSourceData*>(data), settings);
    } catch (const std::exception& e) {
        logErrorTag("Plugin", "Exception in subtitle_source_update: %s", e.what());
    } catch (...) {
        logError("Unknown exception in subtitle_source_update");
    }
}

}  // namespace obs_sayline
