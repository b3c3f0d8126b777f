#include "stt/whisper_api_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "live/recognised_text.h"
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

constexpr const char* kKey = "sk-test-whisper-4711";
constexpr const char* kPath = "/v1/audio/transcriptions";

constexpr const char* kVerboseReply = R"({
  "task": "transcribe", "language": "korean", "duration": 2.5,
  "text": "안녕하세요 여러분",
  "segments": [
    {"id": 0, "seek": 0, "start": 0.1234, "end": 1.2, "text": "안녕하세요", "tokens": [1, 2],
     "temperature": 0.0, "avg_logprob": -0.1, "compression_ratio": 1.1, "no_speech_prob": 0.01},
    {"id": 1, "seek": 0, "start": 1.2, "end": 2.5, "text": " 여러분", "tokens": [3],
     "temperature": 0.0, "avg_logprob": -0.3, "compression_ratio": 1.1, "no_speech_prob": 0.02}
  ],
  "words": [
    {"word": "안녕하세요", "start": 0.1234, "end": 0.9},
    {"word": "여러분", "start": 1.0, "end": 2.48}
  ]
})";

std::string errorBody(const std::string& message) {
    return R"({"error":{"message":")" + message +
           R"(","type":"invalid_request_error","param":null,"code":null}})";
}

// Checks each upload the way the transcription service does and answers with the configured
// reply; a wrong request gets the service's 400/401 error object naming the problem.
class WhisperApiEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Any prefix: servers of one's own may sit under a path.
        server_.on(
            "POST", std::string(".*") + kPath,
            [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); });
        ASSERT_TRUE(server_.start());
        baseUrl_.emplace(endpoints::kOpenAiEnv, server_.baseUrl());
        HostLogCapture::instance().clear();
    }

    void TearDown() override {
        EXPECT_FALSE(HostLogCapture::instance().containsSubstring(kKey)) << "API key in the log";
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        if (requireKey_ && req.get_header_value("Authorization") != std::string("Bearer ") + kKey) {
            return test::replyJson(res, 401, errorBody("Incorrect API key provided"));
        }
        std::string problem = uploadProblem(req, model_);
        if (!problem.empty()) return test::replyJson(res, 400, errorBody(problem));
        std::lock_guard<std::mutex> lock(mutex_);
        test::replyJson(res, status_, reply_);
    }

    static std::string uploadProblem(const httplib::Request& req, const std::string& model) {
        if (!req.is_multipart_form_data()) return "expected multipart/form-data";
        auto value = [&](const char* name) {
            return req.has_file(name) ? req.get_file_value(name).content : std::string("<none>");
        };
        if (value("model") != model) return "unknown model " + value("model");
        if (value("response_format") != "verbose_json") return "unexpected response_format";
        if (!req.has_file("file")) return "missing file";
        const auto file = req.get_file_value("file");
        if (file.filename != "audio.wav" || file.content_type != "audio/wav") {
            return "file must be audio.wav as audio/wav";
        }
        return test::wavProblems(file.content, 16000, 1);
    }

    void setReply(int status, std::string body) {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = status;
        reply_ = std::move(body);
    }

    std::unique_ptr<WhisperApiEngine> makeEngine(const std::string& language = "",
                                                 bool words = false, const char* key = kKey) {
        auto engine = std::make_unique<WhisperApiEngine>();
        if (key) engine->setApiKey(key);
        EXPECT_TRUE(engine->initialize({SttEngineType::WhisperApi, language, words}).isSuccess());
        return engine;
    }

    std::vector<std::string> partNames() const {
        std::vector<std::string> names;
        for (const auto& part : server_.lastRequest().parts) names.push_back(part.name);
        return names;
    }

    LoopbackServer server_;
    ScopedEnv noEnvKey_{"OPENAI_API_KEY", std::nullopt};
    std::optional<ScopedEnv> baseUrl_;
    std::mutex mutex_;
    int status_ = 200;
    std::string reply_ = kVerboseReply;
    // What the server insists on; set before the first request.
    bool requireKey_ = true;
    std::string model_ = "whisper-1";
};

