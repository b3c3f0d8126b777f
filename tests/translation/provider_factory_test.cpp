#include "translation/provider_factory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "support/host_log_capture.h"
#include "translation/deepl_provider.h"
#include "translation/gemini_provider.h"
#include "translation/google_translate_provider.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

constexpr const char* kFreshStats =
    R"({"requests":0,"successes":0,"errors":0,"averageLatencyMs":0.0,"successRate":0.0,)"
    R"("totalCharsTranslated":0})";

class ProviderFactoryTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }
};

// A provider that only reports its type, for registration tests.
class StubProvider : public DeepLProvider {
public:
    const char* getName() const override { return "Stub"; }
};

ProviderInfo deeplInfo() {
    ProviderInfo info;
    info.type = ProviderType::DeepL;
    info.name = "DeepL";
    return info;
}

TEST_F(ProviderFactoryTest, creates_built_ins_with_their_identity) {
    struct Case {
        ProviderType type;
        const char* name;
        ProviderCategory category;
        bool streaming;
        size_t sources;
        size_t targets;
    } cases[] = {
        {ProviderType::DeepL, "DeepL", ProviderCategory::MachineTranslation, false, 30, 35},
        {ProviderType::GoogleTranslate, "Google Translate", ProviderCategory::MachineTranslation,
         false, 135, 134},
        {ProviderType::Gemini, "Google Gemini", ProviderCategory::CloudLlm, true, 32, 31},
        {ProviderType::OpenAI, "OpenAI GPT", ProviderCategory::CloudLlm, false, 32, 31},
        {ProviderType::Anthropic, "Anthropic Claude", ProviderCategory::CloudLlm, false, 32, 31},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto provider = ProviderFactory::create(c.type);
        ASSERT_TRUE(provider);
        EXPECT_EQ(provider->getType(), c.type);
        EXPECT_STREQ(provider->getName(), c.name);
        EXPECT_EQ(provider->getCategory(), c.category);
        EXPECT_EQ(provider->supportsStreaming(), c.streaming);
        EXPECT_EQ(provider->getSupportedSourceLanguages().size(), c.sources);
        EXPECT_EQ(provider->getSupportedTargetLanguages().size(), c.targets);
        EXPECT_FALSE(provider->isInitialized());
        EXPECT_TRUE(HostLogCapture::instance().contains(
            std::string("[obs-sayline] [ProviderFactory] Creating translation provider: ") +
            c.name));
    }
    for (int type : {0, 6, 7, 42}) {
        EXPECT_FALSE(ProviderFactory::create(static_cast<ProviderType>(type)));
        EXPECT_TRUE(HostLogCapture::instance().contains(
            "[obs-sayline] [ProviderFactory] Unknown provider type: " + std::to_string(type)));
    }
    EXPECT_STREQ(providerTypeName(ProviderType::GoogleTranslate), "google_translate");
    EXPECT_STREQ(providerTypeName(static_cast<ProviderType>(9)), "unknown");
    EXPECT_EQ(providerCategory(ProviderType::Ollama), ProviderCategory::LocalLlm);
    EXPECT_EQ(providerCategory(static_cast<ProviderType>(-1)),
              ProviderCategory::MachineTranslation);
}

TEST_F(ProviderFactoryTest, registration_replaces_and_refuses_empty_creator) {
    ASSERT_TRUE(ProviderFactory::create(ProviderType::DeepL));  // built-ins are in place
    HostLogCapture::instance().clear();

    EXPECT_FALSE(ProviderFactory::registerProvider(ProviderType::DeepL, nullptr, deeplInfo()));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [ProviderFactory] Cannot register provider with null creator"));
    EXPECT_STREQ(ProviderFactory::create(ProviderType::DeepL)->getName(), "DeepL");

    ProviderInfo stub = deeplInfo();
    stub.name = "Stub";
    EXPECT_TRUE(ProviderFactory::registerProvider(
        ProviderType::DeepL, [] { return std::make_shared<StubProvider>(); }, stub));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [ProviderFactory] Provider type 1 already registered, replacing"));
    EXPECT_STREQ(ProviderFactory::create(ProviderType::DeepL)->getName(), "Stub");

    // Put the real one back for the other tests in this process.
    ProviderFactory::registerProvider(
        ProviderType::DeepL, [] { return std::make_shared<DeepLProvider>(); }, deeplInfo());
    EXPECT_STREQ(ProviderFactory::create(ProviderType::DeepL)->getName(), "DeepL");
}

