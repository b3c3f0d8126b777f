#include "platform/crash_handler.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <util/base.h>

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/logger.h"
#include "plugin/module_lifecycle.h"

namespace obs_sayline::platform {
namespace {

// Everything below runs in a forked child: the faults are real and take the child down.
// The child sends each host log line (and what the handlers it chains to did) through a pipe.

constexpr int kPreviousHandlerExit = 42;
int g_pipe = -1;

// Async-signal-safe: also called from the test's own signal handler.
void writeLine(const char* text) {
    char line[4200];
    size_t n = std::strlen(text);
    if (n > sizeof(line) - 1) n = sizeof(line) - 1;
    std::memcpy(line, text, n);
    line[n] = '\n';
    ssize_t ignored = write(g_pipe, line, n + 1);
    (void)ignored;
}

void pipeLogHandler(int level, const char* format, va_list args, void*) {
    char text[4096];
    int n = std::snprintf(text, sizeof(text), "%d|", level);
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(text + n, sizeof(text) - n, format, copy);
    va_end(copy);
    writeLine(text);
}

// Stands for whatever the host (or a sanitizer) had installed before the module loaded.
void previousHandler(int sig, siginfo_t* info, void*) {
    char text[128];
    std::snprintf(text, sizeof(text), "PREVIOUS sig=%d code=%d addr=%p", sig, info->si_code,
                  info->si_addr);
    writeLine(text);
    _exit(kPreviousHandlerExit);
}

void setPrevious(int sig, bool useDefault) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    if (useDefault) {
        action.sa_handler = SIG_DFL;
    } else {
        action.sa_sigaction = &previousHandler;
        action.sa_flags = SA_SIGINFO;
    }
    sigaction(sig, &action, nullptr);
}

// The addresses go through volatile variables so an optimising build cannot prove the access
// out of bounds at compile time (and refuse it under -Werror).
volatile uintptr_t gWriteAddress = 0x10;
volatile uintptr_t gReadAddress = 0x18;

__attribute__((noinline)) void writeToSmallAddress() {
    *reinterpret_cast<volatile int*>(gWriteAddress) = 1;
}

__attribute__((noinline)) int readFromSmallAddress() {
    return *reinterpret_cast<volatile int*>(gReadAddress);
}

void (*volatile gNullFunction)() = nullptr;

// ud2 and a real integer division by zero, out of the compiler's (and UBSan's) sight.
__attribute__((noinline)) void illegalInstruction() { asm volatile("ud2"); }

__attribute__((noinline)) void divideByZero() {
    asm volatile("xor %%ecx, %%ecx\n\tmov $1, %%eax\n\tcltd\n\tidivl %%ecx" ::
                     : "eax", "ecx", "edx", "cc");
}

struct ChildResult {
    int status = 0;
    std::vector<std::string> lines;  // host log, and what the test's handlers wrote
    std::vector<std::string> err;    // the child's stderr
    bool timedOut = false;

    bool exitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    bool killedBy(int sig) const { return WIFSIGNALED(status) && WTERMSIG(status) == sig; }
    std::string dump() const {
        std::ostringstream out;
        out << "status=" << status << (timedOut ? " (timed out)" : "") << " lines:\n";
        for (auto& l : lines) out << "  " << l << "\n";
        out << "stderr:\n";
        for (auto& l : err) out << "  " << l << "\n";
        return out.str();
    }
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

ChildResult runInChild(const std::function<void()>& body) {
    int logFds[2];
    int errFds[2];
    if (pipe(logFds) != 0) return {};
    if (pipe(errFds) != 0) return {};
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(logFds[0]);
        close(errFds[0]);
        dup2(errFds[1], STDERR_FILENO);
        close(errFds[1]);
        g_pipe = logFds[1];
        struct rlimit noCore {
            0, 0
        };
        setrlimit(RLIMIT_CORE, &noCore);
        base_set_log_handler(&pipeLogHandler, nullptr);
        installHostLogBackend();
        body();
        writeLine("BODY RETURNED");
        _exit(0);
    }
    close(logFds[1]);
    close(errFds[1]);
    ChildResult result;
    std::string text[2];
    struct pollfd fds[2] = {{logFds[0], POLLIN, 0}, {errFds[0], POLLIN, 0}};
    for (int open = 2; open > 0;) {
        if (poll(fds, 2, 10000) <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char chunk[1024];
            ssize_t n = read(fds[i].fd, chunk, sizeof(chunk));
            if (n > 0) {
                text[i].append(chunk, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds) {
        if (f.fd >= 0) close(f.fd);
    }
    waitpid(pid, &result.status, 0);
    result.lines = splitLines(text[0]);
    result.err = splitLines(text[1]);
    return result;
}

std::string crashLinePrefix(int sig) {
    char text[128];
    std::snprintf(text, sizeof(text),
                  "[obs-sayline] [CRASH] !!! CRASH DETECTED !!! Code=0x%08X Addr=", sig);
    return text;
}

std::string accessLine(const char* kind, const char* address) {
    return std::string("[obs-sayline] [CRASH] Access violation: ") + kind + " address " + address;
}

// The crash lines on stderr: the first for sig, then accessLine when given. When hostLogged,
// the host log starts with the same lines at error level.
void expectCrashLines(const ChildResult& r, int sig, const std::string& access, bool hostLogged) {
    ASSERT_EQ(r.err.size(), access.empty() ? 1u : 2u) << r.dump();
    EXPECT_EQ(r.err[0].rfind(crashLinePrefix(sig), 0), 0u) << r.dump();
    if (!access.empty()) {
        EXPECT_EQ(r.err[1], access) << r.dump();
    }
    if (!hostLogged) return;
    ASSERT_GE(r.lines.size(), r.err.size()) << r.dump();
    for (size_t i = 0; i < r.err.size(); ++i) {
        EXPECT_EQ(r.lines[i], std::to_string(LOG_ERROR) + "|" + r.err[i]) << r.dump();
    }
}

// The Addr= value must be the faulting instruction, inside the function that faulted.
void expectAddressInside(const std::string& line, void (*fn)()) {
    auto pos = line.find("Addr=0x");
    ASSERT_NE(pos, std::string::npos) << line;
    uintptr_t addr = std::strtoull(line.c_str() + pos + 7, nullptr, 16);
    auto start = reinterpret_cast<uintptr_t>(fn);
    EXPECT_GE(addr, start) << line;
    EXPECT_LT(addr, start + 4096) << line;
}

TEST(CrashHandlerTest, write_fault_logs_both_lines_then_reaches_previous_handler) {
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, false);
        installCrashHandler();
        writeToSmallAddress();
    });
    ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
    expectCrashLines(r, SIGSEGV, accessLine("writing", "0x0000000000000010"), true);
    expectAddressInside(r.err[0], &writeToSmallAddress);
    ASSERT_EQ(r.lines.size(), 3u) << r.dump();
    // The previous handler sees the original fault, not a re-sent signal.
    EXPECT_EQ(r.lines[2], "PREVIOUS sig=11 code=1 addr=0x10") << r.dump();
}

TEST(CrashHandlerTest, read_fault_says_reading) {
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, false);
        installCrashHandler();
        readFromSmallAddress();
    });
    ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
    expectCrashLines(r, SIGSEGV, accessLine("reading", "0x0000000000000018"), true);
    EXPECT_EQ(r.lines.size(), 3u) << r.dump();
}

TEST(CrashHandlerTest, call_through_null_pointer_shows_a_nil_address) {
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, false);
        installCrashHandler();
        gNullFunction();
    });
    ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
    expectCrashLines(r, SIGSEGV, accessLine("reading", "0x0000000000000000"), true);
    EXPECT_EQ(r.err[0], crashLinePrefix(SIGSEGV) + "(nil)");
}

TEST(CrashHandlerTest, default_action_still_kills_the_process) {
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, true);
        installCrashHandler();
        writeToSmallAddress();
    });
    EXPECT_TRUE(r.killedBy(SIGSEGV)) << r.dump();
    expectCrashLines(r, SIGSEGV, accessLine("writing", "0x0000000000000010"), true);
    EXPECT_EQ(r.lines.size(), 2u) << r.dump();
}

TEST(CrashHandlerTest, illegal_instruction_and_division_log_only_the_first_line) {
    struct Case {
        int sig;
        void (*fn)();
    };
    for (Case c : {Case{SIGILL, &illegalInstruction}, Case{SIGFPE, &divideByZero}}) {
        SCOPED_TRACE(c.sig);
        ChildResult r = runInChild([c] {
            setPrevious(c.sig, false);
            installCrashHandler();
            c.fn();
        });
        ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
        expectCrashLines(r, c.sig, "", true);
        expectAddressInside(r.err[0], c.fn);
        ASSERT_EQ(r.lines.size(), 2u) << r.dump();
        EXPECT_EQ(r.lines[1].rfind("PREVIOUS sig=" + std::to_string(c.sig), 0), 0u) << r.dump();
    }
}

