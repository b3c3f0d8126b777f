// Audio intake and the recognition worker without a host: chunk cutting, overflow trim, the
// loudness gate and its log cadence, and a stop that meets a busy worker.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "live/recognised_text.h"
#include "live/request_recognition.h"
#include "live/fixed_chunker.h"
#include "plugin/source_capture.h"
#include "plugin/subtitle_source_data.h"
#include "scripted_engine.h"
#include "support/module_workers.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::ScriptedEngine;
using namespace std::chrono_literals;

class AudioIntakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        data_ = std::make_unique<SubtitleSourceData>(nullptr);
        engine_ = std::make_shared<ScriptedEngine>();
        data_->settings.sttEngineType = SttEngineType::WhisperApi;
        data_->settings.enableTranslation = false;
        data_->capture.sttEngine = engine_;
        startCapture(*data_);  // no host audio to connect here: the test feeds the path itself
        ASSERT_NE(data_->capture.live, nullptr);
    }
    void TearDown() override {
        engine_->release();
        stopCapture(*data_);
        ASSERT_TRUE(waitForRecognition(*data_));
        data_.reset();
        test::joinModuleWorkers();
    }

    void feed(size_t samples, float level = 0.2f) {
        // In 10 ms blocks, like the host.
        std::vector<float> block(160, level);
        for (size_t done = 0; done < samples; done += block.size()) {
            data_->capture.live->feed(block.data(), std::min(block.size(), samples - done));
        }
    }
    bool busy() { return data_->capture.live->recognition().busy(); }
    const std::vector<float>& buffered() {
        return static_cast<const FixedChunker&>(data_->capture.live->chunker()).pending().samples;
    }
    std::string pendingText() { return data_->scene->pendingText(); }

    std::unique_ptr<SubtitleSourceData> data_;
    std::shared_ptr<ScriptedEngine> engine_;
};

TEST_F(AudioIntakeTest, a_worker_starts_when_three_seconds_are_buffered) {
    feed(47999);
    EXPECT_FALSE(busy());
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("Buffer full"));
    feed(1);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Audio] Buffer full (3000ms), starting STT processing..."));
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    ASSERT_TRUE(waitForRecognition(*data_));
    EXPECT_EQ(engine_->chunks(), std::vector<size_t>{48000});
    EXPECT_EQ(engine_->timestamps(), std::vector<uint64_t>{0});
    EXPECT_EQ(data_->shared->audioPositionMs.load(), 3000u);
    EXPECT_EQ(pendingText(), "chunk of 48000");
    EXPECT_TRUE(data_->scene->dirty());
}

TEST_F(AudioIntakeTest, audio_is_ignored_once_capture_stopped_or_without_engine) {
    stopCapture(*data_);
    feed(48000);
    EXPECT_TRUE(buffered().empty());

    // No engine of the chosen kind: capture is marked started, but no path listens.
    SubtitleSourceData none(nullptr);
    none.settings.sttEngineType = SttEngineType::WhisperLocal;
    startCapture(none);
    EXPECT_TRUE(none.capture.capturing.load());
    EXPECT_EQ(none.capture.live, nullptr);
}

TEST_F(AudioIntakeTest, a_busy_worker_leaves_the_newest_three_seconds_and_takes_them_next) {
    engine_->hold();
    feed(48000);
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    // 6.5 s more arrive while the service is slow: cut back to the newest 3 s once past 6 s.
    feed(96000, 0.2f);
    feed(8000, 0.5f);
    ASSERT_LT(buffered().size(), 96000u);
    ASSERT_GE(buffered().size(), 48000u);
    EXPECT_EQ(buffered().back(), 0.5f);
    engine_->release();
    ASSERT_TRUE(waitForRecognition(*data_));
    feed(160);  // the next block hands the next chunk over
    ASSERT_TRUE(engine_->waitForCalls(2, 2s));
    EXPECT_GE(engine_->chunks()[1], 48000u);
}

