#pragma once

#include <obs.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "live/source_shared.h"
#include "sinks/subtitle_sinks.h"
#include "plugin/source_capture.h"
#include "sinks/captions/closed_caption_sink.h"
#include "plugin/scene_text_sink.h"
#include "plugin/server_test.h"
#include "plugin/source_audio_intake.h"
#include "plugin/source_controls.h"
#include "plugin/source_settings.h"
#include "plugin/status_overlay.h"
#include "plugin/text_source.h"
#include "sinks/transcript/transcript_sink.h"

namespace obs_sayline {

class ISttEngine;
class ITranslationProvider;
class SubtitleEngine;

// Default box of a Sayline source until the canvas size is known.
constexpr uint32_t kDefaultSourceWidth = 1920;
constexpr uint32_t kDefaultSourceHeight = 160;

// How long update and destruction wait for a busy recognition worker.
constexpr std::chrono::milliseconds kWorkerWait{5000};

// What the render thread reads of the settings; written by the update.
struct SceneLook {
    void setFont(const platform::FontFace& chosen) {
        std::lock_guard<std::mutex> lock(fontMutex);
        font = chosen;
    }
    platform::FontFace fontNow() const {
        std::lock_guard<std::mutex> lock(fontMutex);
        return font;
    }
    mutable std::mutex fontMutex;  // held only to copy the font
    platform::FontFace font{defaults::kFontFace, "", 0};
    std::atomic<int> fontSize{static_cast<int>(defaults::kFontSize.defaultValue)};
    std::atomic<uint32_t> textColor{defaults::kOpaqueFontColor};
    std::atomic<bool> backgroundEnabled{defaults::kBackgroundEnabled};
    std::atomic<uint32_t> backgroundColor{defaults::kBackgroundColor};
    std::atomic<int> backgroundPadding{
        static_cast<int>(defaults::kBackgroundPadding.defaultValue)};
    std::atomic<int> subtitleDurationMs{
        static_cast<int>(defaults::kSubtitleDuration.defaultValue)};
    // Font, colour or background changed since the text source last took them.
    std::atomic<bool> changed{false};
};

// What the row text sources hold: the rows of one part, or the whole text in the first row
// (where the host text source lays it out, or rows cannot be measured).
struct RowsOnScreen {
    bool wholeText = false;
    SubtitlePart part;
};

// Render thread only: the subtitle on screen and its display timing.
struct RenderState {
    std::chrono::steady_clock::time_point shownAt{};  // when its part on screen was written
    bool subtitleVisible = false;
    std::optional<SceneSubtitle> subtitle;
    size_t part = 0;  // the part on screen
    // Written into the row text sources at video frame `textWrittenFrame`; they take it at their
    // next video tick, and until then still draw what they held before (`drawn`).
    bool written = false;
    std::optional<RowsOnScreen> writtenRows;
    uint64_t textWrittenFrame = 0;
    std::optional<RowsOnScreen> drawn;
};

// The record behind one Sayline source, owned by the host through the source's data pointer.
// Each part says which thread touches it.
struct SubtitleSourceData {
    explicit SubtitleSourceData(obs_source_t* owner);
    ~SubtitleSourceData();
    SubtitleSourceData(const SubtitleSourceData&) = delete;
    SubtitleSourceData& operator=(const SubtitleSourceData&) = delete;

    obs_source_t* source = nullptr;

    // Written only by update (the host's video tick); other threads (the property sheet's)
    // take a copy through settingsNow().
    SourceSettings settings;
    mutable std::mutex settingsMutex;  // held while settings is replaced
    SourceSettings settingsNow() const {
        std::lock_guard<std::mutex> lock(settingsMutex);
        return settings;
    }
    CaptureState capture;     // control thread (and the audio callback, see above)

    // Shared with recognition workers, which may outlive the record.
    std::shared_ptr<SourceShared> shared = std::make_shared<SourceShared>();
    std::shared_ptr<SubtitleSinks> sinks = std::make_shared<SubtitleSinks>();
    std::shared_ptr<PrivateTextSource> text = std::make_shared<PrivateTextSource>();
    std::shared_ptr<SceneTextSink> sceneText;  // the subtitle left for the render thread
    // Closed captions (CEA-608) into the host's outputs.
    std::shared_ptr<ClosedCaptionSink> closedCaptions;
    std::shared_ptr<TranscriptSink> transcript;  // the transcript files

    // The sheet's connection test; its worker may outlive the record.
    std::shared_ptr<ServerTest> serverTest = std::make_shared<ServerTest>();

    SceneLook look;       // written by update, read by render
    RenderState render;   // render thread
    // The status drawn in the scene (render thread); the hotkeys and the status procedure.
    StatusOverlay statusOverlay;
    SourceControls controls;

    // Atomic because the host may ask for the size from any of its threads.
    std::atomic<uint32_t> width{kDefaultSourceWidth};
    std::atomic<uint32_t> height{kDefaultSourceHeight};
    std::atomic<bool> canvasKnown{false};

    // The self-contained subtitle pipeline. Every record owns one for owners that drive it;
    // the host source itself never initialises or starts it.
    std::unique_ptr<SubtitleEngine> engine;
};

// The record's capture, started and stopped with its own settings and parts.
void startCapture(SubtitleSourceData& data);
bool stopCapture(SubtitleSourceData& data);
// Waits (at most 5 s) until the source's recognition worker has nothing left to do; true when
// it is idle.
bool waitForRecognition(const SubtitleSourceData& data);

}  // namespace obs_sayline
