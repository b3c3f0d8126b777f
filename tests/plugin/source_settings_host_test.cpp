// The Sayline source's defaults, property sheet, buttons and update, through the host.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugin_host_support.h"
#include "support/loopback_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::seconds;

struct Row {
    std::string name;
    obs_property_type type;
    std::string label;
};

std::vector<std::pair<std::string, std::string>> listItems(obs_property_t* list) {
    std::vector<std::pair<std::string, std::string>> items;
    for (size_t i = 0; i < obs_property_list_item_count(list); ++i) {
        items.emplace_back(obs_property_list_item_name(list, i),
                           obs_property_list_item_string(list, i));
    }
    return items;
}

const std::vector<std::pair<std::string, std::string>> kLanguages = {
    {"Auto Detect", "auto"},
    {"한국어 (Korean)", "ko"},
    {"English", "en"},
    {"日本語 (Japanese)", "ja"},
    {"中文 (Chinese)", "zh"},
    {"Tiếng Việt (Vietnamese)", "vi"},
    {"Bahasa Indonesia (Indonesian)", "id"},
};

TEST(SourceSettingsHostTest, defaults_are_those_of_a_fresh_source) {
    obs_data_t* defaults = obs_get_source_defaults("sayline_source");
    ASSERT_NE(defaults, nullptr);
    EXPECT_STREQ(obs_data_get_string(defaults, "stt_engine"), "none");
    EXPECT_STREQ(obs_data_get_string(defaults, "whisper_base_url"), "");
    EXPECT_STREQ(obs_data_get_string(defaults, "whisper_model"), "whisper-1");
    EXPECT_STREQ(obs_data_get_string(defaults, "source_language"), "auto");
    EXPECT_FALSE(obs_data_get_bool(defaults, "show_original"));
    EXPECT_TRUE(obs_data_get_bool(defaults, "enable_translation"));
    EXPECT_STREQ(obs_data_get_string(defaults, "translation_provider"), "none");
    EXPECT_STREQ(obs_data_get_string(defaults, "target_language"), "en");
    EXPECT_EQ(obs_data_get_int(defaults, "font_size"), 24);
    EXPECT_EQ(obs_data_get_int(defaults, "font_color"), 0xFFFFFF);
    EXPECT_FALSE(obs_data_get_bool(defaults, "background_enabled"));
    EXPECT_EQ(obs_data_get_int(defaults, "background_color"), 0x80000000LL);
    EXPECT_EQ(obs_data_get_int(defaults, "background_padding"), 10);
    EXPECT_EQ(obs_data_get_int(defaults, "max_subtitle_length"), 100);
    EXPECT_EQ(obs_data_get_int(defaults, "subtitle_duration"), 3000);
    EXPECT_FALSE(obs_data_get_bool(defaults, "cc_enabled"));
    EXPECT_STREQ(obs_data_get_string(defaults, "cc_text"), "translation");
    EXPECT_STREQ(obs_data_get_string(defaults, "transcript_format"), "off");
    EXPECT_STREQ(obs_data_get_string(defaults, "transcript_dir"), "");
    EXPECT_STREQ(obs_data_get_string(defaults, "chunk_mode"), "fixed");
    EXPECT_EQ(obs_data_get_int(defaults, "pause_ms"), 500);
    EXPECT_EQ(obs_data_get_int(defaults, "max_chunk_ms"), 10000);
    EXPECT_STREQ(obs_data_get_string(defaults, "audio_source"), "");
    EXPECT_FALSE(obs_data_get_bool(defaults, "status_in_scene"));
    EXPECT_STREQ(obs_data_get_string(defaults, "speaker_name"), "");
    EXPECT_FALSE(obs_data_get_bool(defaults, "speaker_in_scene"));
    EXPECT_FALSE(obs_data_has_user_value(defaults, "stt_api_key"));
    obs_data_release(defaults);
}

