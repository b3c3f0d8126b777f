#include "platform/crash_handler.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <util/base.h>

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
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

// ud2 and a real integer division by zero, out of the compiler's (and UBSan's) sight.
__attribute__((noinline)) void illegalInstruction() { asm volatile("ud2"); }

__attribute__((noinline)) void divideByZero() {
    asm volatile("xor %%ecx, %%ecx\n\tmov $1, %%eax\n\tcltd\n\tidivl %%ecx" ::
                     : "eax", "ecx", "edx", "cc");
}

struct ChildResult {
    int status = 0;
    std::vector<std::string> lines;
    bool timedOut = false;

    bool exitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    bool killedBy(int sig) const { return WIFSIGNALED(status) && WTERMSIG(status) == sig; }
    std::string dump() const {
        std::ostringstream out;
        out << "status=" << status << (timedOut ? " (timed out)" : "") << " lines:\n";
        for (auto& l : lines) out << "  " << l << "\n";
        return out.str();
    }
};

ChildResult runInChild(const std::function<void()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        g_pipe = fds[1];
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
    close(fds[1]);
    ChildResult result;
    std::string buffer;
    char chunk[1024];
    for (;;) {
        struct pollfd p {
            fds[0], POLLIN, 0
        };
        int ready = poll(&p, 1, 10000);
        if (ready <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        ssize_t n = read(fds[0], chunk, sizeof(chunk));
        if (n <= 0) break;
        buffer.append(chunk, static_cast<size_t>(n));
    }
    close(fds[0]);
    waitpid(pid, &result.status, 0);
    std::istringstream in(buffer);
    for (std::string line; std::getline(in, line);) result.lines.push_back(line);
    return result;
}

std::string crashLinePrefix(int sig) {
    char text[128];
    std::snprintf(text, sizeof(text),
                  "%d|[obs-sayline] [CRASH] !!! CRASH DETECTED !!! Code=0x%08X Addr=0x", LOG_ERROR,
                  sig);
    return text;
}

// The Addr= value must be the faulting instruction, inside the function that faulted.
void expectAddressInside(const std::string& line, void (*fn)()) {
    auto pos = line.find("Addr=");
    ASSERT_NE(pos, std::string::npos) << line;
    uintptr_t addr = std::strtoull(line.c_str() + pos + 5, nullptr, 16);
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
    ASSERT_EQ(r.lines.size(), 3u) << r.dump();
    EXPECT_EQ(r.lines[0].rfind(crashLinePrefix(SIGSEGV), 0), 0u) << r.dump();
    expectAddressInside(r.lines[0], &writeToSmallAddress);
    EXPECT_EQ(r.lines[1], std::to_string(LOG_ERROR) +
                              "|[obs-sayline] [CRASH] Access violation: writing address "
                              "0x0000000000000010");
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
    ASSERT_EQ(r.lines.size(), 3u) << r.dump();
    EXPECT_NE(r.lines[0].find("Code=0x0000000B"), std::string::npos);
    EXPECT_EQ(r.lines[1], std::to_string(LOG_ERROR) +
                              "|[obs-sayline] [CRASH] Access violation: reading address "
                              "0x0000000000000018");
}

TEST(CrashHandlerTest, default_action_still_kills_the_process) {
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, true);
        installCrashHandler();
        writeToSmallAddress();
    });
    EXPECT_TRUE(r.killedBy(SIGSEGV)) << r.dump();
    ASSERT_EQ(r.lines.size(), 2u) << r.dump();
    EXPECT_NE(r.lines[1].find("writing address 0x0000000000000010"), std::string::npos);
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
        ASSERT_EQ(r.lines.size(), 2u) << r.dump();
        EXPECT_EQ(r.lines[0].rfind(crashLinePrefix(c.sig), 0), 0u) << r.dump();
        expectAddressInside(r.lines[0], c.fn);
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
    ASSERT_EQ(r.lines.size(), 2u) << r.dump();
    EXPECT_EQ(r.lines[0].rfind(crashLinePrefix(SIGSEGV), 0), 0u) << r.dump();
    EXPECT_EQ(r.lines[1].rfind("PREVIOUS sig=11", 0), 0u) << r.dump();
}

class FaultingBackend : public ILogBackend {
public:
    void write(const LogEntry& entry) override {
        if (entry.message == "fault now") writeToSmallAddress();
    }
    void flush() override {}
    const char* name() const override { return "Faulting"; }
    bool isEnabled() const override { return true; }
    void setEnabled(bool) override {}
};

TEST(CrashHandlerTest, crash_under_the_logger_lock_skips_the_lines_instead_of_hanging) {
    ChildResult r = runInChild([] {
        setPrevious(SIGSEGV, false);
        installCrashHandler();
        Logger::instance().addBackend(std::make_shared<FaultingBackend>());
        logInfo("fault now");
    });
    EXPECT_FALSE(r.timedOut);
    ASSERT_TRUE(r.exitedWith(kPreviousHandlerExit)) << r.dump();
    ASSERT_EQ(r.lines.size(), 2u) << r.dump();
    EXPECT_EQ(r.lines[0], std::to_string(LOG_INFO) + "|[obs-sayline] fault now");
    EXPECT_EQ(r.lines[1], "PREVIOUS sig=11 code=1 addr=0x10");
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
