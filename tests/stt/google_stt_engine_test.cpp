#include "stt/google_stt_engine.h"

#include <gtest/gtest.h>

#include <mutex>
#include <nlohmann/json.hpp>
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

using nlohmann::json;
using test::HostLogCapture;
using test::LoopbackServer;
using test::ScopedEnv;

// Characters that must be escaped in a query, so the test sees the escaping too.
constexpr const char* kKey = "AIza-test/key+7=";
constexpr const char* kEscapedKey = "AIza-test%2Fkey%2B7%3D";
constexpr const char* kPath = "/v1/speech:recognize";

std::string googleError(int code, const std::string& message, const std::string& status) {
    return json{{"error", {{"code", code}, {"message", message}, {"status", status}}}}.dump();
}

// Validates a synchronous recognize call the way the v1 service does: key, JSON shape, encoding
// and audio content; anything wrong gets the service's error object.
class GoogleSttEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.on("POST", kPath, [this](const httplib::Request& req, httplib::Response& res) {
            handle(req, res);
        });
        ASSERT_TRUE(server_.start());
        baseUrl_.emplace(endpoints::kGoogleSttEnv, server_.baseUrl());
        HostLogCapture::instance().clear();
    }

    void TearDown() override {
        EXPECT_FALSE(HostLogCapture::instance().containsSubstring(kKey)) << "API key in the log";
        EXPECT_FALSE(HostLogCapture::instance().containsSubstring(kEscapedKey));
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("key") != kKey) {
            return test::replyJson(
                res, 400,
                googleError(400, "API key not valid. Please pass a valid API key.",
                            "INVALID_ARGUMENT"));
        }
        std::string problem = bodyProblem(req);
        if (!problem.empty()) {
            return test::replyJson(res, 400, googleError(400, problem, "INVALID_ARGUMENT"));
        }
        std::lock_guard<std::mutex> lock(mutex_);
        test::replyJson(res, status_, reply_);
    }

    static std::string bodyProblem(const httplib::Request& req) {
        if (req.get_header_value("Content-Type") != "application/json") return "not JSON";
        json body = json::parse(req.body, nullptr, false);
        if (!body.is_object() || !body.contains("config") || !body.contains("audio")) {
            return "Invalid JSON payload received.";
        }
        const json& config = body["config"];
        if (config.value("encoding", "") != "LINEAR16") return "unsupported encoding";
        if (!config.contains("sampleRateHertz") || !config["sampleRateHertz"].is_number_integer()) {
            return "sampleRateHertz must be an integer";
        }
        if (!config.contains("languageCode") || !config["languageCode"].is_string()) {
            return "languageCode is required";
        }
        bool ok = false;
        test::base64Decode(body["audio"].value("content", ""), &ok);
        if (!ok) return "audio.content is not valid base64";
        return "";
    }

    void setReply(int status, std::string body) {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = status;
        reply_ = std::move(body);
    }

    std::unique_ptr<GoogleSttEngine> makeEngine(const std::string& language = "",
                                                bool words = false) {
        auto engine = std::make_unique<GoogleSttEngine>();
        EXPECT_TRUE(engine->initialize({SttEngineType::GoogleStt, language, words}).isSuccess());
        return engine;
    }

    LoopbackServer server_;
    ScopedEnv sttKey_{"GOOGLE_STT_API_KEY", std::string(kKey)};
    ScopedEnv genericKey_{"GOOGLE_API_KEY", std::nullopt};
    std::optional<ScopedEnv> baseUrl_;
    std::mutex mutex_;
    int status_ = 200;
    std::string reply_ = R"({"results":[{"alternatives":[{"transcript":"hello","confidence":0.9}],
        "resultEndTime":"1.000s","languageCode":"en-us"}],"totalBilledTime":"1s"})";
};