TEST(SourceSettingsHostTest, property_sheet_has_every_row_in_order) {
    obs_source_t* source = obs_source_create("sayline_source", "sheet", nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    HostLogCapture::instance().clear();
    obs_properties_t* props = obs_source_properties(source);
    ASSERT_NE(props, nullptr);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] Sayline source properties created with full settings"));

    const std::vector<Row> expected = {
        {"status", OBS_PROPERTY_TEXT, "Status: Off (no speech engine chosen)"},
        {"status_refresh", OBS_PROPERTY_BUTTON, "Refresh"},
        {"info", OBS_PROPERTY_TEXT,
         "Sayline - Real-time speech-to-text and translation\nVersion 1.0.8"},
        {"stt_engine", OBS_PROPERTY_LIST, "STT Engine (음성인식)"},
        {"whisper_local_note", OBS_PROPERTY_TEXT,
         "Whisper Local is not available in this build: choose Whisper API and point Server URL "
         "at a local Whisper server (이 빌드에는 Whisper Local이 없습니다: Whisper API를 선택하고 "
         "Server URL에 로컬 Whisper 서버 주소를 입력하세요)"},
        {"open_stt_site", OBS_PROPERTY_BUTTON, "사이트 이동"},
        {"stt_api_key", OBS_PROPERTY_TEXT, "STT API Key"},
        {"whisper_base_url", OBS_PROPERTY_TEXT, "Server URL"},
        {"whisper_model", OBS_PROPERTY_TEXT, "Model"},
        {"test_stt_server", OBS_PROPERTY_BUTTON, "Test connection"},
        {"stt_server_test", OBS_PROPERTY_TEXT, ""},  // the test's outcome, none yet
        {"source_language", OBS_PROPERTY_LIST, "Source Language (원본 언어)"},
        {"audio_source", OBS_PROPERTY_LIST, "Listen to"},
        {"show_original", OBS_PROPERTY_BOOL, "Show Original Text (원문 표시)"},
        {"chunk_mode", OBS_PROPERTY_LIST, "Cut audio"},
        {"pause_ms", OBS_PROPERTY_INT, "Pause length"},
        {"max_chunk_ms", OBS_PROPERTY_INT, "Longest chunk"},
        {"vocabulary", OBS_PROPERTY_TEXT, "Vocabulary (단어장)"},
        {"replacements", OBS_PROPERTY_TEXT, "Replace (바꾸기)"},
        {"hidden_words", OBS_PROPERTY_TEXT, "Hide words (숨길 단어)"},
        {"service_profanity_filter", OBS_PROPERTY_BOOL,
         "Use the service's profanity filter (서비스 욕설 필터)"},
        {"enable_translation", OBS_PROPERTY_BOOL, "Enable Translation (번역 활성화)"},
        {"translation_provider", OBS_PROPERTY_LIST, "Translation Provider (번역 서비스)"},
        {"open_trans_site", OBS_PROPERTY_BUTTON, "사이트 이동"},
        {"translation_api_key", OBS_PROPERTY_TEXT, "Translation API Key"},
        {"translation_base_url", OBS_PROPERTY_TEXT, "Server URL (서버 주소)"},
        {"translation_model", OBS_PROPERTY_TEXT, "Model (모델)"},
        {"anthropic_model", OBS_PROPERTY_TEXT, "Model (모델)"},
        {"test_translation", OBS_PROPERTY_BUTTON, "Test connection (연결 테스트)"},
        {"translation_test", OBS_PROPERTY_TEXT, ""},
        {"target_language", OBS_PROPERTY_LIST, "Target Language (번역 언어)"},
        {"font", OBS_PROPERTY_FONT, "Font (글꼴)"},
        {"font_size", OBS_PROPERTY_INT, "Font Size (글꼴 크기)"},
        {"font_color", OBS_PROPERTY_COLOR, "Font Color (글꼴 색상)"},
        {"background_enabled", OBS_PROPERTY_BOOL, "Enable Background (배경 활성화)"},
        {"background_color", OBS_PROPERTY_COLOR, "Background Color (배경 색상)"},
        {"background_padding", OBS_PROPERTY_INT, "Background Padding (배경 여백)"},
        {"max_subtitle_length", OBS_PROPERTY_INT, "Max Subtitle Length (최대 자막 길이)"},
        {"subtitle_duration", OBS_PROPERTY_INT, "Subtitle Duration (ms)"},
        {"status_in_scene", OBS_PROPERTY_BOOL, "Show problems in the scene"},
        {"speaker_name", OBS_PROPERTY_TEXT, "Speaker name"},
        {"speaker_in_scene", OBS_PROPERTY_BOOL, "Show the name in the scene"},
        {"cc_enabled", OBS_PROPERTY_BOOL, "Send as closed captions"},
        {"cc_text", OBS_PROPERTY_LIST, "Caption text"},
        {"youtube_captions", OBS_PROPERTY_BOOL, "Send captions to YouTube"},
        {"youtube_caption_url", OBS_PROPERTY_TEXT, "YouTube caption URL"},
        {"youtube_offset_ms", OBS_PROPERTY_INT, "Caption time offset (ms)"},
        {"test_youtube_caption", OBS_PROPERTY_BUTTON, "Test caption"},
        {"youtube_caption_test", OBS_PROPERTY_TEXT, ""},
        {"youtube_statistics", OBS_PROPERTY_TEXT,
         R"(YouTube captions: {"posts":0,"captions":0,"retries":0,"dropped":0,"refused":0,)"
         R"("averageRoundTripMs":0})"},
        {"transcript_format", OBS_PROPERTY_LIST, "Save transcript"},
        {"transcript_dir", OBS_PROPERTY_PATH, "Transcript folder"},
    };
    size_t index = 0;
    for (obs_property_t* p = obs_properties_first(props); p; obs_property_next(&p), ++index) {
        ASSERT_LT(index, expected.size()) << obs_property_name(p);
        EXPECT_EQ(obs_property_name(p), expected[index].name);
        EXPECT_EQ(obs_property_get_type(p), expected[index].type) << expected[index].name;
        EXPECT_EQ(obs_property_description(p), expected[index].label);
    }
    EXPECT_EQ(index, expected.size());

    EXPECT_EQ(obs_property_text_type(obs_properties_get(props, "status")), OBS_TEXT_INFO);
    EXPECT_EQ(obs_property_text_type(obs_properties_get(props, "info")), OBS_TEXT_INFO);
    EXPECT_EQ(obs_property_text_type(obs_properties_get(props, "stt_server_test")), OBS_TEXT_INFO);
    EXPECT_EQ(obs_property_text_type(obs_properties_get(props, "stt_api_key")), OBS_TEXT_PASSWORD);
    EXPECT_EQ(obs_property_text_type(obs_properties_get(props, "translation_api_key")),
              OBS_TEXT_PASSWORD);
    EXPECT_EQ(obs_property_text_type(obs_properties_get(props, "youtube_caption_url")),
              OBS_TEXT_PASSWORD);
    for (const char* list : {"vocabulary", "replacements", "hidden_words"}) {
        EXPECT_EQ(obs_property_text_type(obs_properties_get(props, list)), OBS_TEXT_MULTILINE)
            << list;
    }

    obs_property_t* engines = obs_properties_get(props, "stt_engine");
    EXPECT_EQ(obs_property_list_type(engines), OBS_COMBO_TYPE_LIST);
    EXPECT_EQ(obs_property_list_format(engines), OBS_COMBO_FORMAT_STRING);
    EXPECT_EQ(listItems(engines), (std::vector<std::pair<std::string, std::string>>{
                                      {"None (비활성)", "none"},
                                      {"Whisper API (권장)", "whisper_api"},
                                      {"Whisper Local", "whisper_local"},
                                      {"Google STT", "google_stt"},
                                      {"Deepgram", "deepgram"},
                                      {"Deepgram (live streaming)", "deepgram_live"}}));
    EXPECT_EQ(listItems(obs_properties_get(props, "source_language")), kLanguages);
    EXPECT_EQ(listItems(obs_properties_get(props, "chunk_mode")),
              (std::vector<std::pair<std::string, std::string>>{
                  {"Every 3 seconds", "fixed"}, {"At pauses in speech", "pauses"}}));
    const std::vector<std::pair<std::string, std::string>> targets(kLanguages.begin() + 1,
                                                                   kLanguages.end());
    EXPECT_EQ(listItems(obs_properties_get(props, "target_language")), targets);
    EXPECT_EQ(
        listItems(obs_properties_get(props, "translation_provider")),
        (std::vector<std::pair<std::string, std::string>>{{"None", "none"},
                                                          {"DeepL (권장)", "deepl"},
                                                          {"Google Translate", "google_translate"},
                                                          {"OpenAI GPT", "openai"},
                                                          {"Anthropic Claude", "anthropic"},
                                                          {"Google Gemini", "gemini"}}));
    EXPECT_EQ(listItems(obs_properties_get(props, "cc_text")),
              (std::vector<std::pair<std::string, std::string>>{
                  {"Translation when translating", "translation"}, {"Original", "original"}}));
    EXPECT_EQ(listItems(obs_properties_get(props, "transcript_format")),
              (std::vector<std::pair<std::string, std::string>>{
                  {"Off", "off"}, {"SRT", "srt"}, {"WebVTT", "vtt"}, {"SRT and WebVTT", "both"}}));
    EXPECT_EQ(obs_property_path_type(obs_properties_get(props, "transcript_dir")),
              OBS_PATH_DIRECTORY);

    struct Range {
        const char* name;
        int min, max, step;
        obs_number_type type;
    };
    for (const Range& r : {Range{"font_size", 5, 72, 1, OBS_NUMBER_SCROLLER},
                           Range{"background_padding", 0, 50, 1, OBS_NUMBER_SLIDER},
                           Range{"max_subtitle_length", 50, 200, 10, OBS_NUMBER_SCROLLER},
                           Range{"subtitle_duration", 1000, 10000, 500, OBS_NUMBER_SCROLLER},
                           Range{"pause_ms", 200, 2000, 100, OBS_NUMBER_SCROLLER},
                           Range{"max_chunk_ms", 2000, 25000, 1000, OBS_NUMBER_SCROLLER}}) {
        obs_property_t* p = obs_properties_get(props, r.name);
        EXPECT_EQ(obs_property_int_min(p), r.min) << r.name;
        EXPECT_EQ(obs_property_int_max(p), r.max) << r.name;
        EXPECT_EQ(obs_property_int_step(p), r.step) << r.name;
        EXPECT_EQ(obs_property_int_type(p), r.type) << r.name;
    }

    // Choosing a service relabels its key-page button.
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "deepgram");
    obs_data_set_string(settings, "translation_provider", "deepl");
    EXPECT_TRUE(obs_property_modified(engines, settings));
    EXPECT_STREQ(obs_property_description(obs_properties_get(props, "open_stt_site")),
                 "Deepgram 사이트 열기");
    EXPECT_TRUE(obs_property_modified(obs_properties_get(props, "translation_provider"), settings));
    EXPECT_STREQ(obs_property_description(obs_properties_get(props, "open_trans_site")),
                 "DeepL 사이트 열기");
    obs_data_set_string(settings, "stt_engine", "none");
    obs_property_modified(engines, settings);
    EXPECT_STREQ(obs_property_description(obs_properties_get(props, "open_stt_site")),
                 "사이트 이동");

    // The server rows belong to the Whisper API; the outcome row waits for a test.
    auto visible = [&](const char* name) {
        return obs_property_visible(obs_properties_get(props, name));
    };
    EXPECT_FALSE(visible("whisper_base_url"));
    EXPECT_FALSE(visible("service_profanity_filter"));
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_property_modified(engines, settings);
    for (const char* name : {"whisper_base_url", "whisper_model", "test_stt_server"}) {
        EXPECT_TRUE(visible(name)) << name;
    }
    EXPECT_FALSE(visible("stt_server_test"));
    // Only services with a profanity filter of their own offer it.
    EXPECT_FALSE(visible("service_profanity_filter"));
    obs_data_set_string(settings, "stt_engine", "google_stt");
    obs_property_modified(engines, settings);
    EXPECT_TRUE(visible("service_profanity_filter"));
    EXPECT_FALSE(visible("whisper_local_note"));
    obs_data_set_string(settings, "stt_engine", "whisper_local");
    obs_property_modified(engines, settings);
    EXPECT_TRUE(visible("whisper_local_note"));
    EXPECT_FALSE(visible("whisper_base_url"));

    // Server URL belongs to OpenAI, each model to its provider, the test to any provider.
    obs_property_t* providers = obs_properties_get(props, "translation_provider");
    using Shown = std::vector<bool>;
    auto translationRows = [&](const char* provider) {
        obs_data_set_string(settings, "translation_provider", provider);
        obs_property_modified(providers, settings);
        return Shown{visible("translation_base_url"), visible("translation_model"),
                     visible("anthropic_model"), visible("test_translation")};
    };
    EXPECT_EQ(translationRows("openai"), (Shown{true, true, false, true}));
    EXPECT_EQ(translationRows("anthropic"), (Shown{false, false, true, true}));
    EXPECT_EQ(translationRows("deepl"), (Shown{false, false, false, true}));
    EXPECT_EQ(translationRows("none"), (Shown{false, false, false, false}));
    EXPECT_FALSE(visible("translation_test"));
    obs_data_release(settings);

    obs_properties_destroy(props);
    obs_source_release(source);
}

