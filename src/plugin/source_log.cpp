#include "plugin/source_log.h"

#include <cstdarg>
#include <cstdio>

namespace obs_sayline {
namespace {

void emit(LogLevel level, const char* format, ...) SAYLINE_PRINTF_FORMAT(2, 3);
void emit(LogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Logger::instance().log(level, nullptr, format, args);
    va_end(args);
}

}  // namespace

void logSource(LogLevel level, obs_source_t* source, const char* format, ...) {
    Logger& logger = Logger::instance();
    if (!logger.isEnabled() || level < logger.minLevel()) return;
    char text[kMaxLogMessageBytes + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const char* name = source ? obs_source_get_name(source) : nullptr;
    if (name && *name) {
        emit(level, "Sayline source '%s' %s", name, text);
    } else {
        emit(level, "Sayline source %s", text);
    }
}

}  // namespace obs_sayline
