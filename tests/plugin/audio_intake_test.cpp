// Audio intake and the recognition worker without a host: chunk cutting, overflow trim, the
// loudness gate and its log cadence, and a stop that meets a busy worker.

#include "plugin/audio_intake.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plugin/recognition_worker.h"
#include "plugin/subtitle_source_data.h"
#include "stt/stt_engine_base.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using namespace std::chrono_literals;

// Answers every chunk with its sample count; can be held inside recognize to play a slow
// service, and remembers how many calls ever overlapped.
class ScriptedEngine : public SttEngineBase {
public:
    VoidResult initialize(const SttEngineConfig&) override { return VoidResult::success(); }
    void shutdown() override {}
    Result<SttResult> recognize(const AudioChunk& chunk) override {
        const int now = ++inside_;
        int seen = maxInside_.load();
        while (now > seen && !maxInside_.compare_exchange_weak(seen, now)) {
        }
        {
            std::unique_lock<std::mutex> lock(mutex_);
            chunks_.push_back(chunk.samples.size());
            timestamps_.push_back(chunk.timestamp);
            entered_.notify_all();
            released_.wait(lock, [&] { return !holding_; });
        }
        --inside_;
        SttResult result;
        result.text = "chunk of " + std::to_string(chunk.samples.size());
        result.confidence = 0.9f;
        return result;
    }
    SttEngineType getType() const override { return SttEngineType::WhisperApi; }
    std::string getName() const override { return "Scripted"; }
    std::vector<std::string> getSupportedLanguages() const override { return {}; }
    bool isLanguageSupported(const std::string&) const override { return true; }
    VoidResult updateConfig(const SttEngineConfig&) override { return VoidResult::success(); }
    std::string getStatistics() const override { return "{}"; }

    void hold() {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = true;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = false;
        released_.notify_all();
    }
    bool waitForCalls(size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return entered_.wait_for(lock, timeout, [&] { return chunks_.size() >= count; });
    }
    std::vector<size_t> chunks() {
        std::lock_guard<std::mutex> lock(mutex_);
        return chunks_;
    }
    std::vector<uint64_t> timestamps() {
        std::lock_guard<std::mutex> lock(mutex_);
        return timestamps_;
    }
    int maxOverlap() const { return maxInside_.load(); }

private:
    std::mutex mutex_;
    std::condition_variable entered_;
    std::condition_variable released_;
    bool holding_ = false;
    std::vector<size_t> chunks_;
    std::vector<uint64_t> timestamps_;
    std::atomic<int> inside_{0};
    std::atomic<int> maxInside_{0};
};

class AudioIntakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        data_ = std::make_unique<SubtitleSourceData>(nullptr);
        engine_ = std::make_shared<ScriptedEngine>();
        data_->sttEngineType = 1;
        data_->enableTranslation = false;
        data_->sttEngine = engine_;
        data_->recognition = makeRecognitionSetup(*data_);
        data_->capturing = true;  // as after a start with no host audio to connect
    }
    void TearDown() override {
        engine_->release();
        stopCapture(*data_);
        ASSERT_TRUE(waitForWorker(*data_));
    }

    void feed(size_t samples, float level = 0.2f) {
        // In 10 ms blocks, like the host.
        std::vector<float> block(160, level);
        for (size_t done = 0; done < samples; done += block.size()) {
            appendAudio(*data_, block.data(), std::min(block.size(), samples - done));
        }
    }

    std::unique_ptr<SubtitleSourceData> data_;
    std::shared_ptr<ScriptedEngine> engine_;
};

TEST_F(AudioIntakeTest, a_worker_starts_when_three_seconds_are_buffered) {
    feed(47999);
    EXPECT_FALSE(data_->workerRunning.load());
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("Buffer full"));
    feed(1);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Audio] Buffer full (3000ms), starting STT processing..."));
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    ASSERT_TRUE(waitForWorker(*data_));
    EXPECT_EQ(engine_->chunks(), std::vector<size_t>{48000});
    EXPECT_EQ(engine_->timestamps(), std::vector<uint64_t>{0});
    EXPECT_EQ(data_->audioPositionMs.load(), 3000u);
    std::lock_guard<std::mutex> lock(data_->textMutex);
    EXPECT_EQ(data_->pendingText, "chunk of 48000");
    EXPECT_TRUE(data_->textDirty.load());
}

TEST_F(AudioIntakeTest, audio_is_ignored_without_capture_or_engine) {
    data_->capturing = false;
    feed(48000);
    data_->capturing = true;
    data_->sttEngine.reset();
    feed(48000);
    std::lock_guard<std::mutex> lock(data_->bufferMutex);
    EXPECT_TRUE(data_->audioBuffer.empty());
}

