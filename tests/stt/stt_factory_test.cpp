#include "stt/stt_factory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "stt/whisper_api_engine.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

constexpr auto kCustomType = static_cast<SttEngineType>(42);

class CustomEngine : public WhisperApiEngine {
public:
    std::string getName() const override { return "Custom"; }
};

SttEngineInfo customInfo(const char* name) {
    SttEngineInfo info;
    info.type = kCustomType;
    info.name = name;
    return info;
}

class SttFactoryTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }
};

TEST_F(SttFactoryTest, creates_a_new_built_in_engine_per_call) {
    auto first = SttFactory::create(SttEngineType::WhisperApi);
    auto second = SttFactory::create(SttEngineType::WhisperApi);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->getName(), "Whisper API");
    EXPECT_EQ(SttFactory::create(SttEngineType::GoogleStt)->getType(), SttEngineType::GoogleStt);
    EXPECT_EQ(SttFactory::create(SttEngineType::Deepgram)->getName(), "Deepgram");
    EXPECT_EQ(HostLogCapture::instance().count(
                  "[obs-sayline] [SttFactory] Creating STT engine: Whisper API"),
              2u);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [SttFactory] Creating STT engine: Google Speech-to-Text"));
}

TEST_F(SttFactoryTest, unregistered_kinds_give_no_engine) {
    EXPECT_EQ(SttFactory::create(SttEngineType::WhisperLocal), nullptr);
    EXPECT_EQ(SttFactory::create(SttEngineType::None), nullptr);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [SttFactory] Unknown STT engine type: 2"));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [SttFactory] Unknown STT engine type: 0"));
}

TEST_F(SttFactoryTest, registration_stores_replaces_and_refuses_empty_creators) {
    EXPECT_FALSE(SttFactory::registerEngine(kCustomType, nullptr, customInfo("Nothing")));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [SttFactory] Cannot register engine with null creator"));

    ASSERT_TRUE(SttFactory::registerEngine(
        kCustomType, [] { return std::make_shared<CustomEngine>(); }, customInfo("Custom")));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [SttFactory] Registered STT engine: Custom"));
    EXPECT_EQ(SttFactory::create(kCustomType)->getName(), "Custom");

    ASSERT_TRUE(SttFactory::registerEngine(
        kCustomType, [] { return std::make_shared<WhisperApiEngine>(); }, customInfo("Again")));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [SttFactory] Engine type 42 already registered, replacing"));
    EXPECT_EQ(SttFactory::create(kCustomType)->getName(), "Whisper API");
}

// The built-ins are registered on the first create() of the process, so this runs in a fresh
// process of its own: a kind registered before then is replaced by the built-in one.
TEST(SttFactoryFirstUse, built_ins_replace_earlier_registrations_on_first_create) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto& log = HostLogCapture::instance();
            SttFactory::registerEngine(
                SttEngineType::WhisperApi, [] { return std::make_shared<CustomEngine>(); },
                customInfo("Early"));
            bool ok = false;
            {
                auto engine = SttFactory::create(SttEngineType::WhisperApi);
                ok = engine && engine->getName() == "Whisper API" &&
                     log.contains(
                         "[obs-sayline] [SttFactory] Engine type 1 already registered, "
                         "replacing") &&
                     log.contains("[obs-sayline] [SttFactory] Built-in STT engines registered");
            }
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace obs_sayline
