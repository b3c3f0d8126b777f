#pragma once

#include <obs.h>

namespace obs_sayline {

struct SubtitleSourceData;

// Hotkey names, as the host stores their bindings with the source.
constexpr const char* kPauseHotkey = "sayline.pause";
constexpr const char* kResumeHotkey = "sayline.resume";
constexpr const char* kClearHotkey = "sayline.clear";

// What users, scripts and the dock can do with a running source: three hotkeys (pause captions,
// resume captions, clear the subtitle) and, on the source's handler, the procedures
// "get_status" (the status sentence "text" and its code "code"), "set_paused" (in bool
// "paused") and "clear_subtitle", which do what the hotkeys do.
struct SourceControls {
    obs_hotkey_id pause = OBS_INVALID_HOTKEY_ID;
    obs_hotkey_id resume = OBS_INVALID_HOTKEY_ID;
    obs_hotkey_id clear = OBS_INVALID_HOTKEY_ID;
};

// Registers them for the record's source (nothing without a host source).
void addSourceControls(SubtitleSourceData& data);
// Takes the hotkeys away; once it returns none of them runs. The procedure goes with the
// source's handler, after the record.
void removeSourceControls(SubtitleSourceData& data);

// The procedures' names.
constexpr const char* kGetStatusProc = "get_status";
constexpr const char* kSetPausedProc = "set_paused";
constexpr const char* kClearSubtitleProc = "clear_subtitle";

// Paused: no audio goes to recognition (nothing is sent, nothing is paid for).
void pauseCaptions(SubtitleSourceData& data, bool paused);
// Takes the subtitle off the scene; `by` says who asked, for the log ("hotkey", "procedure").
void clearSubtitle(SubtitleSourceData& data, const char* by);

}  // namespace obs_sayline
