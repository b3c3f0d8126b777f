// Translation by language models inside the headless host, and a status that follows every
// change: sources hear the same 4 s of tone, send it to a loopback Whisper server and have the
// text translated by a loopback server that speaks OpenAI's chat completions (a local model
// server, no key) or Anthropic's Messages API.

#include <gtest/gtest.h>
#include <obs.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/audio_feed.h"
#include "plugin_host_support.h"
#include "stt/stt_test_env.h"
#include "support/loopback_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::seconds;

constexpr const char* kAnthropicKey = "sk-ant-host-5d1e";

const std::string kChatReply =
    R"({"id":"chatcmpl-7","object":"chat.completion","model":"llama3.2","choices":[{"index":0,)"
    R"("message":{"role":"assistant","content":"\"좋은 아침\""},"finish_reason":"stop"}],)"
    R"("usage":{"prompt_tokens":41,"completion_tokens":6,"total_tokens":47}})";
const std::string kMessagesReply =
    R"({"id":"msg_01","type":"message","role":"assistant","model":"claude-haiku-4-5",)"
    R"("content":[{"type":"text","text":"좋은 아침"},{"type":"text","text":"입니다"}],)"
    R"("stop_reason":"end_turn","usage":{"input_tokens":38,"output_tokens":9}})";

// Each source has a Whisper server path of its own; its first chunk is "Good morning", the
// rest of the tone recognises nothing.
obs_data_t* whisperAt(const std::string& url) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "whisper_base_url", url.c_str());
    obs_data_set_string(settings, "source_language", "en");
    obs_data_set_bool(settings, "show_original", true);
    obs_data_set_string(settings, "target_language", "ko");
    obs_data_set_int(settings, "subtitle_duration", 10000);
    return settings;
}

obs_source_t* makeSource(const char* name, obs_data_t* settings) {
    obs_source_t* source = obs_source_create("sayline_source", name, settings, nullptr);
    obs_data_release(settings);
    return source;
}

class TranslationHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = std::make_unique<LoopbackServer>();
        server_->on("POST", "(.*)/v1/audio/transcriptions",
                    [](const httplib::Request& req, httplib::Response& res) {
                        int seen = 0;
                        {
                            std::lock_guard<std::mutex> lock(mutex_);
                            seen = whisperCalls_[req.matches[1].str()]++;
                        }
                        replyJson(res, 200,
                                  std::string(R"({"text":")") + (seen == 0 ? "Good morning" : "") +
                                      R"(","language":"english","duration":3.0})");
                    });
        server_->on("POST", "/llm/v1/chat/completions",
                    [](const httplib::Request&, httplib::Response& res) {
                        replyJson(res, 200, kChatReply);
                    });
        server_->on("POST", "/v1/messages", [](const httplib::Request&, httplib::Response& res) {
            replyJson(res, 200, kMessagesReply);
        });
        ASSERT_TRUE(server_->start());
        // Neither the default OpenAI server nor Anthropic's is ever the real one here.
        noOpenAiKey_.emplace("OPENAI_API_KEY", std::nullopt);
        openAiBase_.emplace("SAYLINE_OPENAI_BASE_URL", server_->url("/default"));
        anthropicBase_.emplace("SAYLINE_ANTHROPIC_BASE_URL", server_->baseUrl());
        HostLogCapture::instance().clear();

        obs_data_t* chat = whisperAt(server_->url("/chat"));
        obs_data_set_string(chat, "translation_provider", "openai");
        obs_data_set_string(chat, "translation_base_url",
                            (" " + server_->url("/llm") + " ").c_str());
        obs_data_set_string(chat, "translation_model", "llama3.2");
        chat_ = makeSource("local model", chat);

        obs_data_t* claude = whisperAt(server_->url("/claude"));
        obs_data_set_string(claude, "translation_provider", "anthropic");
        obs_data_set_string(claude, "translation_api_key", kAnthropicKey);
        claude_ = makeSource("claude", claude);

        obs_data_t* switching = whisperAt(server_->url("/switch"));
        obs_data_set_bool(switching, "enable_translation", false);
        switching_ = makeSource("switching", switching);

        obs_data_t* local = obs_data_create();
        obs_data_set_string(local, "stt_engine", "whisper_local");
        obs_data_set_bool(local, "status_in_scene", true);
        local_ = makeSource("whisper local", local);

        scene_ = obs_scene_create("translation scene");
        for (obs_source_t* source : {chat_, claude_, local_}) obs_scene_add(scene_, source);
        obs_set_output_source(0, obs_scene_get_source(scene_));
        feed_ = std::make_unique<AudioFeed>();
        feed_->pushSine(220.0, 0.4f, 4000);
    }

    static void TearDownTestSuite() {
        obs_set_output_source(0, nullptr);
        obs_scene_release(scene_);
        EXPECT_TRUE(releaseAndWaitDestroyed({chat_, claude_, switching_, local_}, seconds(20)));
        feed_.reset();
        EXPECT_FALSE(HostLogCapture::instance().containsSubstring(kAnthropicKey));
        server_.reset();
        anthropicBase_.reset();
        openAiBase_.reset();
        noOpenAiKey_.reset();
    }

    static std::vector<RecordedRequest> requestsTo(const std::string& path) {
        std::vector<RecordedRequest> out;
        for (auto& request : server_->requests()) {
            if (request.path == path) out.push_back(request);
        }
        return out;
    }

    static inline std::unique_ptr<LoopbackServer> server_;
    static inline std::unique_ptr<AudioFeed> feed_;
    static inline std::mutex mutex_;
    static inline std::map<std::string, int> whisperCalls_;
    static inline std::optional<ScopedEnv> noOpenAiKey_;
    static inline std::optional<ScopedEnv> openAiBase_;
    static inline std::optional<ScopedEnv> anthropicBase_;
    static inline obs_scene_t* scene_ = nullptr;
    static inline obs_source_t* chat_ = nullptr;
    static inline obs_source_t* claude_ = nullptr;
    static inline obs_source_t* switching_ = nullptr;
    static inline obs_source_t* local_ = nullptr;
};

