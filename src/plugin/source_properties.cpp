#include "plugin/source_properties.h"

#include "core/logger.h"
#include "platform/url_opener.h"
#include "plugin/callback_guard.h"
#include "plugin/module_lifecycle.h"
#include "plugin/settings_keys.h"
#include "plugin/source_defaults.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

constexpr const char* kDefaultButtonLabel = "사이트 이동";

struct ListItem {
    const char* label;
    const char* value;
};

constexpr ListItem kEngines[] = {
    {"None (비활성)", values::kNone},         {"Whisper API (권장)", values::kWhisperApi},
    {"Whisper Local", values::kWhisperLocal}, {"Google STT", values::kGoogleStt},
    {"Deepgram", values::kDeepgram},
};

constexpr ListItem kLanguages[] = {
    {"Auto Detect", values::kAutoLanguage},
    {"한국어 (Korean)", "ko"},
    {"English", "en"},
    {"日本語 (Japanese)", "ja"},
    {"中文 (Chinese)", "zh"},
    {"Tiếng Việt (Vietnamese)", "vi"},
    {"Bahasa Indonesia (Indonesian)", "id"},
};

constexpr ListItem kProviders[] = {
    {"None", values::kNone},
    {"DeepL (권장)", values::kDeepL},
    {"Google Translate", values::kGoogleTranslate},
    {"OpenAI GPT", values::kOpenAi},
    {"Anthropic Claude", values::kAnthropic},
    {"Google Gemini", values::kGemini},
};

struct ServicePage {
    const char* value;
    const char* url;
    const char* buttonLabel;
};

constexpr ServicePage kSttPages[] = {
    {values::kWhisperApi, "https://platform.openai.com/api-keys", "Whisper API 사이트 열기"},
    {values::kGoogleStt, "https://console.cloud.google.com/apis/library/speech.googleapis.com",
     "Google STT 사이트 열기"},
    {values::kDeepgram, "https://console.deepgram.com/", "Deepgram 사이트 열기"},
};

constexpr ServicePage kTranslationPages[] = {
    {values::kDeepL, "https://www.deepl.com/pro-api", "DeepL 사이트 열기"},
    {values::kGoogleTranslate,
     "https://console.cloud.google.com/apis/library/translate.googleapis.com",
     "Google Translate 사이트 열기"},
    {values::kOpenAi, "https://platform.openai.com/api-keys", "OpenAI 사이트 열기"},
    {values::kAnthropic, "https://console.anthropic.com/", "Anthropic 사이트 열기"},
    {values::kGemini, "https://aistudio.google.com/app/apikey", "Google Gemini 사이트 열기"},
};

template <size_t N>
const ServicePage* findPage(const ServicePage (&pages)[N], const std::string& value) {
    for (const auto& page : pages) {
        if (value == page.value) return &page;
    }
    return nullptr;
}

template <size_t N>
void addList(obs_properties_t* props, const char* key, const char* label,
             const ListItem (&items)[N], size_t first = 0) {
    obs_property_t* list =
        obs_properties_add_list(props, key, label, OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
    for (size_t i = first; i < N; ++i)
        obs_property_list_add_string(list, items[i].label, items[i].value);
}

// Opens the key page for the value the source's settings hold under `key`.
bool openKeyPage(void* data, const char* key, const char* (*pageFor)(const std::string&)) {
    auto* record = static_cast<SubtitleSourceData*>(data);
    if (!record || !record->source) return false;
    obs_data_t* settings = obs_source_get_settings(record->source);
    const char* value = obs_data_get_string(settings, key);
    const std::string chosen = value ? value : "";
    obs_data_release(settings);
    const char* url = pageFor(chosen);
    if (url && *url) platform::openUrl(url);
    return false;
}

bool relabel(obs_properties_t* props, const char* button, const char* label) {
    obs_property_t* property = obs_properties_get(props, button);
    if (!property) return true;
    obs_property_set_description(property, label);
    return true;
}

}  // namespace

std::string propertiesInfoText() {
    return std::string("Sayline - Real-time speech-to-text and translation\nVersion ") +
           kPluginVersion;
}

const char* sttKeyPage(const std::string& engine) {
    const ServicePage* page = findPage(kSttPages, engine);
    return page ? page->url : "";
}

const char* translationKeyPage(const std::string& provider) {
    const ServicePage* page = findPage(kTranslationPages, provider);
    return page ? page->url : "";
}

const char* sttButtonLabel(const std::string& engine) {
    const ServicePage* page = findPage(kSttPages, engine);
    return page ? page->buttonLabel : kDefaultButtonLabel;
}

