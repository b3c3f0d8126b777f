// Deepgram's live stream: the URL made from a service base, and the reading of its messages.

#include "stt/deepgram_live_protocol.h"

#include <gtest/gtest.h>

#include "stt/vocabulary.h"
#include "support/deepgram_live_wire.h"

namespace obs_sayline {
namespace {

TEST(DeepgramLiveProtocolTest, the_url_carries_the_stream_format_and_the_pause) {
    EXPECT_EQ(deepgramLiveUrl("https://api.deepgram.com", "ko", 700),
              "wss://api.deepgram.com/v1/listen?model=nova-3&language=ko&encoding=linear16"
              "&sample_rate=16000&channels=1&interim_results=true&punctuate=true"
              "&smart_format=true&endpointing=700");
    // A loopback override stays in clear text; automatic detection streams multilingual; a
    // language from a scene file cannot add parameters.
    const std::string local = deepgramLiveUrl("http://127.0.0.1:8080", "auto", 500);
    EXPECT_EQ(local.rfind("ws://127.0.0.1:8080/v1/listen?model=nova-3&language=multi&", 0), 0u)
        << local;
    EXPECT_NE(deepgramLiveUrl("https://h", "en&diarize=true", 500).find("language=en%26diarize"),
              std::string::npos);
    // Keyterms and the profanity filter follow the stream's own parameters.
    const std::string vocabulary =
        deepgramVocabularyQuery(deepgram_live::kModel, {"Sayline", "Seoul Tower"}, true).text;
    EXPECT_EQ(deepgramLiveUrl("https://h", "en", 500, vocabulary),
              "wss://h/v1/listen?model=nova-3&language=en&encoding=linear16&sample_rate=16000"
              "&channels=1&interim_results=true&punctuate=true&smart_format=true&endpointing=500"
              "&profanity_filter=true&keyterm=Sayline&keyterm=Seoul%20Tower");
}

TEST(DeepgramLiveProtocolTest, results_are_read_and_other_messages_named) {
    auto read = parseDeepgramLiveMessage(test::deepgramResults(
        {"Hello there.", true, true, true, 1.25, 0.75, 0.875}));
    ASSERT_TRUE(read.isSuccess()) << read.error().message;
    const LiveResult& r = read.value().result;
    EXPECT_EQ(read.value().kind, LiveMessageKind::Results);
    EXPECT_EQ(r.transcript, "Hello there.");
    EXPECT_FLOAT_EQ(r.confidence, 0.875f);
    EXPECT_TRUE(r.isFinal && r.speechFinal && r.fromFinalize);
    EXPECT_DOUBLE_EQ(r.startSeconds, 1.25);
    EXPECT_DOUBLE_EQ(r.durationSeconds, 0.75);

    EXPECT_FALSE(parseDeepgramLiveMessage(test::deepgramInterim("hel")).value().result.isFinal);
    EXPECT_EQ(parseDeepgramLiveMessage(R"({"type":"UtteranceEnd","last_word_end":2.1})")
                  .value()
                  .kind,
              LiveMessageKind::UtteranceEnd);
    auto error = parseDeepgramLiveMessage(
        R"({"type":"Error","description":"Failed to decode audio","variant":"x"})");
    EXPECT_EQ(error.value().kind, LiveMessageKind::Error);
    EXPECT_EQ(error.value().details, "Failed to decode audio");
    EXPECT_EQ(parseDeepgramLiveMessage(R"({"type":"Shiny"})").value().type, "Shiny");
}

TEST(DeepgramLiveProtocolTest, malformed_messages_are_errors_not_exceptions) {
    for (const char* text : {
             "", "{not json", "[1,2]", R"({"kind":"Results"})", R"({"type":7})",
             R"({"type":"Results"})", R"({"type":"Results","channel":{"alternatives":[]}})",
             R"({"type":"Results","channel":{"alternatives":[{"transcript":3}]}})",
             R"({"type":"Results","channel":{"alternatives":[{"transcript":"a","confidence":"x"}]}})",
             R"({"type":"Results","is_final":"yes","channel":{"alternatives":[{"transcript":"a"}]}})",
             R"({"type":"Results","start":[],"channel":{"alternatives":[{"transcript":"a"}]}})",
         }) {
        auto read = parseDeepgramLiveMessage(text);
        ASSERT_TRUE(read.isError()) << text;
        EXPECT_EQ(read.error().code, ErrorCode::SttRecognitionError) << text;
        EXPECT_EQ(read.error().message.rfind("Malformed Deepgram message: ", 0), 0u) << text;
    }
}

}  // namespace
}  // namespace obs_sayline
