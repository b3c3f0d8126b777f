#include "plugin/source_properties.h"

#include "core/logger.h"
#include "platform/url_opener.h"
#include "plugin/audio_source_list.h"
#include "plugin/callback_guard.h"
#include "plugin/locale_text.h"
#include "plugin/module_lifecycle.h"
#include "plugin/server_test.h"
#include "plugin/settings_keys.h"
#include "plugin/source_defaults.h"
#include "plugin/source_settings.h"
#include "plugin/status_properties.h"
#include "plugin/subtitle_source_data.h"
#include "plugin/youtube_properties.h"

namespace obs_sayline {
namespace {

constexpr const char* kDefaultButtonLabel = "OpenSite";

struct ListItem {
    const char* labelKey;  // in the locale files
    const char* value;
};

constexpr ListItem kEngines[] = {
    {"SttEngine.None", values::kNone},
    {"SttEngine.WhisperApi", values::kWhisperApi},
    {"SttEngine.WhisperLocal", values::kWhisperLocal},
    {"SttEngine.GoogleStt", values::kGoogleStt},
    {"SttEngine.Deepgram", values::kDeepgram},
    {"SttEngine.DeepgramLive", values::kDeepgramLive},
};

constexpr ListItem kLanguages[] = {
    {"Language.Auto", values::kAutoLanguage},
    {"Language.ko", "ko"},
    {"Language.en", "en"},
    {"Language.ja", "ja"},
    {"Language.zh", "zh"},
    {"Language.vi", "vi"},
    {"Language.id", "id"},
};

constexpr ListItem kCaptionTexts[] = {
    {"CcText.Translation", values::kCcTranslation},
    {"CcText.Original", values::kCcOriginal},
};

constexpr ListItem kChunkModes[] = {
    {"ChunkMode.Fixed", values::kChunkFixed},
    {"ChunkMode.Pauses", values::kChunkPauses},
};

constexpr ListItem kProviders[] = {
    {"Provider.None", values::kNone},
    {"Provider.DeepL", values::kDeepL},
    {"Provider.GoogleTranslate", values::kGoogleTranslate},
    {"Provider.OpenAi", values::kOpenAi},
    {"Provider.Anthropic", values::kAnthropic},
    {"Provider.Gemini", values::kGemini},
};

constexpr ListItem kTranscriptFormats[] = {
    {"TranscriptFormat.Off", values::kTranscriptOff},
    {"TranscriptFormat.Srt", values::kTranscriptSrt},
    {"TranscriptFormat.Vtt", values::kTranscriptVtt},
    {"TranscriptFormat.Both", values::kTranscriptBoth},
};

struct ServicePage {
    const char* value;
    const char* url;
    const char* buttonKey;  // in the locale files
};

constexpr ServicePage kSttPages[] = {
    {values::kWhisperApi, "https://platform.openai.com/api-keys", "OpenSite.WhisperApi"},
    {values::kGoogleStt, "https://console.cloud.google.com/apis/library/speech.googleapis.com",
     "OpenSite.GoogleStt"},
    {values::kDeepgram, "https://console.deepgram.com/", "OpenSite.Deepgram"},
    {values::kDeepgramLive, "https://console.deepgram.com/", "OpenSite.Deepgram"},
};

constexpr ServicePage kTranslationPages[] = {
    {values::kDeepL, "https://www.deepl.com/pro-api", "OpenSite.DeepL"},
    {values::kGoogleTranslate,
     "https://console.cloud.google.com/apis/library/translate.googleapis.com",
     "OpenSite.GoogleTranslate"},
    {values::kOpenAi, "https://platform.openai.com/api-keys", "OpenSite.OpenAi"},
    {values::kAnthropic, "https://console.anthropic.com/", "OpenSite.Anthropic"},
    {values::kGemini, "https://aistudio.google.com/app/apikey", "OpenSite.Gemini"},
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
        obs_property_list_add_string(list, localText(items[i].labelKey), items[i].value);
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

// The server rows belong to the Whisper API; the test's row shows once there is an outcome.
void showWhisperRows(obs_properties_t* props, bool whisper) {
    for (const char* key : {keys::kWhisperBaseUrl, keys::kWhisperModel, keys::kTestSttServer}) {
        if (obs_property_t* row = obs_properties_get(props, key)) {
            obs_property_set_visible(row, whisper);
        }
    }
    if (obs_property_t* row = obs_properties_get(props, keys::kSttServerTest)) {
        const char* text = obs_property_description(row);
        obs_property_set_visible(row, whisper && text && *text);
    }
}

// The list value of a provider kind.
std::string providerValueOf(ProviderType type) {
    for (const ListItem& item : kProviders) {
        if (translationProviderKind(item.value) == type) return item.value;
    }
    return values::kNone;
}

// The line under the engine list while Whisper Local, which this build lacks, is chosen.
void showWhisperLocalNote(obs_properties_t* props, bool chosen) {
    if (obs_property_t* row = obs_properties_get(props, keys::kWhisperLocalNote)) {
        obs_property_set_visible(row, chosen);
    }
}

// Server URL belongs to OpenAI, a model to each model provider, the test to any provider; the
// test's row shows once there is an outcome.
void showTranslationRows(obs_properties_t* props, const std::string& provider) {
    const bool openAi = provider == values::kOpenAi;
    const bool chosen = !provider.empty() && provider != values::kNone;
    const std::pair<const char*, bool> rows[] = {
        {keys::kTranslationBaseUrl, openAi},
        {keys::kTranslationModel, openAi},
        {keys::kAnthropicModel, provider == values::kAnthropic},
        {keys::kTestTranslation, chosen},
    };
    for (const auto& [key, visible] : rows) {
        if (obs_property_t* row = obs_properties_get(props, key)) {
            obs_property_set_visible(row, visible);
        }
    }
    if (obs_property_t* row = obs_properties_get(props, keys::kTranslationTest)) {
        const char* text = obs_property_description(row);
        obs_property_set_visible(row, chosen && text && *text);
    }
}

// The outcome row of a connection test, red when it failed.
void addTestOutcomeRow(obs_properties_t* props, const char* key, const ServerTest* test,
                       const ServerTestTexts& texts) {
    const ServerTest::Outcome outcome = test ? test->outcome() : ServerTest::Outcome{};
    obs_property_t* result =
        obs_properties_add_text(props, key, serverTestText(outcome, texts).c_str(), OBS_TEXT_INFO);
    if (outcome.state == ServerTest::State::Done && !outcome.check.ok) {
        obs_property_text_set_info_type(result, OBS_TEXT_INFO_ERROR);
    }
}

void addTranslationServerRows(obs_properties_t* props, const SubtitleSourceData* record) {
    obs_property_t* url = obs_properties_add_text(
        props, keys::kTranslationBaseUrl, localText("TranslationBaseUrl"), OBS_TEXT_DEFAULT);
    obs_property_set_long_description(url, localText("TranslationBaseUrl.Help"));
    obs_properties_add_text(props, keys::kTranslationModel, localText("TranslationModel"),
                            OBS_TEXT_DEFAULT);
    obs_properties_add_text(props, keys::kAnthropicModel, localText("TranslationModel"),
                            OBS_TEXT_DEFAULT);
    obs_properties_add_button(props, keys::kTestTranslation, localText("TestTranslation"),
                              test_translation_clicked);
    addTestOutcomeRow(props, keys::kTranslationTest,
                      record ? record->translationTest.get() : nullptr, kTranslationTestTexts);
    showTranslationRows(props, record
                                   ? providerValueOf(record->settingsNow().translationProviderType)
                                   : values::kNone);
}

void addWhisperServerRows(obs_properties_t* props, const SubtitleSourceData* record) {
    obs_property_t* url = obs_properties_add_text(props, keys::kWhisperBaseUrl,
                                                  localText("WhisperBaseUrl"), OBS_TEXT_DEFAULT);
    obs_property_set_long_description(url, localText("WhisperBaseUrl.Help"));
    obs_properties_add_text(props, keys::kWhisperModel, localText("WhisperModel"),
                            OBS_TEXT_DEFAULT);
    obs_properties_add_button(props, keys::kTestSttServer, localText("TestSttServer"),
                              test_stt_server_clicked);
    addTestOutcomeRow(props, keys::kSttServerTest, record ? record->serverTest.get() : nullptr,
                      kSpeechTestTexts);
    showWhisperRows(props,
                    record && record->settingsNow().sttEngineType == SttEngineType::WhisperApi);
}

// The services that mask profanity themselves when asked.
bool hasProfanityFilter(SttEngineType engine) {
    return engine == SttEngineType::Deepgram || engine == SttEngineType::DeepgramLive ||
           engine == SttEngineType::GoogleStt;
}

void showProfanityFilterRow(obs_properties_t* props, SttEngineType engine) {
    if (obs_property_t* row = obs_properties_get(props, keys::kServiceProfanityFilter)) {
        obs_property_set_visible(row, hasProfanityFilter(engine));
    }
}

// The streamer's own words: three lists, one entry a line, each with its format as help.
void addWordRows(obs_properties_t* props, const SubtitleSourceData* record) {
    struct ListRow {
        const char* key;
        const char* label;  // in the locale files
        const char* help;
    };
    for (const ListRow& list : {ListRow{keys::kVocabulary, "Vocabulary", "Vocabulary.Help"},
                                ListRow{keys::kReplacements, "Replacements", "Replacements.Help"},
                                ListRow{keys::kHiddenWords, "HiddenWords", "HiddenWords.Help"}}) {
        obs_property_t* row =
            obs_properties_add_text(props, list.key, localText(list.label), OBS_TEXT_MULTILINE);
        obs_property_set_long_description(row, localText(list.help));
    }
    obs_property_t* filter = obs_properties_add_bool(props, keys::kServiceProfanityFilter,
                                                     localText("ServiceProfanityFilter"));
    obs_property_set_long_description(filter, localText("ServiceProfanityFilter.Help"));
    showProfanityFilterRow(props,
                           record ? record->settingsNow().sttEngineType : SttEngineType::None);
}

}  // namespace

std::string propertiesInfoText() {
    return std::string(localText("Info")) + "\n" + localText("Version") + " " + kPluginVersion;
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
    return localText(page ? page->buttonKey : kDefaultButtonLabel);
}

const char* translationButtonLabel(const std::string& provider) {
    const ServicePage* page = findPage(kTranslationPages, provider);
    return localText(page ? page->buttonKey : kDefaultButtonLabel);
}

namespace {

obs_property_t* addInt(obs_properties_t* props, const IntSetting& setting, const char* label) {
    return obs_properties_add_int(props, setting.key, label, setting.min, setting.max,
                                  setting.step);
}

obs_properties_t* buildProperties(SubtitleSourceData* data) {
    obs_properties_t* props = obs_properties_create();
    if (data) addStatusRows(props, data->shared->status, status_refresh_clicked);

    obs_properties_add_text(props, keys::kInfo, propertiesInfoText().c_str(), OBS_TEXT_INFO);

    addList(props, keys::kSttEngine, localText("SttEngine"), kEngines);
    obs_property_set_modified_callback(obs_properties_get(props, keys::kSttEngine),
                                       stt_engine_modified);
    obs_property_t* note = obs_properties_add_text(
        props, keys::kWhisperLocalNote, localText("WhisperLocal.Missing"), OBS_TEXT_INFO);
    obs_property_text_set_info_type(note, OBS_TEXT_INFO_WARNING);
    showWhisperLocalNote(props,
                         data && data->settingsNow().sttEngineType == SttEngineType::WhisperLocal);
    obs_properties_add_button(props, keys::kOpenSttSite, localText(kDefaultButtonLabel),
                              open_stt_site_clicked);
    obs_properties_add_text(props, keys::kSttApiKey, localText("SttApiKey"), OBS_TEXT_PASSWORD);
    addWhisperServerRows(props, data);
    addList(props, keys::kSourceLanguage, localText("SourceLanguage"), kLanguages);
    addAudioSourceList(props, data ? data->settingsNow().audioSource : std::string());
    obs_properties_add_bool(props, keys::kShowOriginal, localText("ShowOriginal"));
    addList(props, keys::kChunkMode, localText("ChunkMode"), kChunkModes);
    obs_property_int_set_suffix(addInt(props, defaults::kPauseLength, localText("PauseLength")),
                                " ms");
    obs_property_int_set_suffix(addInt(props, defaults::kLongestChunk, localText("LongestChunk")),
                                " ms");
    addWordRows(props, data);

    obs_properties_add_bool(props, keys::kEnableTranslation, localText("EnableTranslation"));
    addList(props, keys::kTranslationProvider, localText("TranslationProvider"), kProviders);
    obs_property_set_modified_callback(obs_properties_get(props, keys::kTranslationProvider),
                                       translation_provider_modified);
    obs_properties_add_button(props, keys::kOpenTransSite, localText(kDefaultButtonLabel),
                              open_trans_site_clicked);
    obs_properties_add_text(props, keys::kTranslationApiKey, localText("TranslationApiKey"),
                            OBS_TEXT_PASSWORD);
    addTranslationServerRows(props, data);
    // The target cannot be "detect": the same languages without Auto Detect.
    addList(props, keys::kTargetLanguage, localText("TargetLanguage"), kLanguages, 1);

    // The picker's size is not used: "Font Size" is the size.
    obs_properties_add_font(props, keys::kFont, localText("Font"));
    addInt(props, defaults::kFontSize, localText("FontSize"));
    obs_properties_add_color(props, keys::kFontColor, localText("FontColor"));
    obs_properties_add_bool(props, keys::kBackgroundEnabled, localText("BackgroundEnabled"));
    obs_properties_add_color(props, keys::kBackgroundColor, localText("BackgroundColor"));
    const IntSetting& padding = defaults::kBackgroundPadding;
    obs_properties_add_int_slider(props, padding.key, localText("BackgroundPadding"), padding.min,
                                  padding.max, padding.step);
    addInt(props, defaults::kMaxSubtitleLength, localText("MaxSubtitleLength"));
    addInt(props, defaults::kSubtitleDuration, localText("SubtitleDuration"));
    obs_properties_add_bool(props, keys::kStatusInScene, localText("StatusInScene"));
    obs_properties_add_text(props, keys::kSpeakerName, localText("SpeakerName"), OBS_TEXT_DEFAULT);
    obs_properties_add_bool(props, keys::kSpeakerInScene, localText("SpeakerInScene"));

    obs_properties_add_bool(props, keys::kCcEnabled, localText("CcEnabled"));
    addList(props, keys::kCcText, localText("CcText"), kCaptionTexts);
    addYouTubeRows(props, data);
    addList(props, keys::kTranscriptFormat, localText("SaveTranscript"), kTranscriptFormats);
    obs_properties_add_path(props, keys::kTranscriptDir, localText("TranscriptFolder"),
                            OBS_PATH_DIRECTORY, nullptr, nullptr);

    logInfo("Sayline source properties created with full settings");
    return props;
}

}  // namespace

obs_properties_t* subtitle_source_properties(void* data) {
    obs_properties_t* props =
        guardCallback("subtitle_source_properties", static_cast<obs_properties_t*>(nullptr), [&] {
            injectFault(Fault::Properties);
            return buildProperties(static_cast<SubtitleSourceData*>(data));
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

bool test_stt_server_clicked(obs_properties_t*, obs_property_t*, void* data) {
    return guardCallback("test_stt_server_clicked", false, [&] {
        auto* record = static_cast<SubtitleSourceData*>(data);
        if (!record || !record->source) return false;
        // What the sheet shows now, saved or not yet applied.
        obs_data_t* settings = obs_source_get_settings(record->source);
        const SourceSettings current = readSourceSettings(settings, record->settingsNow());
        obs_data_release(settings);
        // True rebuilds the sheet, which then shows the test as running.
        return record->serverTest->start(serviceChoice(current), record->source);
    });
}

bool test_translation_clicked(obs_properties_t*, obs_property_t*, void* data) {
    return guardCallback("test_translation_clicked", false, [&] {
        auto* record = static_cast<SubtitleSourceData*>(data);
        if (!record || !record->source) return false;
        // What the sheet shows now, tested even while translation is switched off.
        obs_data_t* settings = obs_source_get_settings(record->source);
        SourceSettings current = readSourceSettings(settings, record->settingsNow());
        readTranslationSettings(settings, current);
        obs_data_release(settings);
        const ServiceChoice choice = serviceChoice(current);
        const std::string target = current.targetLanguage;
        // True rebuilds the sheet, which then shows the test as running.
        return record->translationTest->start(
            [choice, target] { return checkTranslationService(choice, target); }, record->source);
    });
}

bool status_refresh_clicked(obs_properties_t* props, obs_property_t*, void* data) {
    return guardCallback("status_refresh_clicked", false, [&] {
        if (!data) return false;
        return refreshStatusRow(props, static_cast<SubtitleSourceData*>(data)->shared->status);
    });
}

bool stt_engine_modified(obs_properties_t* props, obs_property_t*, obs_data_t* settings) {
    return guardCallback("stt_engine_modified", false, [&] {
        injectFault(Fault::Modified);
        const char* value = obs_data_get_string(settings, keys::kSttEngine);
        const std::string engine = value ? value : "";
        showWhisperRows(props, engine == values::kWhisperApi);
        showProfanityFilterRow(props, sttEngineKind(engine));
        showWhisperLocalNote(props, engine == values::kWhisperLocal);
        return relabel(props, keys::kOpenSttSite, sttButtonLabel(engine));
    });
}

bool translation_provider_modified(obs_properties_t* props, obs_property_t*, obs_data_t* settings) {
    return guardCallback("translation_provider_modified", false, [&] {
        const char* value = obs_data_get_string(settings, keys::kTranslationProvider);
        const std::string provider = value ? value : "";
        showTranslationRows(props, provider);
        return relabel(props, keys::kOpenTransSite, translationButtonLabel(provider));
    });
}

}  // namespace obs_sayline
