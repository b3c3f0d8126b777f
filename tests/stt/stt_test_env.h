#pragma once

// Shared set-up of the STT engine tests: environment variables, audio with known PCM values,
// and the service error bodies.

#include <httplib.h>
#include <util/base.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/audio_chunk.h"
#include "support/host_log_capture.h"

namespace obs_sayline::test {

// Sets (or with nullopt, unsets) one environment variable and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (previous_) {
            setenv(name_.c_str(), previous_->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Sample values whose 16-bit forms are known without the encoder: 0.5 -> 16383,
// -0.25 -> -8191 (8191.75 truncated toward zero), 1.0 -> 32767, -1.0 -> -32767, 0 -> 0.
inline const std::vector<float>& knownSamples() {
    static const std::vector<float> values{0.5f, -0.25f, 1.0f, -1.0f, 0.0f};
    return values;
}
inline const std::vector<int16_t>& knownPcm() {
    static const std::vector<int16_t> values{16383, -8191, 32767, -32767, 0};
    return values;
}

inline AudioChunk knownChunk(size_t count, int32_t rate = 16000, int32_t channels = 1) {
    AudioChunk chunk;
    chunk.sampleRate = rate;
    chunk.channels = channels;
    chunk.samples.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        chunk.samples.push_back(knownSamples()[i % knownSamples().size()]);
    }
    return chunk;
}

inline std::vector<int16_t> knownPcmFor(size_t count) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < count; ++i) out.push_back(knownPcm()[i % knownPcm().size()]);
    return out;
}

// A chunk with `count` silent samples, for the size limits.
inline AudioChunk silentChunk(size_t count, int32_t rate = 16000) {
    AudioChunk chunk;
    chunk.sampleRate = rate;
    chunk.channels = 1;
    chunk.samples.assign(count, 0.0f);
    return chunk;
}

// The streamer's words may reach the log at Debug only.
inline bool loggedAboveDebug(const std::string& needle) {
    for (const auto& line : HostLogCapture::instance().lines()) {
        if (line.level < LOG_DEBUG && line.text.find(needle) != std::string::npos) return true;
    }
    return false;
}

inline void replyJson(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_content(body, "application/json");
}

}  // namespace obs_sayline::test