TEST_F(AudioIntakeTest, stop_hands_leftover_audio_to_a_busy_worker_instead_of_overlapping) {
    engine_->hold();
    feed(48000);
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    feed(8000);  // half a second left when capture stops

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(stopCapture(*data_));  // the worker was busy
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);  // no wait on the slow service
    EXPECT_FALSE(data_->capture.capturing.load());

    engine_->release();
    ASSERT_TRUE(waitForRecognition(*data_));
    EXPECT_EQ(engine_->chunks(), (std::vector<size_t>{48000, 8000}));
    EXPECT_EQ(engine_->timestamps(), (std::vector<uint64_t>{0, 3000}));
    EXPECT_EQ(engine_->maxOverlap(), 1);
    EXPECT_EQ(data_->shared->audioPositionMs.load(), 3500u);
    EXPECT_EQ(pendingText(), "chunk of 8000");
}

TEST_F(AudioIntakeTest, stop_leaves_leftover_audio_to_the_worker_and_never_waits) {
    engine_->hold();
    feed(16000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(stopCapture(*data_));  // nothing was being recognised
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);  // the service is still busy
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    EXPECT_TRUE(busy());
    EXPECT_TRUE(buffered().empty());
    EXPECT_TRUE(HostLogCapture::instance().contains("[obs-sayline] Sayline source stopped capturing audio"));
    engine_->release();
    ASSERT_TRUE(waitForRecognition(*data_));
    EXPECT_EQ(engine_->chunks(), std::vector<size_t>{16000});
    EXPECT_EQ(data_->shared->audioPositionMs.load(), 1000u);
    EXPECT_EQ(pendingText(), "chunk of 16000");
}

TEST_F(AudioIntakeTest, silent_chunks_are_skipped_counted_and_logged_every_tenth) {
    RecognitionSetup setup;
    setup.engine = engine_;
    setup.enableTranslation = false;
    for (int i = 0; i < 25; ++i) {
        SpeechChunk chunk;
        chunk.samples.assign(48000, 0.0f);
        recognizeChunk(*data_->shared, setup, *data_->sinks, chunk);
    }
    EXPECT_TRUE(engine_->chunks().empty());
    EXPECT_EQ(data_->shared->audioPositionMs.load(), 25u * 3000u);
    std::vector<std::string> silenceLines;
    for (auto& line : HostLogCapture::instance().moduleLines()) {
        if (line.text.find("[VAD] Silence") != std::string::npos) silenceLines.push_back(line.text);
    }
    const std::vector<std::string> expected = {
        "[obs-sayline] [VAD] Silence (RMS=0.000000 < 0.003000), skipped 1 buffers",
        "[obs-sayline] [VAD] Silence (RMS=0.000000 < 0.003000), skipped 11 buffers",
        "[obs-sayline] [VAD] Silence (RMS=0.000000 < 0.003000), skipped 21 buffers",
    };
    EXPECT_EQ(silenceLines, expected);

    // Exactly at the threshold counts as speech.
    SpeechChunk threshold;
    threshold.samples.assign(16000, 0.003f);
    recognizeChunk(*data_->shared, setup, *data_->sinks, threshold);
    EXPECT_EQ(engine_->chunks(), std::vector<size_t>{16000});
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [VAD] Speech detected (RMS=0.003000, threshold=0.003000)"));
}

TEST_F(AudioIntakeTest, a_worker_that_throws_logs_and_takes_the_next_chunk) {
    class ThrowingEngine : public ScriptedEngine {
    public:
        Result<SttResult> recognize(const AudioChunk& chunk) override {
            if (++calls_ == 1) throw std::runtime_error("reply had the wrong shape");
            return ScriptedEngine::recognize(chunk);
        }

    private:
        int calls_ = 0;
    };
    stopCapture(*data_);
    auto throwing = std::make_shared<ThrowingEngine>();
    data_->capture.sttEngine = throwing;
    startCapture(*data_);
    feed(48000);
    ASSERT_TRUE(waitForRecognition(*data_));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [STT-Thread] Exception while recognising a chunk: reply had the wrong shape"));
    feed(48000);
    ASSERT_TRUE(throwing->waitForCalls(1, 2s));
    stopCapture(*data_);
    ASSERT_TRUE(waitForRecognition(*data_));
    data_->capture.sttEngine = engine_;
}

}  // namespace
}  // namespace obs_sayline
