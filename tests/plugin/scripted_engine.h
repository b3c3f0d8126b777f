#pragma once

// A speech engine for tests without a service: answers every chunk with its sample count, can
// be held inside recognize to play a slow service, and remembers how many calls overlapped.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "stt/stt_engine_base.h"

namespace obs_sayline::test {

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

}  // namespace obs_sayline::test