TEST_F(WhisperApiEngineTest, uploads_model_language_format_and_wav_in_order) {
    auto engine = makeEngine("ko");
    auto result = engine->recognize(test::knownChunk(16000));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;

    auto got = server_.lastRequest();
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.path, kPath);
    EXPECT_EQ(got.query, "");
    EXPECT_EQ(got.header("Authorization"), std::string("Bearer ") + kKey);
    EXPECT_EQ(got.header("User-Agent"), "obs-sayline/1.0 (WhisperAPI)");
    EXPECT_EQ(partNames(),
              (std::vector<std::string>{"model", "language", "response_format", "file"}));
    ASSERT_EQ(got.parts.size(), 4u);
    EXPECT_EQ(got.parts[0].content, "whisper-1");
    EXPECT_EQ(got.parts[1].content, "ko");
    EXPECT_EQ(got.parts[2].content, "verbose_json");
    EXPECT_TRUE(got.parts[0].filename.empty());
    const auto& file = got.parts[3];
    EXPECT_EQ(file.filename, "audio.wav");
    EXPECT_EQ(file.contentType, "audio/wav");
    ASSERT_EQ(file.content.size(), 44u + 2 * 16000);
    EXPECT_EQ(test::wavProblems(file.content, 16000, 1), "");
    EXPECT_EQ(test::pcmSamples(file.content, 44), test::knownPcmFor(16000));

    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [WhisperApiEngine] Sending audio for "
                                            "recognition (1.00 seconds, 32044 bytes)"));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [WhisperApiEngine] Sending via curl_mime: model=whisper-1, fields=4, "
        "wav_size=32044"));
}

TEST_F(WhisperApiEngineTest, verbose_reply_gives_text_language_timing_and_confidence) {
    auto engine = makeEngine();
    auto result = engine->recognize(test::knownChunk(8000));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    const SttResult& r = result.value();
    EXPECT_EQ(r.text, "안녕하세요 여러분");
    EXPECT_EQ(r.language, "korean");
    EXPECT_EQ(r.durationMs, 2500);
    EXPECT_EQ(r.startTimeMs, 123);
    EXPECT_NEAR(r.confidence, (std::exp(-0.1) + std::exp(-0.3)) / 2, 1e-5);
    EXPECT_TRUE(r.isFinal);
    ASSERT_EQ(r.words.size(), 2u);
    EXPECT_EQ(r.words[0].word, "안녕하세요");
    EXPECT_EQ(r.words[0].startMs, 123);
    EXPECT_EQ(r.words[0].endMs, 900);
    EXPECT_EQ(r.words[1].endMs, 2480);
    EXPECT_FLOAT_EQ(r.words[1].confidence, 1.0f);
    EXPECT_TRUE(HostLogCapture::instance().containsSubstring(
        "[WhisperApiEngine] Recognition complete: \"안녕하세요 여러분\" (lang=korean, conf=0.82, "
        "latency="));
    EXPECT_EQ(engine->getStatistics().rfind(R"({"requests":1,"successes":1,"errors":0,)", 0), 0u);
}