TEST_F(AudioIntakeTest, a_busy_worker_leaves_the_newest_three_seconds_and_takes_them_next) {
    engine_->hold();
    feed(48000);
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    // 6.5 s more arrive while the service is slow: cut back to the newest 3 s once past 6 s.
    feed(96000, 0.2f);
    feed(8000, 0.5f);
    {
        std::lock_guard<std::mutex> lock(data_->bufferMutex);
        ASSERT_LT(data_->audioBuffer.size(), 96000u);
        ASSERT_GE(data_->audioBuffer.size(), 48000u);
        EXPECT_EQ(data_->audioBuffer.back(), 0.5f);
    }
    engine_->release();
    ASSERT_TRUE(waitForWorker(*data_));
    feed(160);  // the next block starts the next worker
    ASSERT_TRUE(engine_->waitForCalls(2, 2s));
    EXPECT_GE(engine_->chunks()[1], 48000u);
}

TEST_F(AudioIntakeTest, stop_hands_leftover_audio_to_a_busy_worker_instead_of_overlapping) {
    engine_->hold();
    feed(48000);
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    feed(8000);  // half a second left when capture stops

    const auto start = std::chrono::steady_clock::now();
    stopCapture(*data_);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);  // no wait on the slow service
    EXPECT_FALSE(data_->capturing.load());

    engine_->release();
    ASSERT_TRUE(waitForWorker(*data_));
    EXPECT_EQ(engine_->chunks(), (std::vector<size_t>{48000, 8000}));
    EXPECT_EQ(engine_->timestamps(), (std::vector<uint64_t>{0, 3000}));
    EXPECT_EQ(engine_->maxOverlap(), 1);
    EXPECT_EQ(data_->audioPositionMs.load(), 3500u);
    std::lock_guard<std::mutex> lock(data_->textMutex);
    EXPECT_EQ(data_->pendingText, "chunk of 8000");
}

TEST_F(AudioIntakeTest, stop_that_must_not_wait_leaves_leftover_audio_to_a_new_worker) {
    engine_->hold();
    feed(16000);
    const auto start = std::chrono::steady_clock::now();
    stopCapture(*data_, LeftoverRecognition::Worker);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);  // the service is still busy
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    EXPECT_TRUE(data_->workerRunning.load());
    {
        std::lock_guard<std::mutex> lock(data_->bufferMutex);
        EXPECT_TRUE(data_->audioBuffer.empty());
    }
    engine_->release();
    ASSERT_TRUE(waitForWorker(*data_));
    EXPECT_EQ(engine_->chunks(), std::vector<size_t>{16000});
    EXPECT_EQ(data_->audioPositionMs.load(), 1000u);
    std::lock_guard<std::mutex> lock(data_->textMutex);
    EXPECT_EQ(data_->pendingText, "chunk of 16000");
}

TEST_F(AudioIntakeTest, stop_that_must_not_wait_joins_a_busy_worker_without_overlap) {
    engine_->hold();
    feed(48000);
    ASSERT_TRUE(engine_->waitForCalls(1, 2s));
    feed(8000);
    stopCapture(*data_, LeftoverRecognition::Worker);
    engine_->release();
    ASSERT_TRUE(waitForWorker(*data_));
    EXPECT_EQ(engine_->chunks(), (std::vector<size_t>{48000, 8000}));
    EXPECT_EQ(engine_->maxOverlap(), 1);
}

TEST_F(AudioIntakeTest, stop_recognises_leftover_audio_itself_when_no_worker_runs) {
    feed(16000);
    stopCapture(*data_);
    EXPECT_EQ(engine_->chunks(), std::vector<size_t>{16000});
    EXPECT_TRUE(HostLogCapture::instance().contains("[obs-sayline] Audio capture stopped"));
    std::lock_guard<std::mutex> lock(data_->bufferMutex);
    EXPECT_TRUE(data_->audioBuffer.empty());
}

TEST_F(AudioIntakeTest, silent_chunks_are_skipped_counted_and_logged_every_tenth) {
    const auto setup = makeRecognitionSetup(*data_);
    for (int i = 0; i < 25; ++i) {
        processChunkSamples(*data_->shared, *setup, std::vector<float>(48000, 0.0f));
    }
    EXPECT_TRUE(engine_->chunks().empty());
    EXPECT_EQ(data_->audioPositionMs.load(), 25u * 3000u);
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
    processChunkSamples(*data_->shared, *setup, std::vector<float>(16000, 0.003f));
    EXPECT_EQ(engine_->chunks(), std::vector<size_t>{16000});
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [VAD] Speech detected (RMS=0.003000, threshold=0.003000)"));
}

TEST_F(AudioIntakeTest, a_worker_that_throws_clears_its_flag_and_logs) {
    class ThrowingEngine : public ScriptedEngine {
    public:
        Result<SttResult> recognize(const AudioChunk&) override {
            throw std::runtime_error("reply had the wrong shape");
        }
    };
    data_->sttEngine = std::make_shared<ThrowingEngine>();
    data_->recognition = makeRecognitionSetup(*data_);
    feed(48000);
    ASSERT_TRUE(waitForWorker(*data_));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [STT-Thread] Exception in processBufferedAudio: reply had the wrong shape"));
    data_->sttEngine = engine_;
    data_->recognition = makeRecognitionSetup(*data_);
}

}  // namespace
}  // namespace obs_sayline
