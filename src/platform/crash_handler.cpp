#include "platform/crash_handler.h"

#include "core/logger.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#endif

namespace obs_sayline::platform {

namespace {
constexpr const char* kCrashTag = "CRASH";
}  // namespace

#ifdef _WIN32

namespace {

bool g_installed = false;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

void logCrashLine(unsigned long code, const void* address) {
    Logger::instance().tryLog(LogLevel::Error, kCrashTag,
                              "!!! CRASH DETECTED !!! Code=0x%08lX Addr=%p", code, address);
}

}  // namespace

LONG WINAPI crashFilter(EXCEPTION_POINTERS* pointers) {
    if (!pointers || !pointers->ExceptionRecord) return EXCEPTION_CONTINUE_SEARCH;
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    logCrashLine(static_cast<unsigned long>(record->ExceptionCode), record->ExceptionAddress);
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        Logger::instance().tryLog(LogLevel::Error, kCrashTag, "Access violation: %s address 0x%p",
                                  record->ExceptionInformation[0] == 0 ? "reading" : "writing",
                                  reinterpret_cast<void*>(record->ExceptionInformation[1]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void installCrashHandler() {
    if (g_installed) return;
    // Kept only so unload can put it back; it is not called from our filter.
    g_previousFilter = SetUnhandledExceptionFilter(crashFilter);
    g_installed = true;
}

void uninstallCrashHandler() {
    if (!g_installed) return;
    LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(g_previousFilter);
    // Someone replaced ours after we installed it: leave theirs in place.
    if (current != crashFilter) SetUnhandledExceptionFilter(current);
    g_previousFilter = nullptr;
    g_installed = false;
}

bool crashHandlerInstalled() { return g_installed; }

#else  // POSIX signals

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// Upper bound on the time the handler may spend on the crash lines before the process dies
// anyway (SIGALRM's default action).
constexpr unsigned kWatchdogSeconds = 2;

struct sigaction g_previous[kSignalCount];
bool g_installed = false;

int slotOf(int sig) {
    for (int i = 0; i < kSignalCount; ++i) {
        if (kSignals[i] == sig) return i;
    }
    return -1;
}

// One crash line, built on the stack: the handler may run while the allocator's or stdio's
// lock is held by the faulting code, so it neither allocates nor calls the printf family.
class CrashLine {
public:
    CrashLine& text(const char* s) {
        while (*s && length_ < kCapacity) buffer_[length_++] = *s++;
        return *this;
    }

    // At least minDigits digits, zero-padded.
    CrashLine& hex(uint64_t value, int minDigits, bool upper) {
        const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        char reversed[16];
        int n = 0;
        do {
            reversed[n++] = digits[value & 0xF];
            value >>= 4;
        } while (value != 0);
        while (n < minDigits && n < 16) reversed[n++] = '0';
        while (n > 0 && length_ < kCapacity) buffer_[length_++] = reversed[--n];
        return *this;
    }

    // As glibc's %p renders it, so the lines read as they did when printf wrote them.
    CrashLine& pointer(const void* p) {
        if (!p) return text("(nil)");
        return text("0x").hex(reinterpret_cast<uintptr_t>(p), 1, false);
    }

    const char* c_str() {
        buffer_[length_] = '\0';
        return buffer_;
    }

    void writeTo(int fd) {
        buffer_[length_] = '\n';
        size_t done = 0;
        while (done < length_ + 1) {
            ssize_t n = write(fd, buffer_ + done, length_ + 1 - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n == 0 || errno != EINTR) {
                break;
            }
        }
        buffer_[length_] = '\0';
    }

private:
    static constexpr size_t kCapacity = 254;
    char buffer_[kCapacity + 2];  // room for the newline or the terminator
    size_t length_ = 0;
};

CrashLine& startLine(CrashLine& line) {
    return line.text("[").text(kModuleName).text("] [").text(kCrashTag).text("] ");
}

// Bounds the rest of the handler: should a write block (stderr a full pipe, the host's log
// handler waiting for a lock the crashing thread holds), SIGALRM's default action still ends
// the process. Whatever SIGALRM setup the process had comes back when the handler is done.
class Watchdog {
public:
    Watchdog() {
        struct sigaction terminate {};
        terminate.sa_handler = SIG_DFL;
        sigemptyset(&terminate.sa_mask);
        sigaction(SIGALRM, &terminate, &previousAction_);
        sigset_t alarmOnly;
        sigemptyset(&alarmOnly);
        sigaddset(&alarmOnly, SIGALRM);
        pthread_sigmask(SIG_UNBLOCK, &alarmOnly, &previousMask_);
        previousAlarm_ = alarm(kWatchdogSeconds);
    }
    ~Watchdog() {
        alarm(previousAlarm_);
        pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
        sigaction(SIGALRM, &previousAction_, nullptr);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    struct sigaction previousAction_ {};
    sigset_t previousMask_{};
    unsigned previousAlarm_ = 0;
};

const void* faultingInstruction(const ucontext_t* context) {
#if defined(__x86_64__)
    if (context) return reinterpret_cast<const void*>(context->uc_mcontext.gregs[REG_RIP]);
#else
    (void)context;
#endif
    return nullptr;
}

// Bit 1 of the x86-64 page-fault error code is set when the access was a write.
bool faultWasWrite(const ucontext_t* context) {
#if defined(__x86_64__)
    return context && (context->uc_mcontext.gregs[REG_ERR] & 0x2) != 0;
#else
    (void)context;
    return false;
#endif
}

void onFatalSignal(int sig, siginfo_t* info, void* rawContext) {
    const int savedErrno = errno;
    const auto* context = static_cast<const ucontext_t*>(rawContext);
    // si_code > 0: raised by the CPU. Otherwise someone sent it (kill, raise) and there was no
    // memory access to describe.
    const bool fromFault = info && info->si_code > 0;

    {
        Watchdog watchdog;
        CrashLine lines[2];
        int count = 1;
        startLine(lines[0])
            .text("!!! CRASH DETECTED !!! Code=0x")
            .hex(static_cast<unsigned>(sig), 8, true)
            .text(" Addr=")
            .pointer(faultingInstruction(context));
        if (fromFault && (sig == SIGSEGV || sig == SIGBUS)) {
            // 16 upper-case digits, like the Windows %p, so both platforms read alike.
            startLine(lines[count++])
                .text("Access violation: ")
                .text(faultWasWrite(context) ? "writing" : "reading")
                .text(" address 0x")
                .hex(reinterpret_cast<uintptr_t>(info->si_addr), 16, true);
        }
        for (int i = 0; i < count; ++i) lines[i].writeTo(STDERR_FILENO);

        // The host log only when the logger's dispatch lock is free: held, by this thread (a
        // fault inside a backend) or another, it may never be released. The lines go on
        // preformatted, so nothing of ours allocates; a host log handler that blocks anyway is
        // what the watchdog is for.
        const char* texts[2] = {lines[0].c_str(), count > 1 ? lines[1].c_str() : nullptr};
        Logger::instance().tryWritePreformatted(LogLevel::Error, texts, count);
    }

    // Hand the crash back to whoever handled it before us (or the default action).
    const int slot = slotOf(sig);
    if (slot >= 0) sigaction(sig, &g_previous[slot], nullptr);
    if (!fromFault) {
        // Stays pending while this handler runs, then reaches the restored handler.
        raise(sig);
    }
    // A CPU fault needs no re-raise: returning re-executes the faulting instruction, which now
    // reaches the restored handler with the original fault details.
    errno = savedErrno;
}

bool isOurs(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == &onFatalSignal;
}

}  // namespace

void installCrashHandler() {
    if (g_installed) return;
    // The logger is built here, on the control thread, rather than inside a crash.
    Logger::instance();

    struct sigaction action {};
    action.sa_sigaction = &onFatalSignal;
    sigemptyset(&action.sa_mask);
    // SA_ONSTACK: use an alternate stack where the crashing thread set one up.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
    g_installed = true;
}

void uninstallCrashHandler() {
    if (!g_installed) return;
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction current {};
        if (sigaction(kSignals[i], nullptr, &current) != 0) continue;
        // A handler set after ours, or the restore after a crash, is left in place.
        if (isOurs(current)) sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    g_installed = false;
}

bool crashHandlerInstalled() { return g_installed; }

#endif

}  // namespace obs_sayline::platform