TEST_F(WhisperApiEngineTest,
       auto_language_is_not_sent_and_word_timestamps_ask_for_both_granularities) {
    auto engine = makeEngine("auto", true);
    ASSERT_TRUE(engine->recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(partNames(),
              (std::vector<std::string>{"model", "response_format", "timestamp_granularities[]",
                                        "timestamp_granularities[]", "file"}));
    auto parts = server_.lastRequest().parts;
    EXPECT_EQ(parts[2].content, "word");
    EXPECT_EQ(parts[3].content, "segment");

    // Turning word timings off again drops the two parts.
    ASSERT_TRUE(engine->updateConfig({SttEngineType::WhisperApi, "", false}).isSuccess());
    ASSERT_TRUE(engine->recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(partNames(), (std::vector<std::string>{"model", "response_format", "file"}));
}

TEST_F(WhisperApiEngineTest, vocabulary_goes_up_as_the_prompt_part_until_it_is_emptied) {
    WhisperApiEngine engine;
    engine.setApiKey(kKey);
    SttEngineConfig config(SttEngineType::WhisperApi, "ko");
    config.vocabulary = {"Sayline", "Kkachi", "Seoul Tower", "까치"};
    ASSERT_TRUE(engine.initialize(config).isSuccess());
    ASSERT_TRUE(engine.recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(partNames(),
              (std::vector<std::string>{"model", "language", "response_format", "prompt", "file"}));
    const auto prompt = server_.lastRequest().parts[3];
    EXPECT_EQ(prompt.content, "Vocabulary: Sayline, Kkachi, Seoul Tower, 까치.");
    EXPECT_TRUE(prompt.filename.empty());
    EXPECT_FALSE(test::loggedAboveDebug("Kkachi"));

    config.vocabulary.clear();
    ASSERT_TRUE(engine.updateConfig(config).isSuccess());
    ASSERT_TRUE(engine.recognize(test::knownChunk(1600)).isSuccess());
    EXPECT_EQ(partNames(),
              (std::vector<std::string>{"model", "language", "response_format", "file"}));
}

TEST_F(WhisperApiEngineTest, confidence_without_segments_and_with_empty_segments) {
    auto engine = makeEngine();
    setReply(200, R"({"text":"hi","language":"english","duration":0.5})");
    auto noSegments = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(noSegments.isSuccess());
    EXPECT_FLOAT_EQ(noSegments.value().confidence, 0.95f);

    setReply(200, R"({"text":"hi","segments":[]})");
    auto emptySegments = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(emptySegments.isSuccess());
    EXPECT_FLOAT_EQ(emptySegments.value().confidence, 0.0f);
    EXPECT_EQ(emptySegments.value().text, "hi");
}

TEST_F(WhisperApiEngineTest, text_is_discarded_only_when_average_no_speech_exceeds_threshold) {
    auto engine = makeEngine();
    setReply(200, R"({"text":"Thank you for watching!","segments":[
        {"start":0.0,"avg_logprob":-0.2,"no_speech_prob":0.97},
        {"start":1.0,"avg_logprob":-0.2,"no_speech_prob":0.99}]})");
    auto discarded = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(discarded.isSuccess());
    EXPECT_EQ(discarded.value().text, "");
    EXPECT_FLOAT_EQ(discarded.value().confidence, 0.0f);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [WhisperApiEngine] No speech detected (no_speech_prob=0.98 > 0.95), "
        "discarding result: \"Thank you for watching!\""));

    setReply(200, R"({"text":"kept","segments":[{"avg_logprob":0.0,"no_speech_prob":0.95}]})");
    auto kept = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(kept.isSuccess());
    EXPECT_EQ(kept.value().text, "kept");
    EXPECT_FLOAT_EQ(kept.value().confidence, 1.0f);
}

TEST_F(WhisperApiEngineTest, service_errors_map_status_and_use_the_services_message) {
    auto engine = makeEngine("", false, "sk-wrong-key");
    auto denied = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(denied.isError());
    EXPECT_EQ(denied.error().code, ErrorCode::AuthenticationFailed);
    EXPECT_EQ(denied.error().message, "Incorrect API key provided");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [WhisperApiEngine] API error (HTTP 401): Incorrect API key provided"));

    auto good = makeEngine();
    setReply(503, "upstream overloaded");
    auto unavailable = good->recognize(test::knownChunk(1600));
    ASSERT_TRUE(unavailable.isError());
    EXPECT_EQ(unavailable.error().code, ErrorCode::ServiceUnavailable);
    EXPECT_EQ(unavailable.error().message, "HTTP 503: Service Unavailable");
    EXPECT_EQ(good->getStatistics().rfind(R"({"requests":1,"successes":0,"errors":1,)", 0), 0u);
}

