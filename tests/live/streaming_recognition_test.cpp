// Streaming recognition against a loopback server that speaks Deepgram's live protocol: what
// goes over the socket and when, how results become lines on the sinks, and what a drop, a
// refused key and a silent service do.

#include "live/streaming_recognition.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/worker_registry.h"
#include "stt/audio_encoding.h"
#include "support/deepgram_live_wire.h"
#include "support/host_log_capture.h"
#include "support/module_workers.h"
#include "support/websocket_server.h"

namespace obs_sayline {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using test::Received;

constexpr milliseconds kKeepAlive{150};

struct RecordingSink : ISubtitleSink {
    const char* name() const override { return "recording"; }
    void deliver(const FinishedSubtitle& subtitle) override {
        std::lock_guard<std::mutex> lock(mutex);
        got.push_back(subtitle);
        changed.notify_all();
    }
    bool waitForFinished(size_t count, milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return finishedLocked().size() >= count; });
    }
    std::vector<FinishedSubtitle> finished() {
        std::lock_guard<std::mutex> lock(mutex);
        return finishedLocked();
    }
    std::vector<std::string> interim() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> texts;
        for (const auto& s : got) {
            if (s.interim) texts.push_back(s.text);
        }
        return texts;
    }
    std::vector<FinishedSubtitle> finishedLocked() const {
        std::vector<FinishedSubtitle> done;
        for (const auto& s : got) {
            if (!s.interim) done.push_back(s);
        }
        return done;
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<FinishedSubtitle> got;
};

bool logged(const std::string& needle, milliseconds timeout = seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!test::HostLogCapture::instance().containsSubstring(needle)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

size_t loggedCount(const std::string& needle) {
    size_t n = 0;
    for (const auto& line : test::HostLogCapture::instance().lines()) {
        n += line.text.find(needle) != std::string::npos ? 1 : 0;
    }
    return n;
}

bool isText(const Received& m, const char* text) { return !m.binary && m.bytes == text; }

size_t countOf(const std::vector<Received>& messages, const char* text) {
    size_t n = 0;
    for (const auto& m : messages) n += isText(m, text) ? 1 : 0;
    return n;
}

size_t binaries(const std::vector<Received>& messages, size_t connection) {
    size_t n = 0;
    for (const auto& m : messages) n += m.binary && m.connection == connection ? 1 : 0;
    return n;
}

class StreamingRecognitionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::HostLogCapture::instance().clear();
        // The service closes the stream once it has been told to.
        server_.onMessage([this](test::Peer& peer, const Received& got) {
            if (isText(got, R"({"type":"CloseStream"})")) peer.close();
            if (reply_) reply_(peer, got);
        });
    }
    void TearDown() override {
        recognition_.reset();
        test::joinModuleWorkers();
    }

    void start(milliseconds closeWait = milliseconds(800)) {
        ASSERT_TRUE(server_.start());
        StreamingSetup streaming;
        streaming.baseUrl = server_.httpBase();
        streaming.apiKey = "dg-secret-key";
        streaming.language = "en";
        streaming.pauseMs = 500;
        streaming.keepAliveEvery = kKeepAlive;
        streaming.closeWait = closeWait;
        streaming.retry = RetryPolicy::quickPolicy();
        streaming.vocabulary = vocabulary_;
        streaming.profanityFilter = profanityFilter_;
        auto setup = std::make_shared<RecognitionSetup>();
        setup->enableTranslation = false;
        setup->sourceLanguage = "en";
        setup->displayMs = 3000;
        setup->wordRules = rules_;
        sinks_->add(sink_);
        recognition_ = std::make_shared<StreamingRecognition>(
            setup, std::make_shared<SourceShared>(), sinks_, streaming);
        ASSERT_TRUE(recognition_->start());
    }

    // A 100 ms piece whose samples follow a ramp, so their bytes can be checked.
    SpeechChunk piece(uint64_t startMs) const {
        SpeechChunk chunk;
        chunk.startMs = startMs;
        for (size_t i = 0; i < 1600; ++i) chunk.samples.push_back((float(i % 200) - 100) / 250);
        return chunk;
    }
    void offerPieces(size_t count, uint64_t startMs) {
        for (size_t i = 0; i < count; ++i) {
            SpeechChunk chunk = piece(startMs + 100 * i);
            ASSERT_TRUE(recognition_->offer(chunk));
        }
    }
    bool waitForBinaries(size_t count, size_t connection = 0) {
        return server_.waitFor(
            [&](const auto& messages) { return binaries(messages, connection) >= count; },
            seconds(5));
    }

    std::vector<std::string> vocabulary_;
    bool profanityFilter_ = false;
    WordRules rules_;
    test::WebSocketServer server_;
    std::function<void(test::Peer&, const Received&)> reply_;
    std::shared_ptr<SubtitleSinks> sinks_ = std::make_shared<SubtitleSinks>();
    std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
    std::shared_ptr<StreamingRecognition> recognition_;
};