const char* translationButtonLabel(const std::string& provider) {
    const ServicePage* page = findPage(kTranslationPages, provider);
    return page ? page->buttonLabel : kDefaultButtonLabel;
}

namespace {

void addInt(obs_properties_t* props, const IntSetting& setting, const char* label) {
    obs_properties_add_int(props, setting.key, label, setting.min, setting.max, setting.step);
}

obs_properties_t* buildProperties() {
    obs_properties_t* props = obs_properties_create();

    obs_properties_add_text(props, keys::kInfo, propertiesInfoText().c_str(), OBS_TEXT_INFO);

    addList(props, keys::kSttEngine, "STT Engine (음성인식)", kEngines);
    obs_property_set_modified_callback(obs_properties_get(props, keys::kSttEngine),
                                       stt_engine_modified);
    obs_properties_add_button(props, keys::kOpenSttSite, kDefaultButtonLabel,
                              open_stt_site_clicked);
    obs_properties_add_text(props, keys::kSttApiKey, "STT API Key", OBS_TEXT_PASSWORD);
    addList(props, keys::kSourceLanguage, "Source Language (원본 언어)", kLanguages);
    obs_properties_add_bool(props, keys::kShowOriginal, "Show Original Text (원문 표시)");

    obs_properties_add_bool(props, keys::kEnableTranslation, "Enable Translation (번역 활성화)");
    addList(props, keys::kTranslationProvider, "Translation Provider (번역 서비스)", kProviders);
    obs_property_set_modified_callback(obs_properties_get(props, keys::kTranslationProvider),
                                       translation_provider_modified);
    obs_properties_add_button(props, keys::kOpenTransSite, kDefaultButtonLabel,
                              open_trans_site_clicked);
    obs_properties_add_text(props, keys::kTranslationApiKey, "Translation API Key",
                            OBS_TEXT_PASSWORD);
    // The target cannot be "detect": the same languages without Auto Detect.
    addList(props, keys::kTargetLanguage, "Target Language (번역 언어)", kLanguages, 1);

    addInt(props, defaults::kFontSize, "Font Size (글꼴 크기)");
    obs_properties_add_color(props, keys::kFontColor, "Font Color (글꼴 색상)");
    obs_properties_add_bool(props, keys::kBackgroundEnabled, "Enable Background (배경 활성화)");
    obs_properties_add_color(props, keys::kBackgroundColor, "Background Color (배경 색상)");
    const IntSetting& padding = defaults::kBackgroundPadding;
    obs_properties_add_int_slider(props, padding.key, "Background Padding (배경 여백)", padding.min,
                                  padding.max, padding.step);
    addInt(props, defaults::kMaxSubtitleLength, "Max Subtitle Length (최대 자막 길이)");
    addInt(props, defaults::kSubtitleDuration, "Subtitle Duration (ms)");

    logInfo("Sayline source properties created with full settings");
    return props;
}

}  // namespace

obs_properties_t* subtitle_source_properties(void*) {
    obs_properties_t* props = guardCallback(
        "subtitle_source_properties", static_cast<obs_properties_t*>(nullptr), [] {
            injectFault(Fault::Properties);
            return buildProperties();
        });
    // The host expects a sheet; an empty one is the neutral answer.
    return props ? props : obs_properties_create();
}

bool open_stt_site_clicked(obs_properties_t*, obs_property_t*, void* data) {
    return guardCallback("open_stt_site_clicked", false, [&] {
        injectFault(Fault::Button);
        return openKeyPage(data, keys::kSttEngine, &sttKeyPage);
    });
}

bool open_trans_site_clicked(obs_properties_t*, obs_property_t*, void* data) {
    return guardCallback("open_trans_site_clicked", false, [&] {
        return openKeyPage(data, keys::kTranslationProvider, &translationKeyPage);
    });
}

bool stt_engine_modified(obs_properties_t* props, obs_property_t*, obs_data_t* settings) {
    return guardCallback("stt_engine_modified", false, [&] {
        injectFault(Fault::Modified);
        const char* value = obs_data_get_string(settings, keys::kSttEngine);
        return relabel(props, keys::kOpenSttSite, sttButtonLabel(value ? value : ""));
    });
}

bool translation_provider_modified(obs_properties_t* props, obs_property_t*, obs_data_t* settings) {
    return guardCallback("translation_provider_modified", false, [&] {
        const char* value = obs_data_get_string(settings, keys::kTranslationProvider);
        return relabel(props, keys::kOpenTransSite, translationButtonLabel(value ? value : ""));
    });
}

}  // namespace obs_sayline