TEST(CrashHandlerTest, sent_signal_is_reported_once_and_re_raised) {
    // SIGSEGV sent by kill has no memory access behind it: one line, then the previous handler.
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, false);
        installCrashHandler();
        raise(SIGSEGV);
    });
    ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
    expectCrashLines(r, SIGSEGV, "", true);
    ASSERT_EQ(r.lines.size(), 2u) << r.dump();
    EXPECT_EQ(r.lines[1].rfind("PREVIOUS sig=11", 0), 0u) << r.dump();
}

// Logs "reached" on its first line and then, per its mode, faults or never returns.
class StuckBackend : public ILogBackend {
public:
    enum class Mode { Fault, Block };
    explicit StuckBackend(Mode mode) : mode_(mode) {}
    void write(const LogEntry&) override {
        reached.store(true);
        if (mode_ == Mode::Fault) writeToSmallAddress();
        for (;;) pause();
    }
    void flush() override {}
    const char* name() const override { return "Stuck"; }
    bool isEnabled() const override { return true; }
    void setEnabled(bool) override {}
    std::atomic<bool> reached{false};

private:
    Mode mode_;
};

// A lock that is never released must cost the host log lines, not the crash: the process still
// reaches the previous handler at once, with the lines on stderr.
TEST(CrashHandlerTest, logger_lock_held_by_the_crashing_thread_or_another_skips_the_host_log) {
    for (auto mode : {StuckBackend::Mode::Fault, StuckBackend::Mode::Block}) {
        SCOPED_TRACE(static_cast<int>(mode));
        ChildResult r = runInChild([mode] {
            setPrevious(SIGSEGV, false);
            installCrashHandler();
            auto backend = std::make_shared<StuckBackend>(mode);
            Logger::instance().addBackend(backend);
            if (mode == StuckBackend::Mode::Fault) logInfo("stuck");  // faults inside
            std::thread([] { logInfo("stuck"); }).detach();
            while (!backend->reached.load()) usleep(1000);
            writeToSmallAddress();
        });
        ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
        expectCrashLines(r, SIGSEGV, accessLine("writing", "0x0000000000000010"), false);
        ASSERT_EQ(r.lines.size(), 2u) << r.dump();
        EXPECT_EQ(r.lines[0], std::to_string(LOG_INFO) + "|[obs-sayline] stuck");
        EXPECT_EQ(r.lines[1], "PREVIOUS sig=11 code=1 addr=0x10");
    }
}

void hangingOnCrashLines(int level, const char* format, va_list args, void* param) {
    va_list copy;
    va_copy(copy, args);
    char text[4096];
    std::vsnprintf(text, sizeof(text), format, copy);
    va_end(copy);
    if (std::strstr(text, "[CRASH]")) {
        for (;;) pause();
    }
    pipeLogHandler(level, format, args, param);
}

TEST(CrashHandlerTest, host_log_handler_that_hangs_is_ended_by_the_watchdog) {
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, false);
        installCrashHandler();
        base_set_log_handler(&hangingOnCrashLines, nullptr);
        writeToSmallAddress();
    });
    EXPECT_FALSE(r.timedOut);
    EXPECT_TRUE(r.killedBy(SIGALRM)) << r.dump();
    expectCrashLines(r, SIGSEGV, accessLine("writing", "0x0000000000000010"), false);
}

TEST(CrashHandlerTest, uninstall_restores_the_previous_handlers) {
    ChildResult r = runInChild([] {
        for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) setPrevious(sig, false);
        installCrashHandler();
        installCrashHandler();  // a second install must not remember ours as "previous"
        if (!crashHandlerInstalled()) writeLine("NOT INSTALLED");
        for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) {
            struct sigaction now {};
            sigaction(sig, nullptr, &now);
            if (now.sa_sigaction == &previousHandler) writeLine("STILL PREVIOUS");
        }
        uninstallCrashHandler();
        uninstallCrashHandler();
        if (crashHandlerInstalled()) writeLine("STILL INSTALLED");
        for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) {
            struct sigaction now {};
            sigaction(sig, nullptr, &now);
            if (now.sa_sigaction != &previousHandler || !(now.sa_flags & SA_SIGINFO)) {
                writeLine("NOT RESTORED");
            }
        }
        writeToSmallAddress();
    });
    ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
    ASSERT_EQ(r.lines.size(), 1u) << r.dump();
    EXPECT_EQ(r.lines[0], "PREVIOUS sig=11 code=1 addr=0x10");
}

TEST(CrashHandlerTest, uninstall_leaves_a_later_handler_in_place) {
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, true);
        installCrashHandler();
        setPrevious(SIGSEGV, false);  // someone else takes over after us
        uninstallCrashHandler();
        writeToSmallAddress();
    });
    ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
    ASSERT_EQ(r.lines.size(), 1u) << r.dump();
}

}  // namespace
}  // namespace obs_sayline::platform
