#include "stt/deepgram_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/endpoint.h"
#include "stt_test_env.h"
#include "stt_wire.h"
#include "support/host_log_capture.h"
#include "support/loopback_server.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::LoopbackServer;
using test::ScopedEnv;

constexpr const char* kKey = "dg-test-0123456789abcdef";
constexpr const char* kPath = "/v1/listen";

constexpr const char* kReply = R"({
  "metadata": {"transaction_key": "deprecated", "request_id": "a1b2", "duration": 3.0,
               "channels": 1, "models": ["nova-3"]},
  "results": {"channels": [{
      "detected_language": "ko", "language_confidence": 0.97,
      "alternatives": [{
        "transcript": "안녕하세요 반갑습니다", "confidence": 0.93,
        "words": [
          {"word": "안녕하세요", "start": 0.08, "end": 0.72, "confidence": 0.98,
           "punctuated_word": "안녕하세요,"},
          {"word": "반갑습니다", "start": 0.8, "end": 2.48, "confidence": 0.91}
        ]}]}]}
})";

std::string deepgramError(const std::string& code, const std::string& message) {
    return R"({"err_code":")" + code + R"(","err_msg":")" + message +
           R"(","request_id":"00000000-0000-0000-0000-000000000000"})";
}

// Accepts a pre-recorded transcription the way the service does: token, content type, known
// query parameters and a readable WAV body.
class DeepgramEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.on("POST", kPath, [this](const httplib::Request& req, httplib::Response& res) {
            handle(req, res);
        });
        ASSERT_TRUE(server_.start());
        baseUrl_.emplace(endpoints::kDeepgramEnv, server_.baseUrl());
        HostLogCapture::instance().clear();
    }

    void TearDown() override {
        EXPECT_FALSE(HostLogCapture::instance().containsSubstring(kKey)) << "API key in the log";
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Authorization") != std::string("Token ") + kKey) {
            return test::replyJson(res, 401, deepgramError("INVALID_AUTH", "Invalid credentials."));
        }
        if (req.get_header_value("Content-Type") != "audio/wav") {
            return test::replyJson(res, 415, deepgramError("UNSUPPORTED_MEDIA", "bad type"));
        }
        for (const auto& [name, value] : req.params) {
            static const std::vector<std::string> known{
                "model",      "language", "detect_language", "punctuate",       "smart_format",
                "utterances", "diarize",  "keyterm",         "profanity_filter"};
            if (std::find(known.begin(), known.end(), name) == known.end()) {
                return test::replyJson(res, 400, deepgramError("INVALID_QUERY_PARAMETER", name));
            }
        }
        std::string wav = test::wavProblems(req.body, 16000, 1);
        if (!wav.empty()) {
            return test::replyJson(res, 400, deepgramError("Bad Request", "corrupt audio: " + wav));
        }
        std::lock_guard<std::mutex> lock(mutex_);
        test::replyJson(res, status_, reply_);
    }

    void setReply(int status, std::string body) {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = status;
        reply_ = std::move(body);
    }

    std::unique_ptr<DeepgramEngine> makeEngine(const std::string& language = "", bool words = false,
                                               const char* key = kKey) {
        auto engine = std::make_unique<DeepgramEngine>();
        if (key) engine->setApiKey(key);
        EXPECT_TRUE(engine->initialize({SttEngineType::Deepgram, language, words}).isSuccess());
        return engine;
    }

    LoopbackServer server_;
    ScopedEnv noEnvKey_{"DEEPGRAM_API_KEY", std::nullopt};
    std::optional<ScopedEnv> baseUrl_;
    std::mutex mutex_;
    int status_ = 200;
    std::string reply_ = kReply;
};

