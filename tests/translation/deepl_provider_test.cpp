#include "translation/deepl_provider.h"

#include <gtest/gtest.h>

#include <memory>
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
    R"({"translations":[{"detected_source_language":"KO","text":"Hello"}]})";

class DeepLProviderTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }

    // A provider whose free and pro hosts both point at `service` through the override.
    std::unique_ptr<DeepLProvider> makeProvider(FakeService& service, const std::string& key) {
        EXPECT_TRUE(service.started());
        ScopedEnv base(endpoints::kDeepLEnv, service.baseUrl().c_str());
        auto provider = std::make_unique<DeepLProvider>();
        EXPECT_TRUE(provider->initialize(ProviderConfig{}).isSuccess());
        if (!key.empty()) provider->setApiKey(key);
        return provider;
    }

    static TranslationRequest request(const std::string& text, const std::string& source,
                                      const std::string& target) {
        return TranslationRequest{text, source, target, ""};
    }

    ScopedEnv noEnvKey_{"DEEPL_API_KEY", nullptr};
};

TEST_F(DeepLProviderTest, sends_form_body_auth_header_and_reads_reply) {
    FakeService service;
    service.reply(200, kOkReply);
    auto provider = makeProvider(service, "secret-key:fx");

    auto result = provider->translate(request("안녕 a&b=c/~", "ko", "en"));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    EXPECT_EQ(result.value().translatedText, "Hello");
    EXPECT_EQ(result.value().detectedLanguage, "ko");
    EXPECT_FLOAT_EQ(result.value().confidence, 0.95f);
    EXPECT_EQ(result.value().promptTokens, 0);

    const auto seen = service.last();
    EXPECT_EQ(seen.path, "/v2/translate");
    EXPECT_EQ(seen.header("Authorization"), "DeepL-Auth-Key secret-key:fx");
    EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(seen.header("User-Agent"), "obs-sayline/1.0 (DeepL)");
    EXPECT_EQ(seen.body,
              "text=%EC%95%88%EB%85%95%20a%26b%3Dc%2F~&target_lang=EN-US&source_lang=KO"
              "&split_sentences=1");
    const auto fields = test::decodeForm(seen.body);
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0], std::make_pair(std::string("text"), std::string("안녕 a&b=c/~")));
    EXPECT_EQ(fields[1], std::make_pair(std::string("target_lang"), std::string("EN-US")));
    EXPECT_EQ(fields[2], std::make_pair(std::string("source_lang"), std::string("KO")));
    EXPECT_EQ(fields[3], std::make_pair(std::string("split_sentences"), std::string("1")));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("secret-key"));
}

