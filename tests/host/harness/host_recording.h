#pragma once

#include <obs.h>

#include <atomic>
#include <string>
#include <utility>

namespace obs_sayline::test {

// A recording of the host's mix into a file: x264 (no lookahead, so a frame leaves the encoder
// as it is drawn), AAC and the host's file muxer. Released when it goes; one left running is
// stopped first, since releasing an active output waits on it in the host.
class HostRecording {
public:
    explicit HostRecording(std::string name) : name_(std::move(name)) {}
    ~HostRecording();
    HostRecording(const HostRecording&) = delete;
    HostRecording& operator=(const HostRecording&) = delete;

    // Started and active within 10 s.
    bool start(const std::string& path);
    // Stopped (the host's "stop" signal) and inactive within 15 s.
    bool stop();
    bool active() const { return output_ && obs_output_active(output_); }

private:
    static void onStop(void* param, calldata_t*);

    std::string name_;
    obs_encoder_t* video_ = nullptr;
    obs_encoder_t* audio_ = nullptr;
    obs_output_t* output_ = nullptr;
    std::atomic<bool> stopped_{false};
};

}  // namespace obs_sayline::test
