#pragma once

#include <memory>

#include "audio/audio_processor_interface.h"

namespace obs_sayline {

class AudioProcessor : public IAudioProcessor {
public:
    AudioProcessor();
    ~AudioProcessor() override;

    AudioProcessor(const AudioProcessor&) = delete;
    AudioProcessor& operator=(const AudioProcessor&) = delete;

    Result<void> initialize(const AudioProcessorConfig& config) override;
    void shutdown() override;
    bool isInitialized() const override;
    Result<void> process(const AudioChunk& chunk) override;
    void flush() override;
    void reset() override;
    AudioProcessorConfig getConfig() const override;
    Result<void> updateConfig(const AudioProcessorConfig& config) override;
    void setOutputCallback(OutputCallback callback) override;
    AudioProcessorStats getStats() const override;
    void resetStats() override;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline
