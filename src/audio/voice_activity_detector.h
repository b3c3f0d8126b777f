#pragma once

#include <memory>

#include "audio/voice_activity_detector_interface.h"

namespace obs_sayline {

class VoiceActivityDetector : public IVoiceActivityDetector {
public:
    VoiceActivityDetector();
    ~VoiceActivityDetector() override;

    VoiceActivityDetector(const VoiceActivityDetector&) = delete;
    VoiceActivityDetector& operator=(const VoiceActivityDetector&) = delete;

    Result<void> initialize(const VadConfig& config) override;
    void shutdown() override;
    bool isInitialized() const override;
    VadResult processFrame(const std::vector<float>& frame) override;
    std::vector<VadResult> processSamples(const std::vector<float>& samples) override;
    bool isSpeechActive() const override;
    double getSpeechDuration() const override;
    void reset() override;
    VadConfig getConfig() const override;
    Result<void> updateConfig(const VadConfig& config) override;
    void setEnergyThreshold(float threshold) override;
    void setStateCallback(StateCallback callback) override;
    void setSegmentCallback(SegmentCallback callback) override;
    VadStats getStats() const override;
    void resetStats() override;
    float getNoiseFloor() const override;
    size_t feedSamples(const float* samples, size_t count) override;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline
