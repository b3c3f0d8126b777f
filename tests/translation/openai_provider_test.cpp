#include "translation/openai_provider.h"

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

constexpr int kHostDebug = 400;  // libobs LOG_DEBUG

// A chat completions reply as OpenAI sends it.
std::string reply(const std::string& content, const std::string& finish = "\"stop\"") {
    return R"({"id":"chatcmpl-9x","object":"chat.completion","created":1718000000,)"
           R"("model":"gpt-4o-mini-2024-07-18","choices":[{"index":0,"message":{"role":)"
           R"("assistant","content":)" +
           content + R"(,"refusal":null},"logprobs":null,"finish_reason":)" + finish +
           R"(}],"usage":{"prompt_tokens":61,"completion_tokens":5,"total_tokens":66}})";
}

class OpenAiProviderTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }

    static std::unique_ptr<OpenAiProvider> served(FakeService& service, const std::string& key) {
        return test::servedProvider<OpenAiProvider>(service, endpoints::kOpenAiEnv, key);
    }

    ScopedEnv noKey_{"OPENAI_API_KEY", nullptr};
};

TEST_F(OpenAiProviderTest, sends_chat_request_and_reads_the_answer) {
    FakeService service;
    service.reply(200, reply(R"("\"Hello, everyone.\"\n\n")"));
    auto provider = served(service, "sk-test-secret");

    TranslationRequest asked = translationRequest("안녕하세요, 여러분.");
    asked.keepTerms = {"Sayline", " Faker\n", "Sayline", ""};
    auto result = provider->translate(asked);
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    EXPECT_EQ(result.value().translatedText, "Hello, everyone.");
    EXPECT_EQ(result.value().detectedLanguage, "ko");
    EXPECT_EQ(result.value().promptTokens, 61);
    EXPECT_EQ(result.value().completionTokens, 5);

    const auto seen = service.last();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/v1/chat/completions");
    EXPECT_EQ(seen.header("Authorization"), "Bearer sk-test-secret");
    EXPECT_EQ(seen.header("Content-Type"), "application/json");
    const json body = json::parse(seen.body);
    EXPECT_EQ(body["model"], "gpt-4o-mini");
    EXPECT_EQ(body["temperature"], 0);
    EXPECT_EQ(body["stream"], false);
    ASSERT_EQ(body["messages"].size(), 2u);
    EXPECT_EQ(body["messages"][0]["role"], "system");
    EXPECT_EQ(body["messages"][1], json({{"role", "user"}, {"content", "안녕하세요, 여러분."}}));
    const std::string system = body["messages"][0]["content"];
    EXPECT_NE(system.find("Translate the user's message from Korean to English."),
              std::string::npos)
        << system;
    EXPECT_NE(system.find("- Keep these terms exactly as written: \"Sayline\", \"Faker\".\n"),
              std::string::npos)
        << system;

    double average = -1;
    EXPECT_EQ(test::statsWithoutLatency(provider->getStatistics(), &average),
              R"({"provider":"openai","model":"gpt-4o-mini","requests":1,"successes":1,)"
              R"("errors":0,"averageLatencyMs":#,"successRate":100.0,"totalCharsTranslated":27,)"
              R"("promptTokens":61,"completionTokens":5})");

    // Neither the key nor the text goes into a line above Debug.
    for (const auto& line : HostLogCapture::instance().lines()) {
        EXPECT_EQ(line.text.find("sk-test-secret"), std::string::npos) << line.text;
        if (line.level < kHostDebug) {
            EXPECT_EQ(line.text.find("여러분"), std::string::npos) << line.text;
        }
    }
}

TEST_F(OpenAiProviderTest, server_url_of_ones_own_takes_path_model_and_no_key) {
    FakeService service;
    ASSERT_TRUE(service.started());
    service.reply(200, reply(R"("Bonjour")", "null"));
    ProviderConfig config;
    config.endpoint = service.baseUrl() + "/ollama/";
    config.model = "llama3.2";
    OpenAiProvider provider;
    ASSERT_TRUE(provider.initialize(config).isSuccess());

    auto result = provider.translate(translationRequest("Hello", "auto", "fr"));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    EXPECT_EQ(result.value().translatedText, "Bonjour");
    EXPECT_EQ(result.value().detectedLanguage, "auto");
    EXPECT_EQ(service.last().path, "/ollama/v1/chat/completions");
    EXPECT_FALSE(service.last().hasHeader("Authorization"));
    const json body = json::parse(service.last().body);
    EXPECT_EQ(body["model"], "llama3.2");
    EXPECT_NE(body["messages"][0]["content"].get<std::string>().find(
                  "from whatever language it is written in to French."),
              std::string::npos);

    service.reply(401, R"({"error":"unauthorized"})");
    auto refused = provider.translate(translationRequest("Hello", "en", "fr"));
    ASSERT_TRUE(refused.isError());
    EXPECT_EQ(refused.error().code, ErrorCode::AuthenticationFailed);
    EXPECT_EQ(refused.error().message, "The server wants an API key (none was sent): unauthorized");

    // Plain http goes only to this computer or a private network; credentials never.
    for (const char* url : {"http://203.0.113.7:11434", "https://me:pw@llm.example.org",
                            "https://llm.example.org/v1?token=x"}) {
        SCOPED_TRACE(url);
        ProviderConfig bad;
        bad.endpoint = url;
        OpenAiProvider other;
        auto init = other.initialize(bad);
        ASSERT_TRUE(init.isError());
        EXPECT_EQ(init.error().code, ErrorCode::InvalidArgument);
        EXPECT_EQ(init.error().message.rfind("Server URL refused: ", 0), 0u);
        EXPECT_FALSE(other.isInitialized());
        EXPECT_FALSE(provider.updateConfig(bad).isSuccess());
    }
    EXPECT_EQ(provider.url(), service.baseUrl() + "/ollama/v1/chat/completions");
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("203.0.113.7"));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("pw@"));
}

