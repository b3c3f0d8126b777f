// What a capture's setup finds wrong with the services it is given, for the source's status.

#include "live/service_setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/host_log_capture.h"
#include "translation/fake_service.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::ScopedEnv;

// "code service" for each problem, in order.
std::vector<std::string> named(const std::vector<SetupProblem>& problems) {
    std::vector<std::string> out;
    for (const auto& p : problems)
        out.push_back(std::string(statusCodeName(p.code)) + " " + p.service);
    return out;
}

class ServiceSetupTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }

    ScopedEnv noOpenAiKey_{"OPENAI_API_KEY", nullptr};
    ScopedEnv noAnthropicKey_{"ANTHROPIC_API_KEY", nullptr};
    ScopedEnv noDeepgramKey_{"DEEPGRAM_API_KEY", nullptr};
};

TEST_F(ServiceSetupTest, missing_keys_and_refused_servers_name_their_service) {
    ServiceChoice speech;
    speech.engine = SttEngineType::WhisperApi;
    EXPECT_EQ(named(setupProblems(prepareSttEngine(speech))),
              (std::vector<std::string>{"api_key_missing Whisper API"}));
    // A server of one's own may want no key.
    speech.whisperServerUrl = "http://127.0.0.1:8000";
    EXPECT_TRUE(setupProblems(prepareSttEngine(speech)).empty());
    // Refused, the default server is used, which wants one.
    speech.whisperServerUrl = "http://203.0.113.5:8000";
    EXPECT_EQ(named(setupProblems(prepareSttEngine(speech))),
              (std::vector<std::string>{"server_url_refused Whisper API",
                                        "api_key_missing Whisper API"}));
    speech.engine = SttEngineType::Deepgram;
    EXPECT_EQ(named(setupProblems(prepareSttEngine(speech))),
              (std::vector<std::string>{"api_key_missing Deepgram"}));
    EXPECT_EQ(named(streamingSetupProblems(speech)),
              (std::vector<std::string>{"api_key_missing Deepgram"}));

    ServiceChoice translation;
    translation.provider = ProviderType::Anthropic;
    EXPECT_EQ(named(setupProblems(prepareTranslation(translation))),
              (std::vector<std::string>{"api_key_missing Anthropic Claude"}));
    translation.provider = ProviderType::OpenAI;
    translation.translationServerUrl = "http://localhost:11434";
    EXPECT_TRUE(setupProblems(prepareTranslation(translation)).empty());
    translation.translationServerUrl = "http://203.0.113.9:11434";
    const auto refused = setupProblems(prepareTranslation(translation));
    ASSERT_EQ(named(refused), (std::vector<std::string>{"server_url_refused Translation"}));
    EXPECT_EQ(refused[0].reason.rfind("plain http:// goes only to this computer", 0), 0u);
}

}  // namespace
}  // namespace obs_sayline