TEST_F(WhisperApiEngineTest, unreadable_or_mistyped_2xx_replies_are_recognition_errors) {
    auto engine = makeEngine();
    setReply(200, "");
    auto empty = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(empty.isError());
    EXPECT_EQ(empty.error().code, ErrorCode::SttRecognitionError);
    EXPECT_EQ(empty.error().message, "Failed to parse Whisper API response: Empty JSON string");

    const char* mistyped[] = {
        R"({"text":5})",
        R"({"text":"x","language":["ko"]})",
        R"({"text":"x","duration":"2.5"})",
        R"({"text":"x","words":[1]})",
        R"({"text":"x","words":[{"word":"a","start":"0.1"}]})",
        R"({"text":"x","segments":[{"avg_logprob":"high"}]})",
        R"({"text":"x","segments":["first"]})",
    };
    for (const char* body : mistyped) {
        setReply(200, body);
        auto result = engine->recognize(test::knownChunk(1600));
        ASSERT_TRUE(result.isError()) << body;
        EXPECT_EQ(result.error().code, ErrorCode::SttRecognitionError) << body;
        EXPECT_EQ(result.error().message.rfind(
                      "Failed to parse Whisper API response: [json.exception.type_error.", 0),
                  0u)
            << result.error().message;
    }
    // Every one of them was a delivered reply: successes, not errors.
    EXPECT_EQ(engine->getStatistics().rfind(R"({"requests":8,"successes":8,"errors":0,)", 0), 0u);
}

TEST_F(WhisperApiEngineTest, size_limit_is_checked_on_the_wav_size_before_anything_is_sent) {
    // 44 + 2 * 13107178 = 26214400 bytes exactly: accepted (no key, so it stops at the key).
    auto engine = makeEngine("", false, nullptr);
    auto atLimit = engine->recognize(test::silentChunk(13107178));
    ASSERT_TRUE(atLimit.isError());
    EXPECT_EQ(atLimit.error().code, ErrorCode::ApiKeyMissing);

    auto over = engine->recognize(test::silentChunk(13107179));
    ASSERT_TRUE(over.isError());
    EXPECT_EQ(over.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(over.error().message, "Audio data exceeds maximum size (25MB)");
    EXPECT_EQ(server_.requestCount(), 0u);
    // The refused chunk is not counted at all; the keyless one is a request and an error.
    EXPECT_EQ(engine->getStatistics().rfind(R"({"requests":1,"successes":0,"errors":1,)", 0), 0u);
}

TEST_F(WhisperApiEngineTest, key_comes_from_settings_then_from_the_environment_at_each_request) {
    auto engine = makeEngine("", false, nullptr);
    auto missing = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(missing.isError());
    EXPECT_EQ(missing.error().code, ErrorCode::ApiKeyMissing);
    EXPECT_EQ(missing.error().message,
              "OpenAI API key not configured. Set via setApiKey() or OPENAI_API_KEY environment "
              "variable.");
    EXPECT_EQ(server_.requestCount(), 0u);

    {
        ScopedEnv empty("OPENAI_API_KEY", std::string());
        EXPECT_EQ(engine->recognize(test::knownChunk(1600)).error().code, ErrorCode::ApiKeyMissing);
    }
    {
        ScopedEnv fromEnv("OPENAI_API_KEY", std::string(kKey));
        ASSERT_TRUE(engine->recognize(test::knownChunk(1600)).isSuccess());
        EXPECT_EQ(server_.lastRequest().header("Authorization"), std::string("Bearer ") + kKey);

        // A key from the settings wins over the environment.
        engine->setApiKey("sk-from-settings");
        auto result = engine->recognize(test::knownChunk(1600));
        EXPECT_EQ(server_.lastRequest().header("Authorization"), "Bearer sk-from-settings");
        EXPECT_EQ(result.error().code, ErrorCode::AuthenticationFailed);
    }
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [WhisperApiEngine] API key set"));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("sk-from-settings"));
}

TEST_F(WhisperApiEngineTest, transport_failure_carries_the_engine_prefix) {
    ScopedEnv closed(endpoints::kOpenAiEnv,
                     "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
    auto engine = makeEngine();
    auto result = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::NetworkError);
    EXPECT_EQ(result.error().message,
              "Whisper API request failed: HTTP request failed: Could not connect to server");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [WhisperApiEngine] HTTP request failed: HTTP request failed: Could not "
        "connect to server"));
    EXPECT_EQ(engine->getStatistics().rfind(R"({"requests":1,"successes":0,"errors":1,)", 0), 0u);
}