TEST_F(TranslationHostTest, local_model_server_translates_below_the_original) {
    ASSERT_TRUE(
        waitUntil([] { return shownTextOf(chat_) == "Good morning\n좋은 아침"; }, seconds(15)))
        << shownTextOf(chat_) << HostLogCapture::instance().joined();
    const auto asked = requestsTo("/llm/v1/chat/completions");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(asked[0].hasHeader("Authorization"));
    const auto body = nlohmann::json::parse(asked[0].body);
    EXPECT_EQ(body["model"], "llama3.2");
    EXPECT_EQ(body["messages"][1]["content"], "Good morning");
    EXPECT_EQ(statusOf(chat_).code, "subtitle_shown");

    // The sheet's test asks the same server, and shows its answer.
    obs_properties_t* props = obs_source_properties(chat_);
    EXPECT_TRUE(obs_property_visible(obs_properties_get(props, "translation_base_url")));
    EXPECT_FALSE(obs_property_visible(obs_properties_get(props, "anthropic_model")));
    EXPECT_TRUE(obs_property_button_clicked(obs_properties_get(props, "test_translation"), chat_));
    obs_properties_destroy(props);
    std::string outcome;
    ASSERT_TRUE(waitUntil(
        [&] {
            obs_properties_t* sheet = obs_source_properties(chat_);
            outcome = obs_property_description(obs_properties_get(sheet, "translation_test"));
            obs_properties_destroy(sheet);
            return outcome.find(" ms: ") != std::string::npos;
        },
        seconds(10)))
        << outcome;
    EXPECT_EQ(outcome.rfind("Translation OK (번역 성공): answered in ", 0), 0u) << outcome;
    EXPECT_EQ(outcome.substr(outcome.find(" ms: ")), " ms: 좋은 아침");
    EXPECT_EQ(requestsTo("/llm/v1/chat/completions").size(), 2u);
}

TEST_F(TranslationHostTest, anthropic_translates_below_the_original) {
    ASSERT_TRUE(waitUntil([] { return shownTextOf(claude_) == "Good morning\n좋은 아침입니다"; },
                          seconds(15)))
        << shownTextOf(claude_) << HostLogCapture::instance().joined();
    const auto asked = requestsTo("/v1/messages");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].header("x-api-key"), kAnthropicKey);
    const auto body = nlohmann::json::parse(asked[0].body);
    EXPECT_EQ(body["model"], "claude-haiku-4-5");
    EXPECT_EQ(body["messages"][0]["content"], "Good morning");
}

TEST_F(TranslationHostTest, whisper_local_is_a_problem_that_sends_nothing_until_changed) {
    const std::string sentence =
        "Whisper Local is not available in this build: choose Whisper API and point Server URL "
        "at a local Whisper server";
    EXPECT_EQ(statusOf(local_).code, "whisper_local_unavailable");
    EXPECT_EQ(statusOf(local_).text, sentence);
    EXPECT_EQ(recordOf(local_)->capture.live, nullptr);
    obs_properties_t* props = obs_source_properties(local_);
    EXPECT_EQ(std::string(obs_property_description(obs_properties_get(props, "status"))),
              "Status: " + sentence);
    EXPECT_TRUE(obs_property_visible(obs_properties_get(props, "whisper_local_note")));
    obs_properties_destroy(props);
    EXPECT_TRUE(HostLogCapture::instance().contains("[obs-sayline] [STT] " + sentence));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("Unknown STT engine type"));

    updateInVideoTick(local_, [&](obs_data_t* settings) {
        obs_data_set_string(settings, "stt_engine", "whisper_api");
        obs_data_set_string(settings, "whisper_base_url", server_->url("/local").c_str());
    });
    EXPECT_NE(statusOf(local_).code, "whisper_local_unavailable");
    EXPECT_FALSE(recordOf(local_)->shared->status.report().problem()) << statusOf(local_).text;
}

TEST_F(TranslationHostTest, a_keyless_engine_replaces_the_last_subtitle_with_its_problem) {
    ASSERT_TRUE(
        waitUntil([] { return statusOf(switching_).code == "subtitle_shown"; }, seconds(15)))
        << statusOf(switching_).text;
    // Deepgram wants a key, and neither the settings nor the environment has one.
    ScopedEnv noKey("DEEPGRAM_API_KEY", std::nullopt);
    ScopedEnv deepgramBase("SAYLINE_DEEPGRAM_BASE_URL", server_->baseUrl());
    updateInVideoTick(switching_, [](obs_data_t* settings) {
        obs_data_set_string(settings, "stt_engine", "deepgram");
    });
    EXPECT_EQ(statusOf(switching_).code, "api_key_missing");
    EXPECT_EQ(statusRow(switching_), "Status: No API key for Deepgram");
    // What is left of the tone goes nowhere, and the problem stays.
    std::this_thread::sleep_for(seconds(1));
    EXPECT_EQ(statusOf(switching_).text, "No API key for Deepgram");
    EXPECT_TRUE(requestsTo("/v1/listen").empty());
}

}  // namespace
}  // namespace obs_sayline::test