TEST_F(GoogleSttEngineTest, sends_linear16_json_with_the_key_in_the_query) {
    auto engine = makeEngine("en");
    auto result = engine->recognize(test::knownChunk(16000));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;

    auto got = server_.lastRequest();
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.path, kPath);
    EXPECT_EQ(got.query, std::string("key=") + kEscapedKey);
    EXPECT_EQ(got.header("Content-Type"), "application/json");
    EXPECT_EQ(got.header("User-Agent"), "obs-sayline/1.0 (GoogleSTT)");
    EXPECT_FALSE(got.hasHeader("Authorization"));

    // Compact, members in name order: "audio" first.
    EXPECT_EQ(got.body.rfind(R"({"audio":{"content":")", 0), 0u);
    EXPECT_EQ(got.body.find(' '), std::string::npos);
    json body = json::parse(got.body);
    EXPECT_EQ(body["config"],
              json::parse(R"({"encoding":"LINEAR16","sampleRateHertz":16000,"languageCode":"en-US",
                  "model":"latest_short","enableWordTimeOffsets":false,
                  "enableAutomaticPunctuation":true,"profanityFilter":false,
                  "enableWordConfidence":false,"speechContexts":[]})"));
    bool ok = false;
    auto pcm = test::base64Decode(body["audio"]["content"].get<std::string>(), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(pcm.size(), 32000u);
    EXPECT_EQ(test::pcmSamples(pcm), test::knownPcmFor(16000));

    EXPECT_EQ(result.value().text, "hello");
    EXPECT_EQ(result.value().language, "en-us");
    EXPECT_FLOAT_EQ(result.value().confidence, 0.9f);

    const auto& log = HostLogCapture::instance();
    EXPECT_TRUE(
        log.contains("[obs-sayline] [GoogleSttEngine] Sending audio for recognition "
                     "(1.00 seconds, ~32000 bytes)"));
    EXPECT_TRUE(log.containsSubstring("key=REDACTED")) << log.joined();
}

TEST_F(GoogleSttEngineTest, vocabulary_is_the_speech_context_and_the_filter_follows_the_flag) {
    GoogleSttEngine engine;
    SttEngineConfig config(SttEngineType::GoogleStt, "ko");
    // Google refuses phrases over 100 characters (not bytes); a shorter one after it still goes.
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += "가";
    config.vocabulary = {"Sayline", hundred + "나", hundred};
    config.profanityFilter = true;
    ASSERT_TRUE(engine.initialize(config).isSuccess());
    ASSERT_TRUE(engine.recognize(test::knownChunk(1600)).isSuccess());
    json sent = json::parse(server_.lastRequest().body)["config"];
    EXPECT_EQ(sent["speechContexts"], json::array({{{"phrases", {"Sayline", hundred}}}}));
    EXPECT_EQ(sent["profanityFilter"], true);
    EXPECT_FALSE(test::loggedAboveDebug("Sayline"));

    config.vocabulary.clear();
    config.profanityFilter = false;
    ASSERT_TRUE(engine.updateConfig(config).isSuccess());
    ASSERT_TRUE(engine.recognize(test::knownChunk(1600)).isSuccess());
    sent = json::parse(server_.lastRequest().body)["config"];
    EXPECT_EQ(sent["speechContexts"], json::array());
    EXPECT_EQ(sent["profanityFilter"], false);
}

TEST_F(GoogleSttEngineTest, joins_results_averages_confidence_and_reads_word_times) {
    auto engine = makeEngine("ko-KR", true);
    setReply(200, R"({"results":[
        {"alternatives":[{"transcript":"hello","confidence":0.8,"words":[
            {"startTime":"1.500s","endTime":"2s","word":"hello","confidence":0.7},
            {"startTime":"1.5","endTime":"","word":"odd"}]},
            {"transcript":"yellow","confidence":0.1}],"languageCode":"en-us"},
        {"alternatives":[]},
        {"alternatives":[{"transcript":"world","confidence":0.6,"words":[
            {"startTime":"2.100s","endTime":"2.750s","word":"world"}]}]}
    ]})");
    auto result = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(result.isSuccess()) << result.error().message;
    const SttResult& r = result.value();
    EXPECT_EQ(r.text, "hello world");
    EXPECT_NEAR(r.confidence, 0.7f, 1e-6);
    EXPECT_EQ(r.language, "en-us");
    ASSERT_EQ(r.words.size(), 3u);
    EXPECT_EQ(r.words[0].startMs, 1500);
    EXPECT_EQ(r.words[0].endMs, 2000);
    EXPECT_FLOAT_EQ(r.words[0].confidence, 0.7f);
    EXPECT_EQ(r.words[1].word, "odd");
    EXPECT_EQ(r.words[1].startMs, 0);
    EXPECT_EQ(r.words[1].endMs, 0);
    EXPECT_FLOAT_EQ(r.words[1].confidence, 0.95f);
    EXPECT_EQ(r.startTimeMs, 1500);
    EXPECT_EQ(r.durationMs, 2750);

    json sent = json::parse(server_.lastRequest().body);
    EXPECT_EQ(sent["config"]["enableWordTimeOffsets"], true);
    EXPECT_EQ(sent["config"]["enableWordConfidence"], true);
    EXPECT_EQ(sent["config"]["languageCode"], "ko-KR");
}

TEST_F(GoogleSttEngineTest, no_results_is_silence_in_the_requested_language) {
    auto engine = makeEngine("auto");
    setReply(200, R"({"totalBilledTime":"3s","requestId":"123"})");
    auto result = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(result.isSuccess());
    EXPECT_EQ(result.value().text, "");
    EXPECT_FLOAT_EQ(result.value().confidence, 0.0f);
    EXPECT_EQ(result.value().language, "ko-KR");
    EXPECT_EQ(json::parse(server_.lastRequest().body)["config"]["languageCode"], "ko-KR");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [GoogleSttEngine] No speech detected in audio"));

    // Alternatives without a confidence count as 0.95.
    setReply(200, R"({"results":[{"alternatives":[{"transcript":"hi"}]}]})");
    auto noConfidence = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(noConfidence.isSuccess());
    EXPECT_FLOAT_EQ(noConfidence.value().confidence, 0.95f);
}

TEST_F(GoogleSttEngineTest, error_replies_use_the_service_message_or_the_status_hint) {
    auto engine = makeEngine();
    setReply(403, "");
    auto denied = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(denied.isError());
    EXPECT_EQ(denied.error().code, ErrorCode::PermissionDenied);
    EXPECT_EQ(denied.error().message,
              "Permission denied - enable Speech-to-Text API in Google Cloud Console");

    setReply(429,
             googleError(429, "Quota exceeded for quota metric 'Requests'", "RESOURCE_EXHAUSTED"));
    auto quota = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(quota.isError());
    EXPECT_EQ(quota.error().code, ErrorCode::RateLimitExceeded);
    EXPECT_EQ(quota.error().message, "Quota exceeded for quota metric 'Requests'");

    setReply(418, "<html>teapot</html>");
    EXPECT_EQ(engine->recognize(test::knownChunk(1600)).error().message, "HTTP 418: I'm a Teapot");

    // An error object inside a 2xx reply is a recognition error, counted as a success.
    setReply(200, R"({"error":{"code":3,"message":"Sample rate mismatch"}})");
    auto inline2xx = engine->recognize(test::knownChunk(1600));
    ASSERT_TRUE(inline2xx.isError());
    EXPECT_EQ(inline2xx.error().code, ErrorCode::SttRecognitionError);
    EXPECT_EQ(inline2xx.error().message, "Sample rate mismatch");
    setReply(200, R"({"error":"bad"})");
    EXPECT_EQ(engine->recognize(test::knownChunk(1600)).error().message, "Google STT error");
    EXPECT_EQ(engine->getStatistics().rfind(
                  R"({"engine":"google_stt","model":"latest_short","requests":5,"successes":2,)"
                  R"("errors":3,"averageLatencyMs":)",
                  0),
              0u)
        << engine->getStatistics();
}

TEST_F(GoogleSttEngineTest, mistyped_2xx_replies_are_recognition_errors) {
    auto engine = makeEngine("", true);
    const char* mistyped[] = {
        R"({"results":[{"alternatives":[{"transcript":5}]}]})",
        R"({"results":[{"alternatives":[{"transcript":"a","confidence":"high"}]}]})",
        R"({"results":[{"alternatives":[{"transcript":"a","words":[{"startTime":1.5}]}]}]})",
        R"({"results":[{"alternatives":[{"transcript":"a"}],"languageCode":7}]})",
        R"({"error":{"message":42}})",
    };
    for (const char* body : mistyped) {
        setReply(200, body);
        auto result = engine->recognize(test::knownChunk(1600));
        ASSERT_TRUE(result.isError()) << body;
        EXPECT_EQ(result.error().code, ErrorCode::SttRecognitionError);
        EXPECT_EQ(result.error().message.rfind(
                      "Failed to parse Google STT response: [json.exception.type_error.", 0),
                  0u)
            << result.error().message;
    }
    setReply(200, "{not json");
    EXPECT_EQ(
        engine->recognize(test::knownChunk(1600))
            .error()
            .message.rfind("Failed to parse Google STT response: JSON parse error at position ", 0),
        0u);
    EXPECT_EQ(engine->getStatistics().rfind(
                  R"({"engine":"google_stt","model":"latest_short","requests":6,"successes":6,)"
                  R"("errors":0,)",
                  0),
              0u);
}