TEST_F(WhisperApiEngineTest, a_redirect_from_the_service_is_not_followed) {
    // A 307 keeps the method and body: followed, the upload would reach the working service.
    LoopbackServer redirecting;
    redirecting.onAny([this](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(server_.url(kPath), 307);
    });
    ASSERT_TRUE(redirecting.start());
    ScopedEnv moved(endpoints::kOpenAiEnv, redirecting.baseUrl());
    auto engine = makeEngine();
    auto result = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().message, "HTTP 307: Temporary Redirect");
    EXPECT_EQ(redirecting.requestCount(), 1u);
    EXPECT_EQ(server_.requestCount(), 0u);
}

TEST_F(WhisperApiEngineTest, own_server_gets_its_path_prefix_and_model_and_no_key) {
    requireKey_ = false;
    model_ = "Systran/faster-whisper-large-v3";
    auto engine = makeEngine("", false, nullptr);
    engine->setServer(*judgeServerUrl(server_.baseUrl() + "/openai/").accepted);
    engine->setModel(model_);
    // A plain "json" reply: text only, so nothing tells how sure the server is.
    setReply(200, R"({"text":"from my own server"})");

    auto result = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    EXPECT_EQ(result.value().text, "from my own server");
    EXPECT_FALSE(isPhantomResult(result.value().text, result.value().confidence));
    const auto got = server_.lastRequest();
    EXPECT_EQ(got.path, std::string("/openai") + kPath);
    EXPECT_FALSE(got.hasHeader("Authorization"));
    ASSERT_FALSE(got.parts.empty());
    EXPECT_EQ(got.parts[0].name, "model");
    EXPECT_EQ(got.parts[0].content, model_);
    EXPECT_TRUE(HostLogCapture::instance().containsSubstring(
        "Sending via curl_mime: model=Systran/faster-whisper-large-v3, fields=3"));
}

TEST_F(WhisperApiEngineTest, own_server_refusing_a_keyless_request_says_it_wants_a_key) {
    auto engine = makeEngine("", false, nullptr);
    engine->setServer(*judgeServerUrl(server_.baseUrl()).accepted);
    auto result = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::AuthenticationFailed);
    EXPECT_EQ(result.error().message,
              "The server wants an API key (none was sent): Incorrect API key provided");
}

TEST_F(WhisperApiEngineTest, language_is_checked_at_initialize_only) {
    WhisperApiEngine engine;
    auto refused = engine.initialize({SttEngineType::None, "xx", false});
    ASSERT_TRUE(refused.isError());
    EXPECT_EQ(refused.error().code, ErrorCode::SttLanguageNotSupported);
    EXPECT_EQ(refused.error().message, "Language not supported: xx");
    EXPECT_FALSE(engine.isInitialized());
    EXPECT_EQ(engine.getConfig().engineType, SttEngineType::WhisperApi);

    ASSERT_TRUE(engine.initialize({SttEngineType::None, "auto", true}).isSuccess());
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [WhisperApiEngine] Initialized (language=auto, wordTimestamps=true)"));
    EXPECT_TRUE(engine.isLanguageSupported("haw"));
    EXPECT_FALSE(engine.isLanguageSupported(""));
    EXPECT_EQ(engine.getSupportedLanguages().size(), 100u);
}

}  // namespace
}  // namespace obs_sayline
