#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace obs_sayline::platform {

// The user's videos folder as UTF-8, or empty when there is none to be found. Windows: the
// Videos known folder. Elsewhere: XDG_VIDEOS_DIR from the environment, else from the user's
// user-dirs.dirs, else $HOME/Videos.
std::string videosFolder();

// `when` in the local time zone (safe on any thread).
std::tm localTime(std::time_t when);

// A file made by createNewFile: open for binary writing, or null with the reason.
struct NewFile {
    std::FILE* file = nullptr;
    bool alreadyExists = false;  // someone else has that name: nothing was touched
    std::string reason;          // the system's words for a failure
};

// Creates the file at `utf8Path`, which must not exist yet: an existing file is never opened,
// let alone truncated. Writes may go back and overwrite what was written (fseek).
NewFile createNewFile(const std::string& utf8Path);

}  // namespace obs_sayline::platform
