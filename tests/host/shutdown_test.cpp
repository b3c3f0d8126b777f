// Shutting the host down, and loading the module again, while a request hangs: each scenario
// runs in a process of its own (shutdown_child.cpp), which must exit cleanly and soon.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/subtitle_readback.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ChildRun {
    int status = -1;
    std::string output;
    // From the child's "SHUTDOWN" line to its exit, for the last shutdown it printed.
    std::chrono::milliseconds afterShutdown{0};
};

ChildRun runChild(const char* mode, const char* argument = nullptr) {
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(SAYLINE_SHUTDOWN_CHILD, SAYLINE_SHUTDOWN_CHILD, mode, argument,
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    Clock::time_point shutdownAt{};
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    char buffer[4096];
    for (;;) {
        pollfd pfd{fds[0], POLLIN, 0};
        if (poll(&pfd, 1, 100) > 0) {
            const ssize_t n = read(fds[0], buffer, sizeof(buffer));
            if (n <= 0) break;
            const size_t seen = run.output.size();
            run.output.append(buffer, static_cast<size_t>(n));
            if (run.output.find("SHUTDOWN\n", seen >= 9 ? seen - 9 : 0) != std::string::npos) {
                shutdownAt = Clock::now();
            }
        }
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
    }
    close(fds[0]);
    waitpid(pid, &run.status, 0);
    if (shutdownAt != Clock::time_point{}) {
        run.afterShutdown =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - shutdownAt);
    }
    return run;
}

void expectCleanQuickExit(const ChildRun& run) {
    ASSERT_TRUE(WIFEXITED(run.status)) << run.output;
    EXPECT_EQ(WEXITSTATUS(run.status), 0) << run.output;
    EXPECT_NE(run.output.find("RESULT OK"), std::string::npos) << run.output;
    EXPECT_LT(run.afterShutdown, std::chrono::milliseconds(3000)) << run.output;
}

TEST(HostShutdownTest, exits_soon_after_a_source_with_a_stalled_request_was_destroyed) {
    expectCleanQuickExit(runChild("destroyed"));
}

TEST(HostShutdownTest, exits_soon_while_a_source_still_waits_on_a_stalled_request) {
    expectCleanQuickExit(runChild("alive"));
}

TEST(HostShutdownTest, module_unloaded_and_loaded_again_with_a_worker_in_flight) {
    expectCleanQuickExit(runChild("reload"));
}

TEST(HostShutdownTest, a_throw_in_module_load_or_unload_leaves_the_host_running) {
    for (const char* mode : {"load-fault", "unload-fault"}) {
        const ChildRun run = runChild(mode);
        ASSERT_TRUE(WIFEXITED(run.status)) << mode << "\n" << run.output;
        EXPECT_EQ(WEXITSTATUS(run.status), 0) << mode << "\n" << run.output;
    }
}

// A transcript is whole after every cue: a host killed outright leaves one that players read.
TEST(HostShutdownTest, a_host_killed_after_two_subtitles_leaves_a_transcript_of_both) {
    char folder[] = "/tmp/sayline-killed-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const ChildRun run = runChild("transcript-kill", folder);
    ASSERT_TRUE(WIFSIGNALED(run.status)) << run.output;
    EXPECT_EQ(WTERMSIG(run.status), SIGKILL);

    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path().string());
    }
    ASSERT_EQ(files.size(), 1u);
    const obs_sayline::test::SubtitleReadBack back = obs_sayline::test::readBackSubtitles(files[0]);
    EXPECT_EQ(back.codec, "subrip");
    EXPECT_EQ(back.packets, 2);
    ASSERT_EQ(back.cues.size(), 2u) << back.raw;
    EXPECT_EQ(back.cues[0].text, "words number 1");
    EXPECT_EQ(back.cues[1].text, "words number 2");
    std::filesystem::remove_all(folder);
}

}  // namespace
