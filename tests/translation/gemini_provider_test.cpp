#include "translation/gemini_provider.h"

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "net/endpoint.h"
#include "support/host_log_capture.h"
#include "translation/fake_service.h"

namespace obs_sayline {
namespace {

using test::FakeService;
using test::HostLogCapture;
using test::ScopedEnv;

constexpr const char* kRules =
    "Rules:\n"
    "- Output ONLY the translated text, nothing else.\n"
    "- Maintain the original tone and style.\n"
    "- Keep the translation natural and conversational.\n"
    "- If the text contains proper nouns, keep them as-is.\n"
    "- Do not add explanations, notes, or formatting.\n";

std::string reply(const std::string& partsJson, const std::string& extra = "") {
    return R"({"candidates":[{"content":{"parts":)" + partsJson +
           R"(,"role":"model"},"finishReason":"STOP"}])" + extra + "}";
}

class GeminiProviderTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }

    std::unique_ptr<GeminiProvider> makeProvider(FakeService& service, const std::string& key,
                                                 ProviderConfig config = {}) {
        EXPECT_TRUE(service.started());
        ScopedEnv base(endpoints::kGeminiEnv, service.baseUrl().c_str());
        auto provider = std::make_unique<GeminiProvider>();
        EXPECT_TRUE(provider->initialize(config).isSuccess());
        if (!key.empty()) provider->setApiKey(key);
        return provider;
    }

    static TranslationRequest request(const std::string& text, const std::string& source,
                                      const std::string& target) {
        return TranslationRequest{text, source, target, ""};
    }

    ScopedEnv noKey1_{"GOOGLE_GEMINI_API_KEY", nullptr};
    ScopedEnv noKey2_{"GEMINI_API_KEY", nullptr};
};

TEST_F(GeminiProviderTest, sends_prompt_to_model_path_and_joins_parts) {
    FakeService service;
    service.reply(200, reply(R"([{"text":"Hel"},{"text":"lo"}])",
                             R"(,"usageMetadata":{"promptTokenCount":57,)"
                             R"("candidatesTokenCount":2,"totalTokenCount":59})"));
    auto provider = makeProvider(service, "gem-secret+key");

    auto result = provider->translate(request("안녕하세요", "ko", "en"));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    EXPECT_EQ(result.value().translatedText, "Hello");
    EXPECT_EQ(result.value().detectedLanguage, "ko");
    EXPECT_FLOAT_EQ(result.value().confidence, 0.85f);
    EXPECT_EQ(result.value().promptTokens, 57);
    EXPECT_EQ(result.value().completionTokens, 2);

    const auto seen = service.last();
    EXPECT_EQ(seen.path, "/v1beta/models/gemini-2.5-flash:generateContent");
    EXPECT_EQ(seen.query, "key=gem-secret%2Bkey");
    EXPECT_EQ(seen.header("Content-Type"), "application/json");
    EXPECT_EQ(seen.header("Authorization"), "");
    EXPECT_EQ(seen.header("User-Agent"), "obs-sayline/1.0 (Gemini)");

    const std::string prompt =
        std::string(
            "You are a real-time subtitle translator. Translate the following text from "
            "Korean to English.\n\n") +
        kRules + "\nText to translate:\n안녕하세요";
    EXPECT_EQ(seen.body, R"({"contents":[{"parts":[{"text":)" + nlohmann::json(prompt).dump() +
                             R"(}]}],"generationConfig":{"maxOutputTokens":1024,)"
                             R"("temperature":0.30000001192092896,"topP":0.95}})");
    EXPECT_EQ(nlohmann::json::parse(seen.body)["contents"][0]["parts"][0]["text"], prompt);

    const std::string log = HostLogCapture::instance().joined();
    EXPECT_EQ(log.find("gem-secret"), std::string::npos) << log;
    EXPECT_NE(log.find("key=REDACTED"), std::string::npos) << log;
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GeminiProvider] API key set (length=14)"));
}

TEST_F(GeminiProviderTest, prompt_names_languages_and_carries_context) {
    auto prompt = [](const std::string& source, const std::string& target,
                     const std::string& context = "") {
        return GeminiProvider::buildPrompt(TranslationRequest{"T", source, target, context});
    };
    const std::string head =
        "You are a real-time subtitle translator. Translate the following text";
    EXPECT_EQ(prompt("auto", "en"), head + " to English.\n\n" + kRules + "\nText to translate:\nT");
    EXPECT_EQ(prompt("", "nb").substr(0, head.size() + 16), head + " to Norwegian.\n\n");
    EXPECT_EQ(prompt("AUTO", "tl").substr(head.size(), 23), " from AUTO to Filipino.");
    EXPECT_EQ(prompt("ko", "pt-BR").substr(head.size(), 23), " from Korean to pt-BR.\n");
    EXPECT_EQ(prompt("ko", "en", "Earlier line"),
              head + " from Korean to English.\n\n" + kRules +
                  "\nPrevious context for reference:\nEarlier line\n\nText to translate:\nT");

    TranslationRequest keep{"T", "ko", "en", ""};
    keep.keepTerms = {"Sayline", "Busan\tFC\n"};
    EXPECT_NE(GeminiProvider::buildPrompt(keep).find(
                  "keep them as-is.\n- Keep these terms exactly as written: \"Sayline\", "
                  "\"Busan FC\".\n- Do not add"),
              std::string::npos);
}

