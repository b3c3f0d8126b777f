#include "plugin/source_controls.h"

#include "core/logger.h"
#include "plugin/callback_guard.h"
#include "plugin/locale_text.h"
#include "plugin/source_log.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

SubtitleSourceData* recordOf(void* data) { return static_cast<SubtitleSourceData*>(data); }

void pressedPause(void* data, obs_hotkey_id, obs_hotkey_t*, bool pressed) {
    guardCallback("sayline_pause_hotkey", [&] {
        if (pressed && data) pauseCaptions(*recordOf(data), true);
    });
}

void pressedResume(void* data, obs_hotkey_id, obs_hotkey_t*, bool pressed) {
    guardCallback("sayline_resume_hotkey", [&] {
        if (pressed && data) pauseCaptions(*recordOf(data), false);
    });
}

void pressedClear(void* data, obs_hotkey_id, obs_hotkey_t*, bool pressed) {
    guardCallback("sayline_clear_hotkey", [&] {
        if (pressed && data) clearSubtitle(*recordOf(data), "hotkey");
    });
}

void setPaused(void* data, calldata_t* call) {
    guardCallback("set_paused", [&] {
        bool paused = false;
        if (!data || !call || !calldata_get_bool(call, "paused", &paused)) return;
        pauseCaptions(*recordOf(data), paused);
    });
}

void clearProc(void* data, calldata_t*) {
    guardCallback("clear_subtitle", [&] {
        if (data) clearSubtitle(*recordOf(data), "procedure");
    });
}

void getStatus(void* data, calldata_t* call) {
    guardCallback("get_status", [&] {
        if (!data || !call) return;
        const StatusReport report = recordOf(data)->shared->status.report();
        calldata_set_string(call, "text", report.sentence.c_str());
        calldata_set_string(call, "code", statusCodeName(report.code));
    });
}

}  // namespace

void addSourceControls(SubtitleSourceData& data) {
    obs_source_t* source = data.source;
    if (!source) return;
    SourceControls& controls = data.controls;
    controls.pause = obs_hotkey_register_source(source, kPauseHotkey, localText("Hotkey.Pause"),
                                                pressedPause, &data);
    controls.resume = obs_hotkey_register_source(source, kResumeHotkey, localText("Hotkey.Resume"),
                                                 pressedResume, &data);
    controls.clear = obs_hotkey_register_source(source, kClearHotkey, localText("Hotkey.Clear"),
                                                pressedClear, &data);
    proc_handler_t* procs = obs_source_get_proc_handler(source);
    proc_handler_add(procs, "void get_status(out string text, out string code)", getStatus, &data);
    proc_handler_add(procs, "void set_paused(in bool paused)", setPaused, &data);
    proc_handler_add(procs, "void clear_subtitle()", clearProc, &data);
}

void removeSourceControls(SubtitleSourceData& data) {
    SourceControls& controls = data.controls;
    for (obs_hotkey_id* id : {&controls.pause, &controls.resume, &controls.clear}) {
        if (*id == OBS_INVALID_HOTKEY_ID) continue;
        obs_hotkey_unregister(*id);
        *id = OBS_INVALID_HOTKEY_ID;
    }
}

void pauseCaptions(SubtitleSourceData& data, bool paused) {
    if (data.capture.paused.exchange(paused) == paused) return;
    logSource(LogLevel::Info, data.source, paused ? "captions paused" : "captions resumed");
    data.shared->status.setPaused(paused);
}

void clearSubtitle(SubtitleSourceData& data, const char* by) {
    logSource(LogLevel::Info, data.source, "subtitle cleared by %s", by);
    // The video tick empties the rows at its next frame.
    data.scene->clear();
}

}  // namespace obs_sayline