// The built-ins are registered on the first create() of the process, so this runs in a fresh
// child process: an earlier registration for a built-in type is overwritten.
TEST_F(ProviderFactoryTest, first_create_overwrites_an_earlier_built_in_registration) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ProviderInfo stub = deeplInfo();
            stub.name = "Stub";
            ProviderFactory::registerProvider(
                ProviderType::DeepL, [] { return std::make_shared<StubProvider>(); }, stub);
            auto provider = ProviderFactory::create(ProviderType::DeepL);
            const bool replaced = HostLogCapture::instance().contains(
                "[obs-sayline] [ProviderFactory] Provider type 1 already registered, replacing");
            std::exit(provider && std::string(provider->getName()) == "DeepL" && replaced ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ProviderFactoryTest, lifecycle_and_base_operations) {
    GoogleTranslateProvider provider;
    EXPECT_EQ(provider.getStatistics(), kFreshStats);
    EXPECT_EQ(provider.getConfig().type, ProviderType::DeepL);  // untouched until initialize

    ProviderConfig config;
    config.type = ProviderType::Gemini;
    config.timeoutMs = 0;
    config.extraFlag = true;
    EXPECT_EQ(provider.updateConfig(config).error().message, "Provider not initialized");
    auto notReady = provider.translate(TranslationRequest{"x", "", "en", ""});
    EXPECT_EQ(notReady.error().code, ErrorCode::NotInitialized);
    EXPECT_EQ(notReady.error().message, "GoogleTranslateProvider not initialized");

    ASSERT_TRUE(provider.initialize(config).isSuccess());
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GoogleTranslateProvider] Initialized (timeout=10000ms)"));
    EXPECT_EQ(provider.getConfig().type, ProviderType::GoogleTranslate);
    EXPECT_TRUE(provider.getConfig().extraFlag);
    auto again = provider.initialize(config);
    EXPECT_EQ(again.error().code, ErrorCode::AlreadyInitialized);
    EXPECT_EQ(again.error().message, "GoogleTranslateProvider already initialized");

    EXPECT_EQ(provider.translate(TranslationRequest{"", "", "en", ""}).error().message,
              "Empty text for translation");
    EXPECT_EQ(provider.translate(TranslationRequest{"x", "", "", ""}).error().message,
              "Target language not specified");
    auto stream = provider.translateStream(TranslationRequest{"x", "", "en", ""});
    EXPECT_EQ(stream.error().code, ErrorCode::NotSupported);
    EXPECT_EQ(stream.error().message, "Streaming translation not supported by this provider");
    EXPECT_EQ(provider.getLastMessage(), "");

    provider.shutdown();
    EXPECT_TRUE(HostLogCapture::instance().contains(
        std::string("[obs-sayline] [GoogleTranslateProvider] Shutting down (stats: ") +
        kFreshStats + ")"));
    EXPECT_FALSE(provider.isInitialized());
    provider.shutdown();  // idempotent: one line only
    EXPECT_EQ(HostLogCapture::instance().count(
                  std::string("[obs-sayline] [GoogleTranslateProvider] Shutting down (stats: ") +
                  kFreshStats + ")"),
              1u);
    config.timeoutMs = 2500;
    ASSERT_TRUE(provider.initialize(config).isSuccess());
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GoogleTranslateProvider] Initialized (timeout=2500ms)"));

    GeminiProvider gemini;
    EXPECT_EQ(gemini.translateStream(TranslationRequest{"x", "", "en", ""}).error().message,
              "GeminiProvider not initialized");
    EXPECT_EQ(
        gemini.getStatistics(),
        std::string(R"({"provider":"gemini","model":"gemini-2.5-flash",)") + (kFreshStats + 1));
}

}  // namespace
}  // namespace obs_sayline