TEST_F(GeminiProviderTest, reply_text_is_trimmed_and_unquoted) {
    FakeService service;
    auto provider = makeProvider(service, "k");
    struct Case {
        const char* parts;
        const char* text;
    } cases[] = {
        {R"([{"text":"\"Hello there\"\n"}])", "Hello there"},
        {R"([{"text":"  'Hi' "}])", "Hi"},
        {R"([{"text":"\""}])", "\""},
        {R"([{"text":"\"a'"}])", "\"a'"},
        {R"([{"text":""},{"inlineData":{}}])", ""},
        {R"([{"text":"a"},"stray",{"text":"b"}])", "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parts);
        service.reply(200, reply(c.parts));
        auto result = provider->translate(request("x", "", "en"));
        ASSERT_TRUE(result.isSuccess()) << result.error().message;
        EXPECT_EQ(result.value().translatedText, c.text);
        EXPECT_EQ(result.value().detectedLanguage, "auto");
        EXPECT_EQ(result.value().promptTokens, 0);
    }
}

TEST_F(GeminiProviderTest, blocked_empty_and_malformed_replies_fail) {
    FakeService service;
    auto provider = makeProvider(service, "k");
    const std::string typeError =
        "Failed to parse Gemini API response: [json.exception.type_error.302] ";
    struct Case {
        int status;
        std::string body;
        ErrorCode code;
        std::string message;
    } cases[] = {
        {200, R"({"candidates":[{"finishReason":"SAFETY","safetyRatings":[]}]})",
         ErrorCode::TranslationFailed, "Translation blocked by Gemini safety filters"},
        {200, R"({"candidates":[{"content":{"parts":[]},"finishReason":"STOP"}]})",
         ErrorCode::TranslationFailed, "Invalid Gemini API response: missing content parts"},
        {200, R"({"candidates":[]})", ErrorCode::TranslationFailed,
         "Invalid Gemini API response: missing candidates array"},
        {200, R"({"error":{"code":429,"message":"Quota hit"}})", ErrorCode::TranslationFailed,
         "Quota hit"},
        {200, R"({"error":"x"})", ErrorCode::TranslationFailed, "Gemini API error"},
        {200, R"({"error":{"message":5}})", ErrorCode::TranslationFailed,
         typeError + "type must be string, but is number"},
        {200, reply(R"([{"text":1}])"), ErrorCode::TranslationFailed,
         typeError + "type must be string, but is number"},
        {200, reply(R"([{"text":"a"}])", R"(,"usageMetadata":{"promptTokenCount":"9"})"),
         ErrorCode::TranslationFailed, typeError + "type must be number, but is string"},
        {200, "", ErrorCode::TranslationFailed,
         "Failed to parse Gemini API response: Empty JSON string"},
        {200, "<html>", ErrorCode::TranslationFailed,
         "Failed to parse Gemini API response: JSON parse error at position 1: "
         "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while "
         "parsing value - invalid literal; last read: '<'"},
        {404, "", ErrorCode::FileNotFound, "Model not found - check the model name"},
        {400, R"({"error":{"code":400,"message":"API key not valid."}})",
         ErrorCode::InvalidArgument, "API key not valid."},
        {409, "", ErrorCode::ApiError, "HTTP 409: Conflict"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        service.reply(c.status, c.body);
        auto result = provider->translate(request("x", "ko", "en"));
        ASSERT_TRUE(result.isError());
        EXPECT_EQ(result.error().code, c.code);
        EXPECT_EQ(result.error().message, c.message);
    }
}

TEST_F(GeminiProviderTest, key_rules_model_and_endpoint_overrides) {
    FakeService service;
    service.reply(200, reply(R"([{"text":"ok"}])"));
    ProviderConfig config;
    config.model = "gemini-pro";
    config.timeoutMs = 0;
    auto provider = makeProvider(service, std::string(256, 'k'), config);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GeminiProvider] Initialized (model=gemini-pro, endpoint=" +
        service.baseUrl() + "/v1beta/models/gemini-pro:generateContent, timeout=15000ms)"));
    ASSERT_TRUE(provider->translate(request("x", "ko", "en")).isSuccess());
    EXPECT_EQ(service.last().path, "/v1beta/models/gemini-pro:generateContent");

    provider->setApiKey(std::string(257, 'k'));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GeminiProvider] API key rejected - corrupted! length=257 (max=256). "
        "Please re-enter your Gemini API key in OBS settings."));
    EXPECT_FALSE(provider->hasApiKey());
    {
        ScopedEnv fallback("GEMINI_API_KEY", "second");
        EXPECT_TRUE(provider->hasApiKey());
        ScopedEnv first("GOOGLE_GEMINI_API_KEY", "first");
        ASSERT_TRUE(provider->translate(request("x", "ko", "en")).isSuccess());
        EXPECT_EQ(service.last().query, "key=first");
    }

    provider->setApiKey("k");
    ProviderConfig custom;
    custom.endpoint = service.baseUrl() + "/proxy/generate";
    ASSERT_TRUE(provider->updateConfig(custom).isSuccess());
    ASSERT_TRUE(provider->translate(request("x", "ko", "en")).isSuccess());
    EXPECT_EQ(service.last().target, "/proxy/generate?key=k");

    const std::string limit(GeminiProvider::kMaxTextBytes, 'a');
    ASSERT_TRUE(provider->translate(request(limit, "ko", "en")).isSuccess());
    auto tooLong = provider->translate(request(limit + "a", "ko", "en"));
    ASSERT_TRUE(tooLong.isError());
    EXPECT_EQ(tooLong.error().message, "Text exceeds maximum length (32768 bytes)");
    EXPECT_EQ(service.requestCount(), 4u);
}