// A stand-in for xdg-open, first on PATH, that writes down what it was asked to open.
class FakeBrowser {
public:
    FakeBrowser() {
        char dir[] = "/tmp/sayline-open-XXXXXX";
        dir_ = mkdtemp(dir);
        record_ = dir_ + "/opened";
        std::ofstream script(dir_ + "/xdg-open");
        script << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << record_ << "'\n";
        script.close();
        chmod((dir_ + "/xdg-open").c_str(), 0755);
        oldPath_ = getenv("PATH") ? getenv("PATH") : "";
        setenv("PATH", (dir_ + ":" + oldPath_).c_str(), 1);
    }
    ~FakeBrowser() {
        setenv("PATH", oldPath_.c_str(), 1);
        std::remove(record_.c_str());
        std::remove((dir_ + "/xdg-open").c_str());
        rmdir(dir_.c_str());
    }
    std::string opened() const {
        std::ifstream in(record_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string dir_;
    std::string record_;
    std::string oldPath_;
};

TEST(SourceSettingsHostTest, buttons_open_the_key_page_of_the_chosen_service) {
    FakeBrowser browser;
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "google_stt");
    obs_data_set_string(settings, "translation_provider", "gemini");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_source_t* source = obs_source_create("sayline_source", "buttons", settings, nullptr);
    obs_data_release(settings);
    obs_properties_t* props = obs_source_properties(source);

    EXPECT_FALSE(obs_property_button_clicked(obs_properties_get(props, "open_stt_site"), source));
    ASSERT_TRUE(waitUntil([&] { return !browser.opened().empty(); }, seconds(5)));
    EXPECT_FALSE(obs_property_button_clicked(obs_properties_get(props, "open_trans_site"), source));
    ASSERT_TRUE(waitUntil(
        [&] { return browser.opened().find('\n') != browser.opened().rfind('\n'); }, seconds(5)));
    EXPECT_EQ(browser.opened(),
              "https://console.cloud.google.com/apis/library/speech.googleapis.com\n"
              "https://aistudio.google.com/app/apikey\n");

    obs_properties_destroy(props);
    obs_source_release(source);
}

// The outcome row of a freshly built sheet: its text, and whether it shows an error.
std::pair<std::string, bool> serverTestRow(obs_source_t* source) {
    obs_properties_t* props = obs_source_properties(source);
    obs_property_t* row = obs_properties_get(props, "stt_server_test");
    std::pair<std::string, bool> shown{obs_property_description(row),
                                       obs_property_text_info_type(row) == OBS_TEXT_INFO_ERROR};
    EXPECT_TRUE(obs_property_visible(row));
    obs_properties_destroy(props);
    return shown;
}

void countRefresh(void* counter, calldata_t*) { ++*static_cast<std::atomic<int>*>(counter); }

TEST(SourceSettingsHostTest, test_button_shows_the_servers_answer_in_the_sheet) {
    std::atomic<bool> answer{false};
    LoopbackServer server;
    server.on("POST", "/openai/v1/audio/transcriptions",
              [&](const httplib::Request& req, httplib::Response& res) {
                  if (!req.has_header("Authorization")) {
                      res.status = 401;
                      res.set_content(R"({"error":{"message":"Missing bearer token"}})",
                                      "application/json");
                      return;
                  }
                  waitUntil([&] { return answer.load(); }, seconds(10));
                  res.set_content(R"({"text":""})", "application/json");
              });
    ASSERT_TRUE(server.start());
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "whisper_base_url", (server.baseUrl() + "/openai").c_str());
    obs_data_set_string(settings, "stt_api_key", "sk-test-button");
    obs_source_t* source = obs_source_create("sayline_source", "server-test", settings, nullptr);
    std::atomic<int> refreshes{0};
    signal_handler_t* signals = obs_source_get_signal_handler(source);
    signal_handler_connect(signals, "update_properties", countRefresh, &refreshes);
    obs_properties_t* props = obs_source_properties(source);
    obs_property_t* button = obs_properties_get(props, "test_stt_server");

