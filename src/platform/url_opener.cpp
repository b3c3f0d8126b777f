#include "platform/url_opener.h"

#include <mutex>
#include <vector>

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

#ifndef _WIN32
// Openers started and not yet reaped. xdg-open may stay until the browser exits, so nobody
// waits for it: finished ones are collected on the next open and at unload.
std::vector<pid_t> children;  // guarded by openerMutex

void reapFinishedLocked() {
    for (auto it = children.begin(); it != children.end();) {
        int status = 0;
        const pid_t done = waitpid(*it, &status, WNOHANG);
        it = (done == 0) ? std::next(it) : children.erase(it);
    }
}
#endif

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
    reapFinishedLocked();
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
    children.push_back(pid);
    return true;
#endif
}

}  // namespace

bool openUrl(const std::string& url) {
    std::lock_guard<std::mutex> lock(openerMutex);
    if (replacement) return replacement(url);
    return systemOpen(url);
}

void reapUrlOpeners() {
#ifndef _WIN32
    std::lock_guard<std::mutex> lock(openerMutex);
    reapFinishedLocked();
#endif
}

void setUrlOpener(UrlOpener opener) {
    std::lock_guard<std::mutex> lock(openerMutex);
    replacement = std::move(opener);
}

}  // namespace obs_sayline::platform
