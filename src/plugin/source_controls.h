#pragma once

#include <obs.h>

namespace obs_sayline {

struct SubtitleSourceData;

// Hotkey names, as the host stores their bindings with the source.
constexpr const char* kPauseHotkey = "sayline.pause";
constexpr const char* kResumeHotkey = "sayline.resume";
constexpr const char* kClearHotkey = "sayline.clear";

// What users and scripts can do with a running source: three hotkeys (pause captions, resume
// captions, clear the subtitle) and the procedure "get_status" on the source's handler, which
// returns the status sentence ("text") and its code ("code").
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

// Paused: no audio goes to recognition (nothing is sent, nothing is paid for).
void pauseCaptions(SubtitleSourceData& data, bool paused);

}  // namespace obs_sayline