TEST_F(OpenAiProviderTest, key_to_a_private_network_server_is_warned_once) {
    // The loopback service plays the machine on the network as a proxy, which receives the
    // whole URL as its target.
    FakeService service;
    service.reply(200, reply(R"("Hallo")"));
    ScopedEnv proxy("http_proxy", service.baseUrl().c_str());
    ScopedEnv noProxy("no_proxy", nullptr);
    ScopedEnv noProxyUpper("NO_PROXY", nullptr);
    ProviderConfig config;
    config.endpoint = "http://192.168.1.20:8080";
    OpenAiProvider provider;
    ASSERT_TRUE(provider.initialize(config).isSuccess());
    provider.setApiKey("sk-lan");
    provider.setApiKey("sk-lan-2");
    ASSERT_TRUE(provider.translate(translationRequest("Hello", "en", "de")).isSuccess());
    EXPECT_EQ(service.last().target, "http://192.168.1.20:8080/v1/chat/completions");
    EXPECT_EQ(service.last().header("Authorization"), "Bearer sk-lan-2");
    EXPECT_EQ(HostLogCapture::instance().count(
                  "[obs-sayline] [OpenAiProvider] Server http://192.168.1.20:8080 is plain http:// "
                  "to another computer: the API key crosses the network unencrypted"),
              1u);
}

