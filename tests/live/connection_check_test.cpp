// The translation half of "Test connection": the provider prepared as a capture would, one
// sentence sent.

#include "live/connection_check.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "net/endpoint.h"
#include "support/host_log_capture.h"
#include "translation/fake_service.h"
#include "translation/translation_provider.h"

namespace obs_sayline {
namespace {

using test::FakeService;
using test::HostLogCapture;
using test::ScopedEnv;

ServiceChoice openAiServer(const std::string& url) {
    ServiceChoice choice;
    choice.provider = ProviderType::OpenAI;
    choice.enableTranslation = false;  // the button tests the choice before it is switched on
    choice.translationServerUrl = url;
    choice.translationModel = "qwen2.5:7b";
    return choice;
}

class TranslationCheckTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }

    ScopedEnv noKey_{"OPENAI_API_KEY", nullptr};
};

TEST_F(TranslationCheckTest, local_server_translates_the_test_sentence) {
    FakeService service;
    ASSERT_TRUE(service.started());
    service.reply(200, R"({"id":"chatcmpl-1","object":"chat.completion","choices":[{"index":0,)"
                       R"("message":{"role":"assistant","content":"Hello, I am testing )"
                       R"(subtitle translation."},"finish_reason":"stop"}]})");

    const ConnectionCheck check =
        checkTranslationService(openAiServer(service.baseUrl() + "/llm"), "en");
    ASSERT_TRUE(check.ok) << check.error;
    EXPECT_EQ(check.answer, "Hello, I am testing subtitle translation.");
    EXPECT_GE(check.roundTripMs, 0);

    const auto seen = service.last();
    EXPECT_EQ(seen.path, "/llm/v1/chat/completions");
    EXPECT_FALSE(seen.hasHeader("Authorization"));
    const auto body = nlohmann::json::parse(seen.body);
    EXPECT_EQ(body["model"], "qwen2.5:7b");
    EXPECT_EQ(body["messages"][1]["content"], "안녕하세요, 자막 번역을 시험하고 있습니다.");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] Translation API key not set - none is sent to the server"));

    service.reply(404, R"({"error":{"message":"model 'qwen2.5:7b' not found"}})");
    const ConnectionCheck missing = checkTranslationService(openAiServer(service.baseUrl()), "de");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "model 'qwen2.5:7b' not found");
    EXPECT_EQ(nlohmann::json::parse(service.last().body)["messages"][1]["content"],
              "Hello, this is a test of the subtitle translation.");
}

TEST_F(TranslationCheckTest, refused_server_url_sends_nothing_anywhere) {
    const ServiceChoice choice = openAiServer("http://203.0.113.9:11434/");
    const ConnectionCheck check = checkTranslationService(choice, "en");
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.error.rfind("Server URL refused: plain http:// goes only to this computer", 0),
              0u)
        << check.error;
    EXPECT_TRUE(HostLogCapture::instance().containsSubstring(
        "[obs-sayline] [Translation] Ignoring Server URL (translation_base_url): plain http://"));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("203.0.113.9"));

    ServiceChoice live = choice;
    live.enableTranslation = true;
    EXPECT_EQ(prepareTranslator(live), nullptr);

    ServiceChoice none;
    EXPECT_EQ(checkTranslationService(none, "en").error, "no translation service to test");
}

}  // namespace
}  // namespace obs_sayline
