#include "plugin/host_log_backend.h"

#include <util/base.h>

namespace obs_sayline {

int toObsLogLevel(LogLevel level) noexcept {
    switch (level) {
        case LogLevel::Trace:
        case LogLevel::Debug:
            return LOG_DEBUG;
        case LogLevel::Info:
            return LOG_INFO;
        case LogLevel::Warning:
            return LOG_WARNING;
        case LogLevel::Error:
        case LogLevel::Fatal:
            return LOG_ERROR;
    }
    return LOG_INFO;
}

void ObsLogBackend::write(const LogEntry& entry) {
    if (!enabled_.load()) return;
    if (entry.component.empty()) {
        blog(toObsLogLevel(entry.level), "[%s] %s", prefix_.c_str(), entry.message.c_str());
        return;
    }
    std::string text;
    text.reserve(entry.component.size() + 3 + entry.message.size());
    text += '[';
    text += entry.component;
    text += "] ";
    text += entry.message;
    blog(toObsLogLevel(entry.level), "[%s] %s", prefix_.c_str(), text.c_str());
}

void ObsLogBackend::writePreformatted(LogLevel level, const char* line) noexcept {
    if (!enabled_.load() || !line) return;
    blog(toObsLogLevel(level), "%s", line);
}

}  // namespace obs_sayline