TEST_F(OpenAiProviderTest, answers_that_are_not_a_whole_translation_fail) {
    FakeService service;
    auto provider = served(service, "k");
    test::expectFailures(
        *provider, service,
        {
            {200, reply(R"("Hello, every")", R"("length")"), ErrorCode::TranslationFailed,
             "Translation cut off: the model reached its output limit"},
            {200, reply("null", R"("content_filter")"), ErrorCode::TranslationFailed,
             "Translation blocked by the service's content filter"},
            {200, R"({"id":"x","object":"chat.completion","choices":[]})",
             ErrorCode::InvalidResponse, "Invalid OpenAI API response: missing choices"},
            {200, R"({"id":"x","object":"chat.completion"})", ErrorCode::InvalidResponse,
             "Invalid OpenAI API response: missing choices"},
            {200, reply("42"), ErrorCode::InvalidResponse,
             "Invalid OpenAI API response: message content is not text"},
            {200,
             R"({"choices":[{"message":{"role":"assistant","content":null,"refusal":"No."},)"
             R"("finish_reason":"stop"}]})",
             ErrorCode::TranslationFailed, "The model refused: No."},
            {200, reply(R"("<think>The user wants")"), ErrorCode::TranslationFailed,
             "The model answered with its reasoning only"},
            {200, R"({"error":{"message":"model is loading","type":"server_error"}})",
             ErrorCode::TranslationFailed, "model is loading"},
            {200, "<html>", ErrorCode::InvalidResponse,
             "Failed to parse OpenAI API response: JSON parse error at position 1"},
        });

    // Around the answer: blank lines, quotes, a reasoning block; token counts of another type
    // are only bookkeeping.
    struct Good {
        std::string body;
        const char* text;
    } good[] = {
        {reply(R"("\n  'Hi there'  \n")"), "Hi there"},
        {reply(R"("<think>\nShort greeting.\n</think>\n\n\"Hi\"")"), "Hi"},
        {R"({"choices":[{"message":{"content":"Hi"},"finish_reason":"stop"}],)"
         R"("usage":{"prompt_tokens":"9"}})",
         "Hi"},
    };
    for (const auto& g : good) {
        SCOPED_TRACE(g.body);
        service.reply(200, g.body);
        auto result = provider->translate(translationRequest("x"));
        ASSERT_TRUE(result.isSuccess()) << result.error().message;
        EXPECT_EQ(result.value().translatedText, g.text);
    }
}

TEST_F(OpenAiProviderTest, statuses_keys_and_lifecycle) {
    FakeService service;
    OpenAiProvider fresh;
    EXPECT_EQ(fresh.translate(translationRequest("x")).error().message,
              "OpenAiProvider not initialized");
    fresh.shutdown();

    auto provider = served(service, "");
    EXPECT_EQ(provider->translate(translationRequest("hello")).error().code,
              ErrorCode::ApiKeyMissing);
    EXPECT_EQ(service.requestCount(), 0u);
    {
        ScopedEnv envKey("OPENAI_API_KEY", "sk-env");
        service.reply(200, reply(R"("ok")"));
        ASSERT_TRUE(provider->translate(translationRequest("hello")).isSuccess());
        EXPECT_EQ(service.last().header("Authorization"), "Bearer sk-env");
    }
    provider->setApiKey("sk-abcdef123456");

    test::expectFailures(
        *provider, service,
        {
            {401,
             R"({"error":{"message":"Incorrect API key provided: sk-abcdef123456.","type":)"
             R"("invalid_request_error","param":null,"code":"invalid_api_key"}})",
             ErrorCode::AuthenticationFailed, "Incorrect API key provided: REDACTED."},
            {404, R"({"error":{"message":"model \"llama9\" not found, try pulling it first"}})",
             ErrorCode::FileNotFound, "model \"llama9\" not found, try pulling it first"},
            {429, R"({"error":{"message":"Rate limit reached","type":"requests"}})",
             ErrorCode::RateLimitExceeded, "Rate limit reached", 2},
            {502, "<html>bad gateway</html>", ErrorCode::NetworkError, "HTTP 502: Bad Gateway", 2},
        });
    // A 5xx answered well on the retry is a success.
    service.reply(503, "");
    service.reply(200, reply(R"("ok")"));
    EXPECT_TRUE(provider->translate(translationRequest("hello")).isSuccess());

    EXPECT_EQ(provider->initialize({}).error().code, ErrorCode::AlreadyInitialized);
    provider->shutdown();
    provider->shutdown();
    EXPECT_EQ(provider->translate(translationRequest("x")).error().code, ErrorCode::NotInitialized);
    EXPECT_TRUE(provider->initialize({}).isSuccess());
    EXPECT_EQ(HostLogCapture::instance().joined().find("sk-abcdef123456"), std::string::npos);
}

}  // namespace
}  // namespace obs_sayline
