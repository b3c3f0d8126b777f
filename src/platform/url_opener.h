#pragma once

#include <functional>
#include <string>

namespace obs_sayline::platform {

// Opens a web page in the user's default browser (Windows: ShellExecuteA "open"; elsewhere:
// xdg-open, started without a shell). Returns false when it could not be started.
bool openUrl(const std::string& url);

// Collects openers that have finished, without waiting for the others (unload).
void reapUrlOpeners();

// Replaces what openUrl does (tests install one so that no browser starts); an empty function
// puts the platform's opener back.
using UrlOpener = std::function<bool(const std::string&)>;
void setUrlOpener(UrlOpener opener);

}  // namespace obs_sayline::platform