TEST_F(DeepgramEngineTest, posts_wav_with_token_and_exact_query) {
    auto engine = makeEngine("ko");
    auto result = engine->recognize(test::knownChunk(16000));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;

    auto got = server_.lastRequest();
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.path, kPath);
    EXPECT_EQ(got.query, "model=nova-3&language=ko&smart_format=true&punctuate=true");
    EXPECT_EQ(got.header("Authorization"), std::string("Token ") + kKey);
    EXPECT_EQ(got.header("Content-Type"), "audio/wav");
    EXPECT_EQ(got.header("User-Agent"), "obs-sayline/1.0 (Deepgram)");
    ASSERT_EQ(got.body.size(), 32044u);
    EXPECT_EQ(test::wavProblems(got.body, 16000, 1), "");
    EXPECT_EQ(test::pcmSamples(got.body, 44), test::knownPcmFor(16000));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [DeepgramEngine] Sending request: model=nova-3, wav_size=32044, lang=ko"));
}

TEST_F(DeepgramEngineTest, auto_detects_language_and_word_timestamps_add_utterances) {
    auto detect = makeEngine("auto");
    ASSERT_TRUE(detect->recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(server_.lastRequest().query,
              "model=nova-3&detect_language=true&smart_format=true&punctuate=true");

    auto multi = makeEngine("multi", true);
    ASSERT_TRUE(multi->recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(server_.lastRequest().query,
              "model=nova-3&language=multi&smart_format=true&punctuate=true&utterances=true");

    ASSERT_TRUE(multi->updateConfig({SttEngineType::Deepgram, "", false}).isSuccess());
    ASSERT_TRUE(multi->recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(server_.lastRequest().query,
              "model=nova-3&detect_language=true&smart_format=true&punctuate=true");
}

TEST_F(DeepgramEngineTest, vocabulary_goes_as_escaped_keyterms_after_the_profanity_filter) {
    DeepgramEngine engine;
    engine.setApiKey(kKey);
    SttEngineConfig config(SttEngineType::Deepgram, "ko");
    config.vocabulary = {"Sayline", "Seoul Tower", "까치", "R&D=1"};
    config.profanityFilter = true;
    ASSERT_TRUE(engine.initialize(config).isSuccess());
    ASSERT_TRUE(engine.recognize(test::knownChunk(1600)).isSuccess());
    const auto got = server_.lastRequest();
    EXPECT_EQ(got.query,
              "model=nova-3&language=ko&smart_format=true&punctuate=true&profanity_filter=true"
              "&keyterm=Sayline&keyterm=Seoul%20Tower&keyterm=%EA%B9%8C%EC%B9%98"
              "&keyterm=R%26D%3D1");
    std::vector<std::string> keyterms;
    auto [first, last] = got.params.equal_range("keyterm");
    for (auto it = first; it != last; ++it) keyterms.push_back(it->second);
    EXPECT_EQ(keyterms, config.vocabulary);
    EXPECT_FALSE(test::loggedAboveDebug("Sayline"));

    // The filter alone, and neither once both are off again.
    config.vocabulary.clear();
    ASSERT_TRUE(engine.updateConfig(config).isSuccess());
    ASSERT_TRUE(engine.recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(server_.lastRequest().query,
              "model=nova-3&language=ko&smart_format=true&punctuate=true&profanity_filter=true");
    config.profanityFilter = false;
    ASSERT_TRUE(engine.updateConfig(config).isSuccess());
    ASSERT_TRUE(engine.recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(server_.lastRequest().query,
              "model=nova-3&language=ko&smart_format=true&punctuate=true");
}

TEST_F(DeepgramEngineTest, reads_first_alternative_of_first_channel) {
    auto engine = makeEngine();
    auto result = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    const SttResult& r = result.value();
    EXPECT_EQ(r.text, "안녕하세요 반갑습니다");
    EXPECT_EQ(r.language, "ko");
    EXPECT_FLOAT_EQ(r.confidence, 0.93f);
    EXPECT_EQ(r.durationMs, 3000);  // metadata wins over the last word
    EXPECT_EQ(r.startTimeMs, 80);
    ASSERT_EQ(r.words.size(), 2u);
    EXPECT_EQ(r.words[0].word, "안녕하세요,");
    EXPECT_EQ(r.words[1].word, "반갑습니다");
    EXPECT_EQ(r.words[1].endMs, 2480);
    EXPECT_FLOAT_EQ(r.words[1].confidence, 0.91f);

    setReply(200, R"({"results":{"channels":[{"language":"en","alternatives":[
        {"transcript":"hi","confidence":1.7,"words":[{"start":0.5,"end":2.48}]},
        {"transcript":"ignored"}]}]}})");
    auto clamped = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(clamped.isSuccess()) << clamped.error().message;
    EXPECT_FLOAT_EQ(clamped.value().confidence, 1.0f);
    EXPECT_EQ(clamped.value().text, "hi");
    EXPECT_EQ(clamped.value().language, "en");
    ASSERT_EQ(clamped.value().words.size(), 1u);
    EXPECT_EQ(clamped.value().words[0].word, "");
    EXPECT_FLOAT_EQ(clamped.value().words[0].confidence, 1.0f);
    // Without metadata the duration is the end of the last word.
    EXPECT_EQ(clamped.value().durationMs, 2480);
    EXPECT_EQ(clamped.value().startTimeMs, 500);

    setReply(200, R"({"results":{"channels":[{"alternatives":[{"transcript":"t"}]}]}})");
    auto noConfidence = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(noConfidence.isSuccess());
    EXPECT_FLOAT_EQ(noConfidence.value().confidence, 0.9f);
    EXPECT_TRUE(noConfidence.value().words.empty());
}