TEST_F(GoogleSttEngineTest, duration_limit_comes_before_the_size_limit) {
    ScopedEnv noKey("GOOGLE_STT_API_KEY", std::nullopt);
    auto engine = makeEngine();
    // Exactly 60 s passes both checks and stops only at the missing key.
    EXPECT_EQ(engine->recognize(test::silentChunk(960000)).error().code, ErrorCode::ApiKeyMissing);

    auto tooLong = engine->recognize(test::silentChunk(984000));  // 61.5 s
    EXPECT_EQ(tooLong.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(tooLong.error().message,
              "Audio too long for synchronous recognition (max 60 seconds). Duration: 61s");
    // 10 MB of PCM at 16 kHz is 327 s: the duration message wins.
    EXPECT_EQ(
        engine->recognize(test::silentChunk(5242880)).error().message.rfind("Audio too long", 0),
        0u);

    // At 96 kHz the size limit is reached within 60 s: 2 * 5242880 bytes pass, one more fails.
    EXPECT_EQ(engine->recognize(test::silentChunk(5242880, 96000)).error().code,
              ErrorCode::ApiKeyMissing);
    auto tooBig = engine->recognize(test::silentChunk(5242881, 96000));
    EXPECT_EQ(tooBig.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(tooBig.error().message, "Audio data too large for inline request (max 10 MB)");
    EXPECT_EQ(server_.requestCount(), 0u);
}

TEST_F(GoogleSttEngineTest, key_comes_from_settings_then_each_environment_variable_in_order) {
    auto engine = makeEngine();
    {
        ScopedEnv none("GOOGLE_STT_API_KEY", std::nullopt);
        auto missing = engine->recognize(test::knownChunk(1600));
        EXPECT_EQ(missing.error().code, ErrorCode::ApiKeyMissing);
        EXPECT_EQ(missing.error().message,
                  "Google STT API key not configured. Set via setApiKey() or GOOGLE_STT_API_KEY / "
                  "GOOGLE_API_KEY environment variable.");
        ScopedEnv generic("GOOGLE_API_KEY", std::string(kKey));
        EXPECT_TRUE(engine->recognize(test::knownChunk(1600)).isSuccess());
        ScopedEnv emptyFirst("GOOGLE_STT_API_KEY", std::string());
        EXPECT_TRUE(engine->recognize(test::knownChunk(1600)).isSuccess());
    }
    {
        // The STT-specific variable wins over the generic one.
        ScopedEnv generic("GOOGLE_API_KEY", std::string("generic-key"));
        EXPECT_TRUE(engine->recognize(test::knownChunk(1600)).isSuccess());
        engine->setApiKey("settings-key");
        EXPECT_EQ(engine->recognize(test::knownChunk(1600)).error().message,
                  "API key not valid. Please pass a valid API key.");
        EXPECT_EQ(server_.lastRequest().param("key"), "settings-key");
    }
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("settings-key"));
}

TEST_F(GoogleSttEngineTest, transport_failure_carries_the_engine_prefix) {
    ScopedEnv closed(endpoints::kGoogleSttEnv,
                     "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
    auto engine = makeEngine();
    auto result = engine->recognize(test::knownChunk(1600));
    EXPECT_EQ(result.error().code, ErrorCode::NetworkError);
    EXPECT_EQ(result.error().message,
              "Google STT API request failed: HTTP request failed: Could not connect to server");
}

TEST(GoogleSttLanguages, short_codes_map_to_region_tags) {
    EXPECT_EQ(GoogleSttEngine::mapLanguage("ko"), "ko-KR");
    EXPECT_EQ(GoogleSttEngine::mapLanguage("en"), "en-US");
    EXPECT_EQ(GoogleSttEngine::mapLanguage("pt"), "pt-BR");
    EXPECT_EQ(GoogleSttEngine::mapLanguage("he"), "he-IL");
    EXPECT_EQ(GoogleSttEngine::mapLanguage("en-GB"), "en-GB");
    EXPECT_EQ(GoogleSttEngine::mapLanguage("xx"), "xx");
    EXPECT_EQ(GoogleSttEngine::mapLanguage(""), "ko-KR");
    EXPECT_EQ(GoogleSttEngine::mapLanguage("auto"), "ko-KR");

    GoogleSttEngine engine;
    EXPECT_TRUE(engine.isLanguageSupported("en"));
    EXPECT_TRUE(engine.isLanguageSupported(""));
    EXPECT_TRUE(engine.isLanguageSupported("zh-TW"));
    EXPECT_FALSE(engine.isLanguageSupported("xx"));
    EXPECT_FALSE(engine.isLanguageSupported("en-ZZ"));
    // No language check at initialize.
    EXPECT_TRUE(engine.initialize({SttEngineType::None, "xx", false}).isSuccess());
    EXPECT_EQ(engine.getConfig().engineType, SttEngineType::GoogleStt);
}

}  // namespace
}  // namespace obs_sayline