    // The click returns while the server still holds the request; a second one waits.
    EXPECT_TRUE(obs_property_button_clicked(button, source));
    EXPECT_EQ(serverTestRow(source), std::make_pair(std::string("Testing the connection…"), false));
    EXPECT_FALSE(obs_property_button_clicked(button, source));
    answer = true;
    ASSERT_TRUE(waitUntil([&] { return refreshes.load() == 1; }, seconds(10)));
    const auto ok = serverTestRow(source);
    EXPECT_EQ(ok.first.rfind("Connection OK: answered in ", 0), 0u) << ok.first;
    EXPECT_FALSE(ok.second);

    // Without a key this server refuses.
    updateInVideoTick(source,
                      [](obs_data_t* noKey) { obs_data_set_string(noKey, "stt_api_key", ""); });
    EXPECT_TRUE(obs_property_button_clicked(button, source));
    ASSERT_TRUE(waitUntil([&] { return refreshes.load() == 2; }, seconds(10)));
    EXPECT_EQ(serverTestRow(source),
              std::make_pair(std::string("Connection failed: The server wants an API key (none "
                                         "was sent): Missing bearer token"),
                             true));
    EXPECT_EQ(server.requestCount(), 2u);

    signal_handler_disconnect(signals, "update_properties", countRefresh, &refreshes);
    obs_properties_destroy(props);
    obs_data_release(settings);
    obs_source_release(source);
}