TEST_F(DeepgramEngineTest, replies_without_speech_or_results) {
    auto engine = makeEngine();
    setReply(200, R"({"metadata":{"duration":1.25},"results":{"channels":[]}})");
    auto noChannels = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(noChannels.isSuccess());
    EXPECT_EQ(noChannels.value().text, "");
    EXPECT_EQ(noChannels.value().durationMs, 1250);
    EXPECT_TRUE(HostLogCapture::instance().containsSubstring(
        "[obs-sayline] [DeepgramEngine] No channels in response (no speech). latency="));

    setReply(200, R"({"results":{"channels":[{"detected_language":"de","alternatives":[]}]}})");
    auto noAlternatives = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(noAlternatives.isSuccess());
    EXPECT_EQ(noAlternatives.value().language, "de");
    EXPECT_TRUE(HostLogCapture::instance().containsSubstring(
        "[obs-sayline] [DeepgramEngine] No alternatives in response. latency="));

    setReply(200, R"({"metadata":{"duration":1.0}})");
    auto missing = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(missing.isError());
    EXPECT_EQ(missing.error().code, ErrorCode::SttRecognitionError);
    EXPECT_EQ(missing.error().message, "Deepgram response missing 'results' field");
}

TEST_F(DeepgramEngineTest, error_message_rule_prefers_err_msg_then_error_then_message) {
    auto engine = makeEngine();
    struct Case {
        int status;
        const char* body;
        ErrorCode code;
        const char* message;
    };
    const Case cases[] = {
        {400, R"({"err_msg":"first","error":"second","message":"third"})",
         ErrorCode::InvalidArgument, "first"},
        {402, R"({"error":"Insufficient credits","message":"m"})", ErrorCode::ApiError,
         "Insufficient credits"},
        {403, R"({"error":{"message":"Project disabled"},"message":"m"})",
         ErrorCode::PermissionDenied, "Project disabled"},
        {404, R"({"message":"No such model"})", ErrorCode::FileNotFound, "No such model"},
        {400, R"({"err_msg":5})", ErrorCode::InvalidArgument, "HTTP 400: Bad Request"},
        {413, "payload too large", ErrorCode::ApiError, "HTTP 413: Payload Too Large"},
    };
    for (const auto& c : cases) {
        setReply(c.status, c.body);
        auto result = engine->recognize(test::knownChunk(1600));
        ASSERT_TRUE(result.isError()) << c.body;
        EXPECT_EQ(result.error().code, c.code) << c.body;
        EXPECT_EQ(result.error().message, c.message);
    }
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [DeepgramEngine] API error (HTTP 400): first"));
}

