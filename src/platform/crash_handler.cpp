#include "platform/crash_handler.h"

#include "core/logger.h"

#ifndef _WIN32
#include <signal.h>
#include <ucontext.h>

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#endif

namespace obs_sayline::platform {

namespace {

constexpr const char* kCrashTag = "CRASH";

void logCrashLine(unsigned long code, const void* address) {
    Logger::instance().tryLog(LogLevel::Error, kCrashTag,
                              "!!! CRASH DETECTED !!! Code=0x%08lX Addr=%p", code, address);
}

}  // namespace

#ifdef _WIN32

namespace {
bool g_installed = false;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;
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

struct sigaction g_previous[kSignalCount];
bool g_installed = false;

int slotOf(int sig) {
    for (int i = 0; i < kSignalCount; ++i) {
        if (kSignals[i] == sig) return i;
    }
    return -1;
}

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

    logCrashLine(static_cast<unsigned long>(sig), faultingInstruction(context));

    // si_code > 0: raised by the CPU. Otherwise someone sent it (kill, raise) and there was no
    // memory access to describe.
    const bool fromFault = info && info->si_code > 0;
    if (fromFault && (sig == SIGSEGV || sig == SIGBUS)) {
        // Rendered like the Windows %p (16 upper-case digits) so both platforms read alike.
        Logger::instance().tryLog(LogLevel::Error, kCrashTag,
                                  "Access violation: %s address 0x%016" PRIXPTR,
                                  faultWasWrite(context) ? "writing" : "reading",
                                  reinterpret_cast<uintptr_t>(info->si_addr));
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