TEST(SourceSettingsHostTest, update_applies_the_settings_rules) {
    HostLogCapture::instance().clear();
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_local");
    obs_data_set_string(settings, "stt_api_key", "  sk-spaced\t\n");
    obs_data_set_string(settings, "source_language", "ko");
    obs_data_set_bool(settings, "enable_translation", true);
    obs_data_set_string(settings, "translation_provider", "google_translate");
    obs_data_set_string(settings, "translation_api_key", std::string(257, 'z').c_str());
    obs_data_set_string(settings, "target_language", "ja");
    obs_data_set_int(settings, "font_color", 0);
    obs_data_set_int(settings, "font_size", -3);
    obs_data_set_bool(settings, "background_enabled", true);
    obs_data_set_int(settings, "background_color", 0);
    obs_data_set_int(settings, "background_padding", 20);
    obs_data_set_int(settings, "subtitle_duration", 0);
    obs_source_t* source = obs_source_create("sayline_source", "rules", settings, nullptr);
    SubtitleSourceData* data = recordOf(source);
    ASSERT_NE(data, nullptr);

    EXPECT_EQ(data->settings.sttEngineType, SttEngineType::WhisperLocal);
    EXPECT_EQ(data->settings.sttApiKey, "sk-spaced");
    EXPECT_EQ(data->settings.sourceLanguage, "ko");
    EXPECT_EQ(data->settings.translationProviderType, ProviderType::GoogleTranslate);
    EXPECT_EQ(data->settings.translationApiKey, "");
    EXPECT_EQ(data->settings.targetLanguage, "ja");
    EXPECT_EQ(data->settings.textColor, 0xFFFFFFFFu);
    EXPECT_EQ(data->settings.fontSize, 24);
    EXPECT_TRUE(data->settings.backgroundEnabled);
    EXPECT_EQ(data->settings.backgroundColor, 0x80000000u);
    EXPECT_EQ(data->settings.backgroundPadding, 20);
    EXPECT_EQ(data->settings.subtitleDurationMs, 3000);
    // No engine of that kind: capture is marked started, but nothing listens.
    EXPECT_TRUE(data->capture.capturing.load());
    EXPECT_EQ(data->capture.sttEngine, nullptr);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        sourceLine(source,
                   "applied settings - STT: "
                   "whisper_local, Translation: enabled, Provider: 2")));
    EXPECT_TRUE(HostLogCapture::instance().contains(sourceLine(source, "starts capturing audio")));
    EXPECT_TRUE(HostLogCapture::instance().containsSubstring(
        "[Settings] Translation API key is corrupted! Length=257 (max=256)"));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("sk-spaced"));

    // With translation off, provider, target and key keep their values.
    obs_data_set_bool(settings, "enable_translation", false);
    obs_data_set_string(settings, "translation_provider", "deepl");
    obs_data_set_string(settings, "target_language", "en");
    obs_data_set_string(settings, "stt_engine", "none");
    obs_data_set_int(settings, "font_color", 0x00FF00);
    const std::string noEngine = sourceLine(source, "has no speech engine chosen - not capturing");
    const size_t noEngineBefore = HostLogCapture::instance().count(noEngine);
    obs_source_update(source, settings);
    ASSERT_TRUE(waitForAnotherLine(noEngine, noEngineBefore, seconds(5)));
    EXPECT_EQ(data->settings.translationProviderType, ProviderType::GoogleTranslate);
    EXPECT_EQ(data->settings.targetLanguage, "ja");
    EXPECT_EQ(data->settings.textColor, 0x00FF00u);
    EXPECT_FALSE(data->capture.capturing.load());

    // The text source carries the look (FreeType keys here), colour made opaque. The video
    // tick writes it, on the thread where the host reads it; the first row is made for the
    // first subtitle.
    data->scene->leave("look");
    obs_set_output_source(5, source);
    auto lookColor = [&] { return shownSettingOf(source, "color1"); };
    EXPECT_TRUE(waitUntil([&] { return lookColor() == 0xFF00FF00LL; }, seconds(5)));
    obs_set_output_source(5, nullptr);
    obs_data_t* look = rowSettingsCopy(source, 0);
    ASSERT_NE(look, nullptr);
    EXPECT_EQ(obs_data_get_int(look, "color1"), 0xFF00FF00LL);
    EXPECT_EQ(obs_data_get_int(look, "color2"), 0xFF00FF00LL);
    obs_data_t* font = obs_data_get_obj(look, "font");
    EXPECT_STREQ(obs_data_get_string(font, "face"), "Arial");
    // 10 x 24, held to what the FreeType source can store glyphs for.
    EXPECT_EQ(obs_data_get_int(font, "size"), 128);
    obs_data_release(font);
    EXPECT_TRUE(obs_data_get_bool(look, "outline"));
    // Text is written unwrapped; only a line wider than the box gets wrapped, at its width.
    EXPECT_FALSE(obs_data_get_bool(look, "word_wrap"));
    EXPECT_EQ(obs_data_get_int(look, "custom_width"), 0);
    obs_data_release(look);

    obs_data_release(settings);
    obs_source_release(source);
}