TEST_F(DeepLProviderTest, converts_codes_to_deepl_spelling) {
    FakeService service;
    service.reply(200, kOkReply);
    auto provider = makeProvider(service, "k:fx");
    struct Case {
        const char* source;
        const char* target;
        const char* sentTarget;
        const char* sentSource;  // nullptr: no source_lang field
    } cases[] = {
        {"auto", "pt", "PT-PT", nullptr}, {"AUTO", "zh", "ZH-HANS", nullptr},
        {"", "zh-TW", "ZH-TW", nullptr},  {"en-US", "ja", "JA", "EN-US"},
        {"pt", "en-gb", "EN-GB", "PT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
        ASSERT_TRUE(provider->translate(request("x", c.source, c.target)).isSuccess());
        const auto fields = test::decodeForm(service.last().body);
        ASSERT_GE(fields.size(), 3u);
        EXPECT_EQ(fields[1].second, c.sentTarget);
        if (c.sentSource) {
            EXPECT_EQ(fields[2],
                      std::make_pair(std::string("source_lang"), std::string(c.sentSource)));
        } else {
            EXPECT_EQ(fields[2].first, "split_sentences");
        }
    }
}

TEST_F(DeepLProviderTest, refuses_unsupported_pairs_before_any_request) {
    FakeService service;
    auto provider = makeProvider(service, "k:fx");

    auto autoTarget = provider->translate(request("x", "ko", "auto"));
    ASSERT_TRUE(autoTarget.isError());
    EXPECT_EQ(autoTarget.error().code, ErrorCode::LanguagePairNotSupported);
    EXPECT_EQ(autoTarget.error().message, "Language pair not supported: KO -> ");

    auto unknown = provider->translate(request("x", "", "xx"));
    ASSERT_TRUE(unknown.isError());
    EXPECT_EQ(unknown.error().message, "Language pair not supported: auto -> XX");

    EXPECT_EQ(service.requestCount(), 0u);
    EXPECT_EQ(provider->getStatistics(),
              R"({"requests":0,"successes":0,"errors":0,"averageLatencyMs":0.0,)"
              R"("successRate":0.0,"totalCharsTranslated":0})");
}

// One override replaces both DeepL hosts, so the plan cannot show in the host that a single
// override server sees. The explicit constructor gives each plan its own loopback server.
TEST_F(DeepLProviderTest, key_selects_free_or_pro_host) {
    FakeService freeHost;
    FakeService proHost;
    freeHost.reply(200, kOkReply);
    proHost.reply(200, kOkReply);
    DeepLProvider provider(freeHost.baseUrl(), proHost.baseUrl());
    ASSERT_TRUE(provider.initialize(ProviderConfig{}).isSuccess());
    auto send = [&] { return provider.translate(request("x", "ko", "en")).isSuccess(); };

    provider.setApiKey("ab");  // any key without ":fx" is a pro key
    ASSERT_TRUE(send());
    EXPECT_EQ(proHost.requestCount(), 1u);

    provider.setApiKey("");  // leaves the plan as it was
    {
        ScopedEnv envKey("DEEPL_API_KEY", "from-env");
        ASSERT_TRUE(send());
        EXPECT_EQ(proHost.requestCount(), 2u);
        EXPECT_EQ(proHost.last().header("Authorization"), "DeepL-Auth-Key from-env");
    }
    provider.setApiKey("abc:fx-middle");  // ":fx" anywhere means the free plan
    ASSERT_TRUE(send());
    EXPECT_EQ(freeHost.requestCount(), 1u);

    // A key from the environment never changes the plan: without setApiKey it is free.
    ScopedEnv envKey("DEEPL_API_KEY", "env-pro-looking");
    DeepLProvider fresh(freeHost.baseUrl(), proHost.baseUrl());
    ASSERT_TRUE(fresh.initialize(ProviderConfig{}).isSuccess());
    ASSERT_TRUE(fresh.translate(request("x", "", "de")).isSuccess());
    EXPECT_EQ(freeHost.requestCount(), 2u);
    EXPECT_EQ(proHost.requestCount(), 2u);
}

TEST_F(DeepLProviderTest, base_override_and_config_endpoint_route_requests) {
    {
        ScopedEnv noOverride(endpoints::kDeepLEnv, nullptr);
        DeepLProvider provider;
        provider.setApiKey("pro-key");
        ASSERT_TRUE(provider.initialize(ProviderConfig{}).isSuccess());
        EXPECT_TRUE(HostLogCapture::instance().contains(
            "[obs-sayline] [DeepLProvider] Initialized (endpoint=https://api.deepl.com/v2/"
            "translate, timeout=10000ms)"));
        provider.setApiKey("free-key:fx");
        provider.shutdown();
        ASSERT_TRUE(provider.initialize(ProviderConfig{}).isSuccess());
        EXPECT_TRUE(HostLogCapture::instance().contains(
            "[obs-sayline] [DeepLProvider] Initialized (endpoint=https://api-free.deepl.com/v2/"
            "translate, timeout=10000ms)"));
    }

    FakeService service;
    service.reply(200, kOkReply);
    auto provider = makeProvider(service, "pro-key");
    ASSERT_TRUE(provider->translate(request("x", "ko", "en")).isSuccess());
    provider->setApiKey("free:fx");
    ASSERT_TRUE(provider->translate(request("x", "ko", "en")).isSuccess());
    EXPECT_EQ(service.requestCount(), 2u);  // both plans reach the override

    ProviderConfig custom;
    custom.endpoint = service.baseUrl() + "/custom/translate";
    custom.timeoutMs = 0;
    ASSERT_TRUE(provider->updateConfig(custom).isSuccess());
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [DeepLProvider] Config updated (timeout=10000ms)"));
    ASSERT_TRUE(provider->translate(request("x", "ko", "en")).isSuccess());
    EXPECT_EQ(service.last().path, "/custom/translate");
}

TEST_F(DeepLProviderTest, malformed_replies_fail_without_throwing) {
    FakeService service;
    auto provider = makeProvider(service, "k:fx");
    struct Case {
        const char* body;
        const char* message;
    } cases[] = {
        {R"({"translations":[]})", "DeepL API returned empty translations"},
        {R"({"result":[]})", "Invalid DeepL API response: missing translations array"},
        {R"({"translations":{}})", "Invalid DeepL API response: missing translations array"},
        {"", "Failed to parse DeepL API response: Empty JSON string"},
        {"not json",
         "Failed to parse DeepL API response: JSON parse error at position 2: "
         "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while "
         "parsing value - invalid literal; last read: 'no'"},
        {R"({"translations":[{"text":5}]})",
         "Failed to parse DeepL API response: [json.exception.type_error.302] type must be "
         "string, but is number"},
        {R"({"translations":[{"text":"a","detected_source_language":["KO"]}]})",
         "Failed to parse DeepL API response: [json.exception.type_error.302] type must be "
         "string, but is array"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        service.reply(200, c.body);
        auto result = provider->translate(request("x", "ko", "en"));
        ASSERT_TRUE(result.isError());
        EXPECT_EQ(result.error().code, ErrorCode::TranslationFailed);
        EXPECT_EQ(result.error().message, c.message);
    }

    service.reply(200, R"({"translations":["just a string"]})");
    auto odd = provider->translate(request("x", "ko", "en"));
    ASSERT_TRUE(odd.isSuccess());
    EXPECT_EQ(odd.value().translatedText, "");
}

TEST_F(DeepLProviderTest, error_statuses_map_to_codes_and_messages) {
    FakeService service;
    auto provider = makeProvider(service, "k:fx");
    struct Case {
        int status;
        const char* body;
        ErrorCode code;
        const char* message;
    } cases[] = {
        {403, R"({"message":"Wrong endpoint"})", ErrorCode::PermissionDenied, "Wrong endpoint"},
        {456, "", ErrorCode::ApiError, "Quota exceeded - check your DeepL account"},
        {401, "<html>", ErrorCode::AuthenticationFailed,
         "Invalid authentication - check your API key"},
        {400, R"({"message":7})", ErrorCode::InvalidArgument,
         "Bad request - check your parameters"},
        {418, "", ErrorCode::ApiError, "HTTP 418: I'm a Teapot"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        service.reply(c.status, c.body);
        auto result = provider->translate(request("x", "ko", "en"));
        ASSERT_TRUE(result.isError());
        EXPECT_EQ(result.error().code, c.code);
        EXPECT_EQ(result.error().message, c.message);
        EXPECT_TRUE(
            HostLogCapture::instance().contains("[obs-sayline] [DeepLProvider] API error (HTTP " +
                                                std::to_string(c.status) + "): " + c.message));
    }
}

TEST_F(DeepLProviderTest, mixed_run_statistics) {
    FakeService service;
    service.reply(200, kOkReply);
    service.reply(400, "");
    auto provider = makeProvider(service, "");

    auto missing = provider->translate(request("hello", "ko", "en"));
    ASSERT_TRUE(missing.isError());
    EXPECT_EQ(missing.error().code, ErrorCode::ApiKeyMissing);
    EXPECT_EQ(missing.error().message,
              "DeepL API key not configured. Set via setApiKey() or DEEPL_API_KEY environment "
              "variable.");

    provider->setApiKey("k:fx");
    auto ok = provider->translate(request("hello", "ko", "en"));
    ASSERT_TRUE(ok.isSuccess());
    ASSERT_TRUE(provider->translate(request("hey", "ko", "en")).isError());  // 400

    const std::string limit(DeepLProvider::kMaxTextBytes, 'a');
    auto tooLong = provider->translate(request(limit + "a", "ko", "en"));
    ASSERT_TRUE(tooLong.isError());
    EXPECT_EQ(tooLong.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(tooLong.error().message, "Text exceeds maximum length (131072 bytes)");
    EXPECT_EQ(service.requestCount(), 2u);

    double average = -1;
    EXPECT_EQ(test::statsWithoutLatency(provider->getStatistics(), &average),
              R"({"requests":4,"successes":1,"errors":3,"averageLatencyMs":#,)"
              R"("successRate":25.0,"totalCharsTranslated":5})");
    EXPECT_GE(average, ok.value().latencyMs / 4.0 - 0.05);

    // Exactly the limit is sent.
    service.reply(200, kOkReply);
    ASSERT_TRUE(provider->translate(request(limit, "ko", "en")).isSuccess());
    EXPECT_EQ(test::decodeForm(service.last().body)[0].second.size(), limit.size());
}

TEST_F(DeepLProviderTest, transport_failure_is_network_error) {
    const std::string deadBase = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort());
    DeepLProvider provider(deadBase, deadBase);
    ASSERT_TRUE(provider.initialize(ProviderConfig{}).isSuccess());
    provider.setApiKey("k:fx");
    auto result = provider.translate(request("x", "ko", "en"));
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::NetworkError);
    EXPECT_EQ(result.error().message,
              "DeepL API request failed: HTTP request failed: Could not connect to server");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [DeepLProvider] HTTP request failed: HTTP request failed: Could not "
        "connect to server"));
    EXPECT_EQ(provider.getStatistics(),
              R"({"requests":1,"successes":0,"errors":1,"averageLatencyMs":0.0,)"
              R"("successRate":0.0,"totalCharsTranslated":0})");
}

}  // namespace
}  // namespace obs_sayline
