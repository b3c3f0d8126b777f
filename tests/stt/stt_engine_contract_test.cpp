// Behaviour every engine shares: lifecycle, common checks, streaming refusal, statistics.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "stt/deepgram_engine.h"
#include "stt/google_stt_engine.h"
#include "stt/whisper_api_engine.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

struct WhisperTraits {
    using Engine = WhisperApiEngine;
    static constexpr const char* kClass = "WhisperApiEngine";
    static constexpr const char* kName = "Whisper API";
    static constexpr SttEngineType kType = SttEngineType::WhisperApi;
    static constexpr size_t kLanguages = 100;
    static constexpr const char* kStatsHead = "{";
};
struct GoogleTraits {
    using Engine = GoogleSttEngine;
    static constexpr const char* kClass = "GoogleSttEngine";
    static constexpr const char* kName = "Google Speech-to-Text";
    static constexpr SttEngineType kType = SttEngineType::GoogleStt;
    static constexpr size_t kLanguages = 33;
    static constexpr const char* kStatsHead = R"({"engine":"google_stt","model":"latest_short",)";
};
struct DeepgramTraits {
    using Engine = DeepgramEngine;
    static constexpr const char* kClass = "DeepgramEngine";
    static constexpr const char* kName = "Deepgram";
    static constexpr SttEngineType kType = SttEngineType::Deepgram;
    static constexpr size_t kLanguages = 44;
    static constexpr const char* kStatsHead = "{";
};

template <typename Traits>
class SttEngineContract : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }
    std::string line(const std::string& text) const {
        return std::string("[obs-sayline] [") + Traits::kClass + "] " + text;
    }
    static std::string freshStats() {
        return std::string(Traits::kStatsHead) +
               R"("requests":0,"successes":0,"errors":0,"averageLatencyMs":0.0,"successRate":0.0})";
    }
    typename Traits::Engine engine;
};

using EngineKinds = ::testing::Types<WhisperTraits, GoogleTraits, DeepgramTraits>;
TYPED_TEST_SUITE(SttEngineContract, EngineKinds);

TYPED_TEST(SttEngineContract, identifies_itself_and_lists_its_languages) {
    EXPECT_EQ(this->engine.getType(), TypeParam::kType);
    EXPECT_EQ(this->engine.getName(), TypeParam::kName);
    auto list = this->engine.getSupportedLanguages();
    ASSERT_EQ(list.size(), TypeParam::kLanguages);
    EXPECT_EQ(list.front(), "auto");
    EXPECT_TRUE(this->engine.isLanguageSupported("auto"));
    EXPECT_FALSE(this->engine.isLanguageSupported("AUTO"));
    EXPECT_EQ(this->engine.getStatistics(), this->freshStats());
    EXPECT_EQ(this->engine.getLastMessage(), "");
}

TYPED_TEST(SttEngineContract, recognize_checks_state_then_audio) {
    AudioChunk chunk;
    chunk.sampleRate = 16000;
    chunk.channels = 1;
    chunk.samples.assign(160, 0.1f);
    auto early = this->engine.recognize(chunk);
    ASSERT_TRUE(early.isError());
    EXPECT_EQ(early.error().code, ErrorCode::NotInitialized);
    EXPECT_EQ(early.error().message, std::string(TypeParam::kClass) + " not initialized");

    ASSERT_TRUE(this->engine.initialize({}).isSuccess());
    auto empty = this->engine.recognize(AudioChunk{{}, 16000, 1, 0});
    ASSERT_TRUE(empty.isError());
    EXPECT_EQ(empty.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(empty.error().message, "Empty audio data");
    // Neither check counts as a request.
    EXPECT_EQ(this->engine.getStatistics(), this->freshStats());
}

TYPED_TEST(SttEngineContract, initialize_once_until_shutdown) {
    SttEngineConfig config;
    config.engineType = SttEngineType::None;
    config.language = "auto";
    ASSERT_TRUE(this->engine.initialize(config).isSuccess());
    EXPECT_TRUE(this->engine.isInitialized());
    EXPECT_EQ(this->engine.getConfig().engineType, TypeParam::kType);

    auto again = this->engine.initialize(config);
    ASSERT_TRUE(again.isError());
    EXPECT_EQ(again.error().code, ErrorCode::AlreadyInitialized);
    EXPECT_EQ(again.error().message, std::string(TypeParam::kClass) + " already initialized");

    this->engine.shutdown();
    EXPECT_FALSE(this->engine.isInitialized());
    EXPECT_TRUE(HostLogCapture::instance().contains(
        this->line("Shutting down (stats: " + this->freshStats() + ")")));
    this->engine.shutdown();  // idempotent: no second line
    EXPECT_EQ(HostLogCapture::instance().count(
                  this->line("Shutting down (stats: " + this->freshStats() + ")")),
              1u);
    EXPECT_TRUE(this->engine.initialize(config).isSuccess());
}

TYPED_TEST(SttEngineContract, update_config_copies_language_and_word_timestamps_only) {
    auto early = this->engine.updateConfig({});
    ASSERT_TRUE(early.isError());
    EXPECT_EQ(early.error().code, ErrorCode::NotInitialized);
    EXPECT_EQ(early.error().message, "Engine not initialized");

    ASSERT_TRUE(this->engine.initialize({}).isSuccess());
    // No language check here, and the engine keeps its own type.
    ASSERT_TRUE(this->engine.updateConfig({SttEngineType::None, "xx", true}).isSuccess());
    EXPECT_EQ(this->engine.getConfig().language, "xx");
    EXPECT_TRUE(this->engine.getConfig().wordTimestamps);
    EXPECT_EQ(this->engine.getConfig().engineType, TypeParam::kType);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        this->line("Config updated (language=xx, wordTimestamps=true)")));
    ASSERT_TRUE(this->engine.updateConfig({}).isSuccess());
    EXPECT_TRUE(HostLogCapture::instance().contains(
        this->line("Config updated (language=auto, wordTimestamps=false)")));
}

TYPED_TEST(SttEngineContract, streaming_is_refused) {
    const std::string refused = "Streaming not supported by this engine";
    EXPECT_FALSE(this->engine.supportsStreaming());
    EXPECT_FALSE(this->engine.isStreaming());
    EXPECT_EQ(this->engine.startStreaming().error().message, refused);
    EXPECT_EQ(this->engine.stopStreaming().error().code, ErrorCode::NotSupported);
    EXPECT_EQ(this->engine.processStreamingAudio(AudioChunk{}).error().message, refused);
    EXPECT_EQ(this->engine.finishStreaming().error().code, ErrorCode::NotSupported);
    // Callbacks are only stored.
    this->engine.setResultCallback([](const SttResult&) {});
    this->engine.setErrorCallback([](const Error&) {});
    this->engine.setPartialResultCallback([](const SttResult&) {});
}

}  // namespace
}  // namespace obs_sayline
