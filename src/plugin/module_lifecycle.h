#pragma once

#include <chrono>

namespace obs_sayline {

constexpr const char* kPluginVersion = SAYLINE_VERSION;
constexpr const char* kModuleDescription = "Real-time Sayline Plugin for OBS Studio";

// How long unload waits, in all, for the module's workers to stop after telling them to.
constexpr std::chrono::milliseconds kUnloadWorkerBound{2000};

// Routes the logger's lines to the host log (once per process).
void installHostLogBackend();

// Bodies of obs_module_load and obs_module_unload.
bool onModuleLoad();
void onModuleUnload();

}  // namespace obs_sayline