// The font of the first row's text source, once a text is drawn in it.
std::string drawnFont(obs_source_t* source, long long* size, long long* flags) {
    SubtitleSourceData* data = recordOf(source);
    data->scene->leave("Hello");
    obs_set_output_source(5, source);
    EXPECT_TRUE(waitUntil([&] { return shownTextOf(source) == "Hello"; }, seconds(5)));
    obs_set_output_source(5, nullptr);
    obs_data_t* settings = rowSettingsCopy(source, 0);
    if (!settings) return "<no text source>";
    obs_data_t* font = obs_data_get_obj(settings, "font");
    const std::string face =
        std::string(obs_data_get_string(font, "face")) + "|" + obs_data_get_string(font, "style");
    *size = obs_data_get_int(font, "size");
    *flags = obs_data_get_int(font, "flags");
    obs_data_release(font);
    obs_data_release(settings);
    return face;
}

TEST(SourceSettingsHostTest, the_chosen_font_reaches_the_text_source_but_not_its_size) {
    obs_data_t* settings = obs_data_create();
    obs_data_t* font = obs_data_create();
    obs_data_set_string(font, "face", "  Nimbus Roman ");
    obs_data_set_string(font, "style", "Bold Italic");
    obs_data_set_int(font, "flags", OBS_FONT_BOLD | OBS_FONT_ITALIC | 0x100);
    obs_data_set_int(font, "size", 300);
    obs_data_set_obj(settings, "font", font);
    obs_source_t* source = obs_source_create("sayline_source", "font", settings, nullptr);
    long long size = 0;
    long long flags = 0;
    EXPECT_EQ(drawnFont(source, &size, &flags), "Nimbus Roman|Bold Italic");
    EXPECT_EQ(flags, OBS_FONT_BOLD | OBS_FONT_ITALIC);
    EXPECT_EQ(size, 128);  // from "Font Size", held to what FreeType stores glyphs for

    // A face name past any real one is the default face again.
    obs_data_set_string(font, "face", std::string(300, 'x').c_str());
    obs_data_set_obj(settings, "font", font);
    updateInVideoTick(source, [&](obs_data_t* changes) { obs_data_apply(changes, settings); });
    EXPECT_EQ(recordOf(source)->settings.font.face, "Arial");
    EXPECT_TRUE(HostLogCapture::instance().containsSubstring(
        "Ignoring the font's face: 300 bytes (max=256)"));
    obs_data_release(font);
    obs_data_release(settings);
    obs_source_release(source);
}

TEST(SourceSettingsHostTest, choosing_no_engine_starts_no_capture) {
    HostLogCapture::instance().clear();
    obs_source_t* source = obs_source_create("sayline_source", "idle", nullptr, nullptr);
    SubtitleSourceData* data = recordOf(source);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        sourceLine(source, "has no speech engine chosen - not capturing")));
    EXPECT_FALSE(data->capture.capturing.load());
    EXPECT_FALSE(data->capture.audioConnected);
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("starts capturing audio"));
    obs_source_release(source);
}

}  // namespace
}  // namespace obs_sayline::test
