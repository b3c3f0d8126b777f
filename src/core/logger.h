#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// printf-style argument checking where the compiler supports it (not MSVC). On MinGW the plain
// printf archetype means msvcrt's dialect (no %zu, no %llu), but C++ there always links MinGW's
// C99 printf (libstdc++ sets __USE_MINGW_ANSI_STDIO): check against the one the headers chose.
#if defined(__MINGW32__)
#include <cstdio>
#define SAYLINE_PRINTF_FORMAT(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__) || defined(__clang__)
#define SAYLINE_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define SAYLINE_PRINTF_FORMAT(fmt, first)
#endif

namespace obs_sayline {

// The module's name: every host log line of ours starts with "[obs-sayline] ".
constexpr const char* kModuleName = "obs-sayline";

enum class LogLevel : int32_t { Trace = 0, Debug = 1, Info = 2, Warning = 3, Error = 4, Fatal = 5 };

struct LogEntry {
    LogLevel level = LogLevel::Info;
    std::string message;
    std::string component;  // empty when the caller gave none
    int64_t timestamp = 0;  // 100 ns ticks of the system clock
    uint64_t threadId = 0;
};

class ILogBackend {
public:
    virtual ~ILogBackend() = default;
    virtual void write(const LogEntry& entry) = 0;
    virtual void flush() = 0;
    virtual const char* name() const = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;

    // A line formatted in full (for the host log: prefix and tag included), written as it is
    // without allocating or taking locks of ours; called from the crash handler. A backend that
    // cannot do that keeps the default, which drops the line.
    virtual void writePreformatted(LogLevel level, const char* line) noexcept {
        (void)level;
        (void)line;
    }
};

// The largest formatted message, in bytes; longer output is cut.
constexpr size_t kMaxLogMessageBytes = 4095;

class Logger {
public:
    // Created on first use, with no backend: the module entry installs the host log's.
    static Logger& instance();

    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // A call from the thread that is dispatching (a backend that logs) is dropped.
    void log(LogLevel level, const char* component, const char* format, va_list args);

    // Like log, but gives up instead of waiting when any thread, this one included, holds the
    // dispatch lock. For the crash handler, which may run on a thread that already holds it.
    void tryLog(LogLevel level, const char* component, const char* format, ...)
        SAYLINE_PRINTF_FORMAT(4, 5);

    // The crash path: hands count preformatted lines to every enabled backend, only when the
    // dispatch lock is free (never waits, whichever thread holds it) and the level is
    // accepted. Allocates nothing. Returns whether the lines were handed on.
    bool tryWritePreformatted(LogLevel level, const char* const* lines, int count) noexcept;

    void flush();

    void addBackend(std::shared_ptr<ILogBackend> backend);
    void removeBackend(const std::shared_ptr<ILogBackend>& backend);

    void setMinLevel(LogLevel level) { minLevel_.store(level); }
    LogLevel minLevel() const { return minLevel_.load(); }
    void setEnabled(bool enabled) { enabled_.store(enabled); }
    bool isEnabled() const { return enabled_.load(); }

private:
    class DispatchLock;

    Logger();
    bool accepts(LogLevel level) const;
    bool heldByThisThread() const;
    LogEntry makeEntry(LogLevel level, const char* component, const char* format,
                       va_list args) const;
    void dispatchLocked(const LogEntry& entry);

    std::atomic<LogLevel> minLevel_{LogLevel::Debug};
    std::atomic<bool> enabled_{true};
    std::vector<std::shared_ptr<ILogBackend>> backends_;
    // Recursive, so that even a try-lock from the holding thread is defined; `owner_` names the
    // holding thread so that thread can tell and give up instead.
    std::recursive_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
};

// Entry points, printf-style. The tagged forms put "[component] " before the text.
void logDebug(const char* format, ...) SAYLINE_PRINTF_FORMAT(1, 2);
void logInfo(const char* format, ...) SAYLINE_PRINTF_FORMAT(1, 2);
void logWarning(const char* format, ...) SAYLINE_PRINTF_FORMAT(1, 2);
void logError(const char* format, ...) SAYLINE_PRINTF_FORMAT(1, 2);
void logDebugTag(const char* component, const char* format, ...) SAYLINE_PRINTF_FORMAT(2, 3);
void logInfoTag(const char* component, const char* format, ...) SAYLINE_PRINTF_FORMAT(2, 3);
void logWarningTag(const char* component, const char* format, ...) SAYLINE_PRINTF_FORMAT(2, 3);
void logErrorTag(const char* component, const char* format, ...) SAYLINE_PRINTF_FORMAT(2, 3);

}  // namespace obs_sayline