TEST_F(GeminiProviderTest, mixed_run_statistics_and_streaming) {
    FakeService service;
    for (int i = 0; i < 3; ++i) service.reply(200, reply(R"([{"text":"Hi"}])"));
    service.reply(403, "");
    auto provider = makeProvider(service, "");

    auto missing = provider->translate(request("hello", "ko", "en"));
    ASSERT_TRUE(missing.isError());
    EXPECT_EQ(missing.error().message,
              "Gemini API key not configured. Set via setApiKey() or GEMINI_API_KEY environment "
              "variable.");
    provider->setApiKey("k");

    int calls = 0;
    provider->setStreamCallback([&](const TranslationResult& result, bool isFinal) {
        ++calls;
        EXPECT_TRUE(isFinal);
        EXPECT_EQ(result.translatedText, "Hi");
    });
    ASSERT_TRUE(provider->translateStream(request("hello", "ko", "en")).isSuccess());
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(provider->isStreaming());

    // The callback is the caller's code: what it throws ends the stream as a failure and
    // leaves the provider usable.
    provider->setStreamCallback(
        [](const TranslationResult&, bool) { throw std::runtime_error("sink closed"); });
    auto thrown = provider->translateStream(request("hello", "ko", "en"));
    ASSERT_TRUE(thrown.isError());
    EXPECT_EQ(thrown.error().code, ErrorCode::InternalError);
    EXPECT_EQ(thrown.error().message, "Stream callback failed: sink closed");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GeminiProvider] Stream callback failed: sink closed"));
    provider->setStreamCallback([](const TranslationResult&, bool) { throw 7; });
    EXPECT_EQ(provider->translateStream(request("hello", "ko", "en")).error().message,
              "Stream callback failed: unknown exception");
    provider->setStreamCallback([&](const TranslationResult&, bool) { ++calls; });

    auto denied = provider->translateStream(request("hey", "ko", "en"));
    ASSERT_TRUE(denied.isError());
    EXPECT_EQ(denied.error().code, ErrorCode::PermissionDenied);
    EXPECT_EQ(denied.error().message,
              "Permission denied - check API key permissions and Gemini API access");
    EXPECT_EQ(calls, 1);

    auto tooLong =
        provider->translate(request(std::string(GeminiProvider::kMaxTextBytes + 1, 'a'), "", "en"));
    ASSERT_TRUE(tooLong.isError());

    double average = -1;
    EXPECT_EQ(test::statsWithoutLatency(provider->getStatistics(), &average),
              R"({"provider":"gemini","model":"gemini-2.5-flash","requests":6,"successes":3,)"
              R"("errors":3,"averageLatencyMs":#,"successRate":50.0,"totalCharsTranslated":15})");
    EXPECT_GE(average, 0.0);

    EXPECT_TRUE(provider->supportsLanguagePair("", "klingon"));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GeminiProvider] Language 'klingon' not in known list, allowing anyway "
        "(LLM)"));
    EXPECT_FALSE(provider->supportsLanguagePair("ko", ""));
    EXPECT_EQ(provider->getSupportedTargetLanguages().size(), 31u);
}

}  // namespace
}  // namespace obs_sayline
