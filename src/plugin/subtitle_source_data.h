#pragma once

#include <obs.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "live/source_shared.h"
#include "plugin/server_test.h"
#include "plugin/source_audio_intake.h"
#include "plugin/source_capture.h"
#include "plugin/source_controls.h"
#include "plugin/source_settings.h"
#include "plugin/status_overlay.h"
#include "plugin/text_source.h"
#include "sinks/hub/hub_source.h"
#include "sinks/scene/scene_text_sink.h"
#include "sinks/subtitle_sinks.h"
#include "sinks/youtube/youtube_caption_sink.h"

namespace obs_sayline {

class ISttEngine;
class ITranslationProvider;
class SubtitleEngine;

// Default box of a Sayline source until the canvas size is known.
constexpr uint32_t kDefaultSourceWidth = 1920;
constexpr uint32_t kDefaultSourceHeight = 160;

// How long update and destruction wait for a busy recognition worker.
constexpr std::chrono::milliseconds kWorkerWait{5000};

// The record behind one Sayline source, owned by the host through the source's data pointer.
// It composes the source's parts, each made with what it needs (its interface to the host, its
// slice of the settings), so none of them sees the record; only the host callbacks do. Each
// part says which thread touches it.
struct SubtitleSourceData {
    explicit SubtitleSourceData(obs_source_t* owner);
    ~SubtitleSourceData();
    SubtitleSourceData(const SubtitleSourceData&) = delete;
    SubtitleSourceData& operator=(const SubtitleSourceData&) = delete;

    obs_source_t* source = nullptr;

    // Written only by update (the host's video tick, or create); other threads (the property
    // sheet's) take a copy through settingsNow().
    SourceSettings settings;
    mutable std::mutex settingsMutex;  // held while settings is replaced
    SourceSettings settingsNow() const {
        std::lock_guard<std::mutex> lock(settingsMutex);
        return settings;
    }

    // Shared with recognition workers, which may outlive the record.
    std::shared_ptr<SourceShared> shared = std::make_shared<SourceShared>();
    std::shared_ptr<SubtitleSinks> sinks = std::make_shared<SubtitleSinks>();
    CaptureState capture;  // control thread (and the audio callbacks, see there)

    // The scene text: the rows' host text sources, and the sink that lays subtitles out for
    // them and times them (on the video tick).
    std::shared_ptr<SceneRows> rows;
    std::shared_ptr<SceneTextSink> scene;
    // The hub's captions to the stream's YouTube caption URL (shared by every source), and
    // where its posts and problems reach this source's status while it sends to it.
    std::shared_ptr<YouTubeCaptionSink> youtube;
    std::shared_ptr<ICaptionDeliveryReport> youtubeReport;
    // Closed captions, transcripts and the other outputs every source shares, through the
    // process's hub.
    std::shared_ptr<HubSource> sharedOutputs;

    // The sheet's connection tests (speech, translation, a YouTube test caption); their workers
    // may outlive the record.
    std::shared_ptr<ServerTest> serverTest = std::make_shared<ServerTest>();
    std::shared_ptr<ServerTest> translationTest = std::make_shared<ServerTest>("translation-test");
    std::shared_ptr<ServerTest> youtubeTest = std::make_shared<ServerTest>("youtube-test");
    // The status drawn in the scene; the hotkeys and the status procedure.
    StatusOverlay statusOverlay;
    SourceControls controls;

    // Atomic because the host may ask for the size from any of its threads.
    std::atomic<uint32_t> width{kDefaultSourceWidth};
    std::atomic<uint32_t> height{kDefaultSourceHeight};

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
