#include "core/logger.h"

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>
#include <utility>

namespace obs_sayline {

namespace {

int64_t ticks100ns() {
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
    return std::chrono::duration_cast<Ticks>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

uint64_t readThreadNumber() {
    std::ostringstream out;
    out << std::this_thread::get_id();
    try {
        return std::stoull(out.str());
    } catch (...) {
        return 0;
    }
}

// Rendering the id through a stream costs more than the rest of a log call; a thread's id
// never changes, so each thread does it once.
uint64_t currentThreadNumber() {
    thread_local const uint64_t number = readThreadNumber();
    return number;
}

}  // namespace

// Holds the dispatch lock and marks this thread as its holder for as long as it does.
class Logger::DispatchLock {
public:
    explicit DispatchLock(Logger& logger) : logger_(logger), owns_(true) {
        logger_.mutex_.lock();
        mark();
    }
    DispatchLock(Logger& logger, std::try_to_lock_t)
        : logger_(logger), owns_(logger.mutex_.try_lock()) {
        if (owns_) mark();
    }
    ~DispatchLock() {
        if (!owns_) return;
        logger_.owner_.store(previous_);
        logger_.mutex_.unlock();
    }
    DispatchLock(const DispatchLock&) = delete;
    DispatchLock& operator=(const DispatchLock&) = delete;

    bool owns() const { return owns_; }

private:
    // Restoring the previous holder on release keeps an outer frame of this same thread (a
    // backend that flushes or adds a backend) marked.
    void mark() { previous_ = logger_.owner_.exchange(std::this_thread::get_id()); }

    Logger& logger_;
    bool owns_;
    std::thread::id previous_;
};

Logger& Logger::instance() {
    // Never destroyed: a thread that is still finishing while the process exits may log.
    static Logger* logger = new Logger();
    return *logger;
}

Logger::Logger() = default;

Logger::~Logger() { flush(); }

bool Logger::heldByThisThread() const { return owner_.load() == std::this_thread::get_id(); }

bool Logger::accepts(LogLevel level) const {
    if (!enabled_.load()) return false;
    return static_cast<int32_t>(level) >= static_cast<int32_t>(minLevel_.load());
}

LogEntry Logger::makeEntry(LogLevel level, const char* component, const char* format,
                           va_list args) const {
    char buffer[kMaxLogMessageBytes + 1];
    int n = std::vsnprintf(buffer, sizeof(buffer), format ? format : "", args);
    if (n < 0) buffer[0] = '\0';

    LogEntry entry;
    entry.level = level;
    entry.message = buffer;
    if (component) entry.component = component;
    entry.timestamp = ticks100ns();
    entry.threadId = currentThreadNumber();
    return entry;
}

void Logger::dispatchLocked(const LogEntry& entry) {
    // By index and by copy: a backend may add or remove backends from inside write().
    for (size_t i = 0; i < backends_.size(); ++i) {
        const std::shared_ptr<ILogBackend> backend = backends_[i];
        if (!backend) continue;
        try {
            if (!backend->isEnabled()) continue;
            backend->write(entry);
        } catch (...) {
            // A failing backend must neither stop the others nor reach the caller.
        }
    }
}

void Logger::log(LogLevel level, const char* component, const char* format, va_list args) {
    // Waiting here would hang the thread on its own lock.
    if (!accepts(level) || heldByThisThread()) return;
    LogEntry entry;
    try {
        entry = makeEntry(level, component, format, args);
    } catch (...) {
        return;
    }
    DispatchLock lock(*this);
    dispatchLocked(entry);
}

void Logger::tryLog(LogLevel level, const char* component, const char* format, ...) {
    if (!accepts(level) || heldByThisThread()) return;
    DispatchLock lock(*this, std::try_to_lock);
    if (!lock.owns()) return;
    va_list args;
    va_start(args, format);
    LogEntry entry;
    try {
        entry = makeEntry(level, component, format, args);
    } catch (...) {
        va_end(args);
        return;
    }
    va_end(args);
    dispatchLocked(entry);
}

bool Logger::tryWritePreformatted(LogLevel level, const char* const* lines, int count) noexcept {
    // A crash inside dispatch must not re-enter it: the lock is ours only when nobody holds it.
    if (!accepts(level) || heldByThisThread()) return false;
    DispatchLock lock(*this, std::try_to_lock);
    if (!lock.owns()) return false;
    for (size_t i = 0; i < backends_.size(); ++i) {
        ILogBackend* backend = backends_[i].get();
        if (!backend || !backend->isEnabled()) continue;
        for (int k = 0; k < count; ++k) backend->writePreformatted(level, lines[k]);
    }
    return true;
}

void Logger::flush() {
    DispatchLock lock(*this);
    for (size_t i = 0; i < backends_.size(); ++i) {
        const std::shared_ptr<ILogBackend> backend = backends_[i];
        if (!backend) continue;
        try {
            backend->flush();
        } catch (...) {
        }
    }
}

void Logger::addBackend(std::shared_ptr<ILogBackend> backend) {
    DispatchLock lock(*this);
    backends_.push_back(std::move(backend));
}

void Logger::removeBackend(const std::shared_ptr<ILogBackend>& backend) {
    DispatchLock lock(*this);
    for (auto it = backends_.begin(); it != backends_.end();) {
        if (*it == backend) {
            it = backends_.erase(it);
        } else {
            ++it;
        }
    }
}

#define SAYLINE_LOG_ENTRY(fn, lvl)                                    \
    void fn(const char* format, ...) {                                \
        va_list args;                                                 \
        va_start(args, format);                                       \
        Logger::instance().log(LogLevel::lvl, nullptr, format, args); \
        va_end(args);                                                 \
    }                                                                 \
    void fn##Tag(const char* component, const char* format, ...) {    \
        va_list args;                                                 \
        va_start(args, format);                                       \
        Logger::instance().log(LogLevel::lvl, component, format, args); \
        va_end(args);                                                 \
    }

SAYLINE_LOG_ENTRY(logDebug, Debug)
SAYLINE_LOG_ENTRY(logInfo, Info)
SAYLINE_LOG_ENTRY(logWarning, Warning)
SAYLINE_LOG_ENTRY(logError, Error)

#undef SAYLINE_LOG_ENTRY

}  // namespace obs_sayline
