#pragma once

#include <atomic>
#include <string>

#include "core/logger.h"

namespace obs_sayline {

// Host log level (LOG_DEBUG, LOG_INFO, ...) for one of ours; unknown values log as info.
int toObsLogLevel(LogLevel level) noexcept;

// Writes entries to the host log through blog as "[prefix] [component] message".
class ObsLogBackend : public ILogBackend {
public:
    ObsLogBackend() = default;

    void write(const LogEntry& entry) override;
    // One blog call with "%s": the host copies the text and formats nothing of ours.
    void writePreformatted(LogLevel level, const char* line) noexcept override;
    void flush() override {}
    const char* name() const override { return "OBS"; }
    bool isEnabled() const override { return enabled_.load(); }
    void setEnabled(bool enabled) override { enabled_.store(enabled); }

private:
    std::atomic<bool> enabled_{true};
    std::string prefix_ = kModuleName;
};

}  // namespace obs_sayline
