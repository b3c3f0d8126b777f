#include "translation/anthropic_provider.h"

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "net/endpoint.h"
#include "support/host_log_capture.h"
#include "translation/fake_service.h"

namespace obs_sayline {
namespace {

using json = nlohmann::json;
using test::FakeService;
using test::HostLogCapture;
using test::ScopedEnv;
using test::translationRequest;

// A Messages reply as Anthropic sends it.
std::string reply(const std::string& content, const std::string& stop = "\"end_turn\"") {
    return R"({"id":"msg_01XFDUDYJgAACzvnptvVoYEL","type":"message","role":"assistant",)"
           R"("model":"claude-haiku-4-5-20251001","content":)" +
           content + R"(,"stop_reason":)" + stop +
           R"(,"stop_sequence":null,"usage":{"input_tokens":48,"output_tokens":7}})";
}

class AnthropicProviderTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }

    static std::unique_ptr<AnthropicProvider> served(FakeService& service, const std::string& key,
                                                     const ProviderConfig& config = {}) {
        return test::servedProvider<AnthropicProvider>(service, endpoints::kAnthropicEnv, key,
                                                       config);
    }

    ScopedEnv noKey_{"ANTHROPIC_API_KEY", nullptr};
};

TEST_F(AnthropicProviderTest, sends_messages_request_and_joins_text_blocks) {
    FakeService service;
    service.reply(200, reply(R"([{"type":"thinking","thinking":"Greeting."},)"
                             R"({"type":"text","text":"\"Hello, "},)"
                             R"({"type":"text","text":"everyone.\"\n"}])"));
    auto provider = served(service, "sk-ant-secret");

    TranslationRequest asked = translationRequest("안녕하세요, 여러분.");
    asked.keepTerms = {"Sayline"};
    auto result = provider->translate(asked);
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    EXPECT_EQ(result.value().translatedText, "Hello, everyone.");
    EXPECT_EQ(result.value().promptTokens, 48);
    EXPECT_EQ(result.value().completionTokens, 7);

    const auto seen = service.last();
    EXPECT_EQ(seen.path, "/v1/messages");
    EXPECT_EQ(seen.header("x-api-key"), "sk-ant-secret");
    EXPECT_EQ(seen.header("anthropic-version"), "2023-06-01");
    EXPECT_EQ(seen.header("content-type"), "application/json");
    EXPECT_FALSE(seen.hasHeader("Authorization"));
    const json body = json::parse(seen.body);
    EXPECT_EQ(body["model"], "claude-haiku-4-5");
    EXPECT_EQ(body["max_tokens"], 256 + 2 * 27);
    EXPECT_EQ(body["temperature"], 0);
    ASSERT_EQ(body["messages"].size(), 1u);
    EXPECT_EQ(body["messages"][0]["role"], "user");
    EXPECT_EQ(body["messages"][0]["content"], "안녕하세요, 여러분.");
    const std::string system = body["system"];
    EXPECT_NE(system.find("from Korean to English."), std::string::npos) << system;
    EXPECT_NE(system.find("Keep these terms exactly as written: \"Sayline\"."), std::string::npos)
        << system;

    double average = -1;
    EXPECT_EQ(test::statsWithoutLatency(provider->getStatistics(), &average),
              R"({"provider":"anthropic","model":"claude-haiku-4-5","requests":1,"successes":1,)"
              R"("errors":0,"averageLatencyMs":#,"successRate":100.0,"totalCharsTranslated":27,)"
              R"("promptTokens":48,"completionTokens":7})");
    EXPECT_EQ(HostLogCapture::instance().joined().find("sk-ant-secret"), std::string::npos);
}

TEST_F(AnthropicProviderTest, cut_off_refused_and_malformed_replies_fail) {
    FakeService service;
    auto provider = served(service, "k");
    test::expectFailures(
        *provider, service,
        {
            {200, reply(R"([{"type":"text","text":"Hello, ev"}])", R"("max_tokens")"),
             ErrorCode::TranslationFailed, "Translation cut off: the model reached max_tokens"},
            {200, reply("[]", R"("refusal")"), ErrorCode::TranslationFailed,
             "Translation refused by the model"},
            {200, reply(R"([{"type":"tool_use","id":"t","name":"x","input":{}}])"),
             ErrorCode::InvalidResponse, "Invalid Anthropic API response: no text"},
            {200, reply(R"({"type":"text","text":"Hi"})"), ErrorCode::InvalidResponse,
             "Invalid Anthropic API response: content is not an array"},
            {200, reply(R"([{"type":"text","text":5}])"), ErrorCode::InvalidResponse,
             "Invalid Anthropic API response: a text block has no text"},
            {200, R"({"type":"error","error":{"type":"overloaded_error","message":"Overloaded"}})",
             ErrorCode::TranslationFailed, "Overloaded"},
            {200, "", ErrorCode::InvalidResponse,
             "Failed to parse Anthropic API response: Empty JSON"},
        });
}

TEST_F(AnthropicProviderTest, statuses_keys_model_and_limits) {
    FakeService service;
    ProviderConfig config;
    config.model = "claude-sonnet-4-5";
    auto provider = served(service, "", config);
    auto missing = provider->translate(translationRequest("hello"));
    ASSERT_TRUE(missing.isError());
    EXPECT_EQ(missing.error().code, ErrorCode::ApiKeyMissing);
    EXPECT_EQ(service.requestCount(), 0u);
    ScopedEnv envKey("ANTHROPIC_API_KEY", "sk-ant-env");

    test::expectFailures(
        *provider, service,
        {
            {401,
             R"({"type":"error","error":{"type":"authentication_error","message":"invalid x-api-key"}})",
             ErrorCode::AuthenticationFailed, "invalid x-api-key"},
            {429,
             R"({"type":"error","error":{"type":"rate_limit_error","message":"Number of requests )"
             R"(has exceeded your rate limit"}})",
             ErrorCode::RateLimitExceeded, "Number of requests has exceeded your rate limit", 2},
            {529, "", ErrorCode::NetworkError,
             "Service unavailable or overloaded - try again later", 2},
        });
    EXPECT_EQ(service.last().header("x-api-key"), "sk-ant-env");

    // Overloaded once, answered on the retry; a long text gets the capped max_tokens.
    service.reply(529, "");
    service.reply(200, reply(R"([{"type":"text","text":"ok"}])"));
    const std::string longText(AnthropicProvider::kMaxTextBytes, 'a');
    ASSERT_TRUE(provider->translate(translationRequest(longText)).isSuccess());
    const json body = json::parse(service.last().body);
    EXPECT_EQ(body["model"], "claude-sonnet-4-5");
    EXPECT_EQ(body["max_tokens"], AnthropicProvider::kMaxOutputTokens);
    EXPECT_EQ(provider->translate(translationRequest(longText + "a")).error().message,
              "Text exceeds maximum length (32768 bytes)");

    EXPECT_EQ(provider->initialize({}).error().code, ErrorCode::AlreadyInitialized);
    provider->shutdown();
    provider->shutdown();
    EXPECT_EQ(provider->translate(translationRequest("x")).error().message,
              "AnthropicProvider not initialized");
}

}  // namespace
}  // namespace obs_sayline
