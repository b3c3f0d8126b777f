#pragma once

namespace obs_sayline {

constexpr const char* kPluginVersion = SAYLINE_VERSION;
constexpr const char* kModuleDescription = "Real-time Sayline Plugin for OBS Studio";

// Routes the logger's lines to the host log (once per process).
void installHostLogBackend();

// Bodies of obs_module_load and obs_module_unload.
bool onModuleLoad();
void onModuleUnload();

}  // namespace obs_sayline
