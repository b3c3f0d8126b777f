#include "platform/user_files.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose declarations they need.
#include <knownfolders.h>
#include <shlobj.h>
#else
#include <fstream>
#endif

namespace obs_sayline::platform {
namespace {

std::string systemReason(int error) {
    return std::error_code(error, std::generic_category()).message();
}

#ifdef _WIN32
std::wstring widen(const std::string& utf8) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                            size);
    }
    return wide;
}

std::string narrow(const wchar_t* wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();  // the terminating NUL
    return utf8;
}
#else
std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// XDG_VIDEOS_DIR="$HOME/Videos" (or an absolute path) in user-dirs.dirs.
std::string fromUserDirs(const std::string& home) {
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty()) config = home + "/.config";
    std::ifstream in(config + "/user-dirs.dirs");
    const std::string key = "XDG_VIDEOS_DIR=";
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line.compare(at, key.size(), key) != 0) continue;
        std::string value = line.substr(at + key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        return value.empty() || value.front() != '/' ? "" : value;
    }
    return "";
}
#endif

}  // namespace

std::string videosFolder() {
#ifdef _WIN32
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Videos, 0, nullptr, &path))) folder = narrow(path);
    CoTaskMemFree(path);
    return folder;
#else
    std::string folder = environment("XDG_VIDEOS_DIR");
    if (!folder.empty()) return folder;
    const std::string home = environment("HOME");
    if (home.empty()) return "";
    folder = fromUserDirs(home);
    return folder.empty() ? home + "/Videos" : folder;
#endif
}

std::tm localTime(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    return local;
}

NewFile createNewFile(const std::string& utf8Path) {
    NewFile created;
    errno = 0;
    // "x": fail rather than open a file that is already there.
#ifdef _WIN32
    created.file = _wfopen(widen(utf8Path).c_str(), L"wbx");
#else
    created.file = std::fopen(utf8Path.c_str(), "wbx");
#endif
    if (!created.file) {
        const int error = errno;
        created.alreadyExists = error == EEXIST;
        created.reason = systemReason(error ? error : EIO);
    }
    return created;
}

}  // namespace obs_sayline::platform
