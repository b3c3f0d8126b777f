#include "platform/url_opener.h"

#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose declarations it needs.
#include <shellapi.h>
#else
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace obs_sayline::platform {
namespace {

std::mutex openerMutex;
UrlOpener replacement;

bool systemOpen(const std::string& url) {
#ifdef _WIN32
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
#else
    std::string program = "xdg-open";
    std::string argument = url;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
    // xdg-open may stay until the browser exits: reap it off the caller's thread so the host's
    // UI never waits and no zombie stays behind.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
#endif
}

}  // namespace

bool openUrl(const std::string& url) {
    std::lock_guard<std::mutex> lock(openerMutex);
    if (replacement) return replacement(url);
    return systemOpen(url);
}

void setUrlOpener(UrlOpener opener) {
    std::lock_guard<std::mutex> lock(openerMutex);
    replacement = std::move(opener);
}

}  // namespace obs_sayline::platform