TEST_F(StreamingRecognitionTest, speech_goes_as_pcm_frames_then_finalize_keepalive_and_closestream) {
    start();
    offerPieces(3, 1000);
    recognition_->speechPaused();
    ASSERT_TRUE(waitForBinaries(3));
    // Silence: only KeepAlive, at its pace.
    ASSERT_TRUE(server_.waitFor(
        [](const auto& m) { return countOf(m, R"({"type":"KeepAlive"})") >= 3; }, seconds(5)));
    SpeechChunk leftover = piece(1300);
    leftover.samples.resize(800);
    recognition_->finish(leftover);
    ASSERT_TRUE(server_.waitFor(
        [](const auto& m) { return countOf(m, R"({"type":"CloseStream"})") == 1; }, seconds(5)));
    EXPECT_TRUE(recognition_->waitIdle(seconds(3)));

    const auto upgrades = server_.upgrades();
    ASSERT_EQ(upgrades.size(), 1u);
    EXPECT_EQ(upgrades[0].path, "/v1/listen");
    EXPECT_EQ(upgrades[0].query,
              "model=nova-3&language=en&encoding=linear16&sample_rate=16000&channels=1"
              "&interim_results=true&punctuate=true&smart_format=true&endpointing=500");
    EXPECT_EQ(upgrades[0].header("Authorization"), "Token dg-secret-key");

    const auto messages = server_.messages();
    std::vector<std::string> order;
    for (const auto& m : messages) {
        if (m.binary) {
            order.push_back("audio " + std::to_string(m.bytes.size()));
        } else if (order.empty() || order.back() != m.bytes) {
            order.push_back(m.bytes);  // KeepAlives counted once
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"audio 3200", "audio 3200", "audio 3200",
                                               R"({"type":"Finalize"})", R"({"type":"KeepAlive"})",
                                               "audio 1600", R"({"type":"CloseStream"})"}));
    // 16-bit little-endian PCM of the samples offered.
    const SpeechChunk sent = piece(0);
    const std::string& bytes = messages[0].bytes;
    for (size_t i = 0; i < 1600; i += 97) {
        const int16_t value = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                   static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
        EXPECT_EQ(value, sampleToPcm16(sent.samples[i])) << i;
    }
    // KeepAlives come about every interval, not faster.
    std::vector<std::chrono::steady_clock::time_point> keepAlives;
    for (const auto& m : messages) {
        if (isText(m, R"({"type":"KeepAlive"})")) keepAlives.push_back(m.at);
    }
    for (size_t i = 1; i < keepAlives.size(); ++i) {
        EXPECT_GE(keepAlives[i] - keepAlives[i - 1], kKeepAlive - milliseconds(20)) << i;
    }
    EXPECT_FALSE(test::HostLogCapture::instance().containsSubstring("dg-secret-key"));
}

TEST_F(StreamingRecognitionTest, interim_results_show_at_once_and_finished_lines_are_filtered) {
    int audio = 0;
    reply_ = [&](test::Peer& peer, const Received& got) {
        if (got.binary && ++audio == 1) {
            peer.send(test::deepgramInterim("hello"));
            peer.send("{not json");
            peer.send(R"({"type":"Results","channel":{}})");
            peer.send(R"({"type":"Metadata","request_id":"x"})");
            peer.send(test::deepgramInterim("hello wor"));
            peer.send(test::deepgramFinal("Hello world.", false, 0.0, 0.3));
        }
        if (isText(got, R"({"type":"Finalize"})")) {
            peer.send(test::deepgramResults({"How are you?", true, false, true, 0.3, 0.2}));
            // Utterances the phantom filter and the confidence rule refuse (the second once
            // the first is off the screen).
            peer.send(test::deepgramFinal("Thanks for watching", true, 0.5, 0.5));
            peer.sendAfter(milliseconds(300),
                           test::deepgramResults({"mumble", true, true, false, 1.0, 0.5, 0.1}));
        }
    };
    start();
    offerPieces(5, 5000);
    recognition_->speechPaused();
    ASSERT_TRUE(sink_->waitForFinished(1, seconds(5)));
    ASSERT_TRUE(logged("Filtered hallucination: \"mumble\""));

    const auto finished = sink_->finished();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].text, "Hello world. How are you?");
    EXPECT_EQ(finished[0].startMs, 5000u);  // the service's 0.0 s is where the stream began
    EXPECT_EQ(finished[0].endMs, 5500u);
    EXPECT_EQ(sink_->interim(),
              (std::vector<std::string>{"hello", "hello wor", "Hello world.",
                                        "Hello world. How are you?", "Thanks for watching", "",
                                        "mumble", ""}));
    EXPECT_EQ(loggedCount("[STT] Malformed Deepgram message"), 2u);
}

