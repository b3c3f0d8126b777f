#include "translation/google_translate_provider.h"

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "net/endpoint.h"
#include "support/host_log_capture.h"
#include "translation/fake_service.h"

namespace obs_sayline {
namespace {

using test::FakeService;
using test::HostLogCapture;
using test::ScopedEnv;

constexpr const char* kOkReply =
    R"({"data":{"translations":[{"translatedText":"Hello","detectedSourceLanguage":"KO"}]}})";

class GoogleTranslateProviderTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }

    std::unique_ptr<GoogleTranslateProvider> makeProvider(FakeService& service,
                                                          const std::string& key) {
        EXPECT_TRUE(service.started());
        ScopedEnv base(endpoints::kGoogleTranslateEnv, service.baseUrl().c_str());
        auto provider = std::make_unique<GoogleTranslateProvider>();
        EXPECT_TRUE(provider->initialize(ProviderConfig{}).isSuccess());
        if (!key.empty()) provider->setApiKey(key);
        return provider;
    }

    static TranslationRequest request(const std::string& text, const std::string& source,
                                      const std::string& target) {
        return TranslationRequest{text, source, target, "ignored context"};
    }

    ScopedEnv noEnvKey_{"GOOGLE_TRANSLATE_API_KEY", nullptr};
};

TEST_F(GoogleTranslateProviderTest, posts_json_with_key_in_query_and_reads_reply) {
    FakeService service;
    service.reply(200, kOkReply);
    auto provider = makeProvider(service, "AIza secret/1");

    auto result = provider->translate(request("say \"hi\"\n", "ko", "en-US"));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    EXPECT_EQ(result.value().translatedText, "Hello");
    EXPECT_EQ(result.value().detectedLanguage, "ko");
    EXPECT_FLOAT_EQ(result.value().confidence, 0.9f);

    const auto seen = service.last();
    EXPECT_EQ(seen.path, "/language/translate/v2");
    EXPECT_EQ(seen.query, "key=AIza%20secret%2F1");
    EXPECT_EQ(seen.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(seen.header("User-Agent"), "obs-sayline/1.0 (GoogleTranslate)");
    EXPECT_EQ(seen.body, R"({"format":"text","q":"say \"hi\"\n","source":"ko","target":"en"})");

    const std::string log = HostLogCapture::instance().joined();
    EXPECT_EQ(log.find("secret"), std::string::npos) << log;
    EXPECT_NE(log.find("key=REDACTED"), std::string::npos) << log;
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GoogleTranslateProvider] Translating: ko -> en (9 chars)"));
}