TEST_F(DeepgramEngineTest, mistyped_2xx_replies_are_recognition_errors) {
    auto engine = makeEngine();
    const char* mistyped[] = {
        R"({"metadata":{"duration":"3.0"},"results":{}})",
        R"({"results":{"channels":[{"detected_language":1}]}})",
        R"({"results":{"channels":[{"alternatives":[{"transcript":["a"]}]}]}})",
        R"({"results":{"channels":[{"alternatives":[{"confidence":"0.9"}]}]}})",
        R"({"results":{"channels":[{"alternatives":[{"words":[{"punctuated_word":1}]}]}]}})",
        R"({"results":{"channels":[{"alternatives":[{"words":["w"]}]}]}})",
    };
    for (const char* body : mistyped) {
        setReply(200, body);
        auto result = engine->recognize(test::knownChunk(1600));
        ASSERT_TRUE(result.isError()) << body;
        EXPECT_EQ(result.error().code, ErrorCode::SttRecognitionError);
        EXPECT_EQ(result.error().message.rfind(
                      "Failed to parse Deepgram response: [json.exception.type_error.", 0),
                  0u)
            << result.error().message;
    }
    EXPECT_EQ(engine->getStatistics().rfind(R"({"requests":6,"successes":6,"errors":0,)", 0), 0u);
}

TEST_F(DeepgramEngineTest, size_limit_is_exact_and_checked_before_sending) {
    auto engine = makeEngine("", false, nullptr);
    // 44 + 2 * 26214378 = 52428800 bytes: accepted, then stopped by the missing key.
    EXPECT_EQ(engine->recognize(test::silentChunk(26214378)).error().code,
              ErrorCode::ApiKeyMissing);
    auto over = engine->recognize(test::silentChunk(26214379));
    EXPECT_EQ(over.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(over.error().message, "Audio data exceeds maximum size (50MB)");
    EXPECT_EQ(server_.requestCount(), 0u);
}

TEST_F(DeepgramEngineTest, key_comes_from_settings_then_the_environment) {
    auto engine = makeEngine("", false, nullptr);
    auto missing = engine->recognize(test::knownChunk(1600));
    EXPECT_EQ(missing.error().code, ErrorCode::ApiKeyMissing);
    EXPECT_EQ(missing.error().message,
              "Deepgram API key not configured. Set via setApiKey() or DEEPGRAM_API_KEY "
              "environment variable.");
    ScopedEnv fromEnv("DEEPGRAM_API_KEY", std::string(kKey));
    EXPECT_TRUE(engine->recognize(test::knownChunk(1600)).isSuccess());
    engine->setApiKey("dg-settings-key");
    EXPECT_EQ(engine->recognize(test::knownChunk(1600)).error().message, "Invalid credentials.");
    EXPECT_EQ(server_.lastRequest().header("Authorization"), "Token dg-settings-key");
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("dg-settings-key"));
}

TEST_F(DeepgramEngineTest, transport_failure_carries_the_engine_prefix) {
    ScopedEnv closed(endpoints::kDeepgramEnv,
                     "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
    auto engine = makeEngine();
    auto result = engine->recognize(test::knownChunk(1600));
    EXPECT_EQ(result.error().code, ErrorCode::NetworkError);
    EXPECT_EQ(result.error().message,
              "Deepgram API request failed: HTTP request failed: Could not connect to server");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [DeepgramEngine] HTTP request failed: HTTP request failed: Could not "
        "connect to server"));
}

}  // namespace
}  // namespace obs_sayline