TEST_F(StreamingRecognitionTest, a_dropped_stream_reconnects_and_sends_the_audio_held_meanwhile) {
    server_.onUpgrade([](const test::Upgrade& u) { return u.connection == 1 ? 503 : 101; });
    reply_ = [&](test::Peer& peer, const Received& got) {
        if (got.binary && peer.connection() == 0 && binaries(server_.messages(), 0) == 2) {
            peer.drop();
        }
    };
    start();
    offerPieces(2, 0);
    ASSERT_TRUE(server_.waitForClosed(1, seconds(5)));
    offerPieces(3, 200);  // while the service is away
    ASSERT_TRUE(waitForBinaries(3, 2));
    EXPECT_EQ(server_.upgrades().size(), 3u);  // the 503 was tried again
    EXPECT_EQ(binaries(server_.messages(), 2), 3u);
    EXPECT_TRUE(test::HostLogCapture::instance().containsSubstring(
        "[STT] Deepgram stream lost ("));
    EXPECT_TRUE(test::HostLogCapture::instance().containsSubstring(
        "[STT] Deepgram stream connected again"));
}

TEST_F(StreamingRecognitionTest, a_refused_key_ends_the_stream_without_retrying) {
    server_.onUpgrade([](const test::Upgrade&) { return 401; },
                      R"({"err_code":"INVALID_AUTH","err_msg":"Invalid credentials."})");
    start();
    ASSERT_TRUE(logged("[STT] Deepgram refused the API key (HTTP 401) - check the STT API key"));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(server_.upgrades().size(), 1u);
    SpeechChunk chunk = piece(0);
    EXPECT_FALSE(recognition_->offer(chunk));
    EXPECT_FALSE(recognition_->busy());
}

TEST_F(StreamingRecognitionTest, the_stream_asks_for_the_vocabulary_and_the_profanity_filter) {
    vocabulary_ = {"Sayline", "까치"};
    profanityFilter_ = true;
    start();
    offerPieces(1, 0);
    ASSERT_TRUE(waitForBinaries(1));
    recognition_->finish(SpeechChunk());
    EXPECT_TRUE(recognition_->waitIdle(seconds(3)));
    const auto upgrades = server_.upgrades();
    ASSERT_EQ(upgrades.size(), 1u);
    EXPECT_NE(upgrades[0].query.find("&endpointing=500&profanity_filter=true&keyterm=Sayline"
                                     "&keyterm=%EA%B9%8C%EC%B9%98"),
              std::string::npos)
        << upgrades[0].query;
}

TEST_F(StreamingRecognitionTest, words_being_spoken_are_replaced_and_hidden_before_they_show) {
    rules_ = WordRules::parse("say line => Sayline", "darn");
    int audio = 0;
    reply_ = [&](test::Peer& peer, const Received& got) {
        if (got.binary && ++audio == 1) {
            peer.send(test::deepgramInterim("darn"));
            peer.send(test::deepgramInterim("darn say line"));
        }
        if (isText(got, R"({"type":"Finalize"})")) {
            peer.send(
                test::deepgramResults({"Darn, say line rocks.", true, false, true, 0.0, 0.5}));
        }
    };
    start();
    offerPieces(3, 0);
    recognition_->speechPaused();
    ASSERT_TRUE(sink_->waitForFinished(1, seconds(5)));
    EXPECT_EQ(sink_->interim(),
              (std::vector<std::string>{"d***", "d*** Sayline", "D***, Sayline rocks."}));
    EXPECT_EQ(sink_->finished()[0].text, "D***, Sayline rocks.");
}

TEST_F(StreamingRecognitionTest, stop_closes_the_socket_in_time_when_the_service_never_closes) {
    server_.onMessage({});  // deaf to CloseStream
    start(milliseconds(300));
    offerPieces(2, 0);
    ASSERT_TRUE(waitForBinaries(2));
    recognition_->finish({});
    EXPECT_TRUE(server_.waitForClosed(1, seconds(3)));
    EXPECT_TRUE(logged("[STT] Deepgram stream closed before its last results", seconds(1)));
}

TEST_F(StreamingRecognitionTest, unload_ends_an_open_stream_at_once) {
    start();
    offerPieces(1, 0);
    ASSERT_TRUE(waitForBinaries(1));
    EXPECT_EQ(WorkerRegistry::instance().shutdown(seconds(2)), 0u);
    WorkerRegistry::instance().reopen();
    EXPECT_TRUE(server_.waitForClosed(1, seconds(2)));
}

}  // namespace
}  // namespace obs_sayline