TEST_F(GoogleTranslateProviderTest, normalises_codes_before_sending) {
    FakeService service;
    service.reply(200, kOkReply);
    auto provider = makeProvider(service, "k");
    struct Case {
        const char* source;
        const char* target;
        const char* body;
    } cases[] = {
        {"auto", "en-GB", R"({"format":"text","q":"x","target":"en"})"},
        {"", "pt-BR", R"({"format":"text","q":"x","target":"pt"})"},
        {"AUTO", "zh-TW", R"({"format":"text","q":"x","source":"auto","target":"zh-tw"})"},
        {"mni-Mtei", "klingon",
         R"({"format":"text","q":"x","source":"mni-mtei","target":"klingon"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
        ASSERT_TRUE(provider->translate(request("x", c.source, c.target)).isSuccess());
        EXPECT_EQ(service.last().body, c.body);
    }

    // Broken UTF-8 from a recogniser is replaced, not allowed to abort the call.
    ASSERT_TRUE(provider
                    ->translate(request("a\xFF"
                                        "b",
                                        "", "en"))
                    .isSuccess());
    EXPECT_EQ(nlohmann::json::parse(service.last().body)["q"],
              "a\xEF\xBF\xBD"
              "b");

    auto autoTarget = provider->translate(request("x", "ko", "auto"));
    ASSERT_TRUE(autoTarget.isError());
    EXPECT_EQ(autoTarget.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(autoTarget.error().message, "Invalid target language code");
    EXPECT_EQ(service.requestCount(), 5u);
}

TEST_F(GoogleTranslateProviderTest, reply_shapes_and_error_statuses) {
    FakeService service;
    auto provider = makeProvider(service, "k");
    struct Case {
        int status;
        const char* body;
        ErrorCode code;
        const char* message;
    } cases[] = {
        {200, R"({"data":{"translations":[]}})", ErrorCode::TranslationFailed,
         "Invalid Google Translate API response: missing translations"},
        {200, R"({"data":[]})", ErrorCode::TranslationFailed,
         "Invalid Google Translate API response: missing translations"},
        {200, R"({"data":{"translations":[{"translatedText":null}]}})",
         ErrorCode::TranslationFailed,
         "Failed to parse Google Translate API response: [json.exception.type_error.302] type "
         "must be string, but is null"},
        {200, R"({"data":{"translations":[{"translatedText":"a","detectedSourceLanguage":1}]}})",
         ErrorCode::TranslationFailed,
         "Failed to parse Google Translate API response: [json.exception.type_error.302] type "
         "must be string, but is number"},
        {403, R"({"error":{"code":403,"message":"API key not valid."}})",
         ErrorCode::PermissionDenied, "API key not valid."},
        {404, "", ErrorCode::FileNotFound, "HTTP 404"},
        {400, R"({"error":"bad"})", ErrorCode::InvalidArgument,
         "Bad request - check language codes and parameters"},
        {401, R"({"error":{"message":{}}})", ErrorCode::AuthenticationFailed,
         "Invalid authentication - check your API key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        service.reply(c.status, c.body);
        auto result = provider->translate(request("x", "ko", "en"));
        ASSERT_TRUE(result.isError());
        EXPECT_EQ(result.error().code, c.code);
        EXPECT_EQ(result.error().message, c.message);
    }

    service.reply(200, "{");
    auto broken = provider->translate(request("x", "ko", "en"));
    ASSERT_TRUE(broken.isError());
    EXPECT_EQ(broken.error().code, ErrorCode::TranslationFailed);
    EXPECT_EQ(broken.error().message,
              "Failed to parse Google Translate API response: JSON parse error at position 2: "
              "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error "
              "while parsing object key - unexpected end of input; expected string literal");
    service.reply(200, "");
    EXPECT_EQ(provider->translate(request("x", "ko", "en")).error().message,
              "Failed to parse Google Translate API response: Empty JSON string");
    service.reply(200, R"({"data":{"translations":[42]}})");
    auto odd = provider->translate(request("x", "ko", "en"));
    ASSERT_TRUE(odd.isSuccess());
    EXPECT_EQ(odd.value().translatedText, "");
    EXPECT_EQ(odd.value().detectedLanguage, "");
}

TEST_F(GoogleTranslateProviderTest, key_and_length_checks_and_language_lists) {
    FakeService service;
    service.reply(200, kOkReply);
    auto provider = makeProvider(service, "");
    EXPECT_FALSE(provider->hasApiKey());
    auto missing = provider->translate(request("x", "ko", "en"));
    ASSERT_TRUE(missing.isError());
    EXPECT_EQ(missing.error().code, ErrorCode::ApiKeyMissing);
    EXPECT_EQ(missing.error().message,
              "Google Translate API key not configured. Set via setApiKey() or "
              "GOOGLE_TRANSLATE_API_KEY environment variable.");
    {
        ScopedEnv envKey("GOOGLE_TRANSLATE_API_KEY", "env-key");
        EXPECT_TRUE(provider->hasApiKey());
        ASSERT_TRUE(provider->translate(request("x", "ko", "en")).isSuccess());
        EXPECT_EQ(service.last().query, "key=env-key");
    }
    provider->setApiKey("k");
    const std::string limit(GoogleTranslateProvider::kMaxTextBytes, 'a');
    ASSERT_TRUE(provider->translate(request(limit, "ko", "en")).isSuccess());
    auto tooLong = provider->translate(request(limit + "a", "ko", "en"));
    ASSERT_TRUE(tooLong.isError());
    EXPECT_EQ(tooLong.error().message, "Text exceeds maximum length (131072 bytes)");
    EXPECT_EQ(service.requestCount(), 2u);

    EXPECT_EQ(provider->getSupportedSourceLanguages().size(), 135u);
    const auto targets = provider->getSupportedTargetLanguages();
    EXPECT_EQ(targets.size(), 134u);
    EXPECT_EQ(targets.front(), "af");
    EXPECT_FALSE(provider->supportsLanguagePair("ko", "auto"));
    EXPECT_TRUE(provider->supportsLanguagePair("ko", "zh-CN"));
    EXPECT_TRUE(provider->supportsLanguagePair("AUTO", "mni-Mtei"));
    EXPECT_FALSE(provider->supportsLanguagePair("xx", "en"));
}

}  // namespace
}  // namespace obs_sayline
