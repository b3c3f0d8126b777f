#pragma once

#include <obs.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace obs_sayline {

class ISttEngine;
class ITranslationProvider;
class SubtitleEngine;

// Default box of a Sayline source until the canvas size is known.
constexpr uint32_t kDefaultSourceWidth = 1920;
constexpr uint32_t kDefaultSourceHeight = 160;

// Three seconds of 16 kHz mono audio: the intake buffer never needs to grow in normal use.
constexpr size_t kAudioBufferReserveSamples = 48000;

// How long update and destruction wait for a running recognition worker: 500 polls, 10 ms apart.
constexpr int kWorkerWaitPolls = 500;
constexpr std::chrono::milliseconds kWorkerWaitStep{10};

// What one recognition run works with: the engine, the provider and the settings that shape the
// subtitle. Taken as one immutable snapshot, so a worker never reads settings while an update
// rewrites them and keeps its engine and provider alive after the source has dropped them.
struct RecognitionSetup {
    std::shared_ptr<ISttEngine> engine;
    std::shared_ptr<ITranslationProvider> translator;
    bool enableTranslation = true;
    bool showOriginal = false;
    std::string sourceLanguage;
    std::string targetLanguage;
};

// The part of a source that a detached recognition worker touches. The source and each worker
// hold it by shared_ptr, so a worker that outlives the source (its request stalled past the
// 5 s wait of destruction) still writes to live memory; `orphaned` tells it to drop its result.
struct SourceSharedState {
    std::mutex bufferMutex;
    std::vector<float> audioBuffer;  // guarded by bufferMutex
    // Audio a stop left for the running worker to recognise after its current chunk.
    std::vector<float> handedOver;  // guarded by bufferMutex
    std::atomic<uint64_t> audioPositionMs{0};
    std::atomic<bool> workerRunning{false};
    // One recognition at a time per source, so results and the position advance in order.
    std::mutex recognitionMutex;

    std::mutex textMutex;
    std::string originalText;    // guarded by textMutex
    std::string translatedText;  // guarded by textMutex
    std::string pendingText;     // guarded by textMutex
    std::atomic<bool> textDirty{false};

    std::atomic<bool> orphaned{false};
};

// Per-source state shared by the host callbacks, the audio intake, the recognition worker and
// the renderer. Owned by the host through the source's opaque data pointer.
struct SubtitleSourceData {
    explicit SubtitleSourceData(obs_source_t* owner);
    ~SubtitleSourceData();
    SubtitleSourceData(const SubtitleSourceData&) = delete;
    SubtitleSourceData& operator=(const SubtitleSourceData&) = delete;

    obs_source_t* source = nullptr;
    std::atomic<bool> capturing{false};

    // Chosen services and languages.
    int sttEngineType = 0;
    bool enableTranslation = true;
    int translationProviderType = 0;
    std::string sourceLanguage;
    std::string targetLanguage = "en";
    int maxSubtitleLength = 100;

    std::shared_ptr<ISttEngine> sttEngine;
    std::shared_ptr<ITranslationProvider> translator;
    // Snapshot handed to each worker; rebuilt on every capture start.
    std::shared_ptr<const RecognitionSetup> recognition;

    // The self-contained subtitle pipeline. Every record owns one for owners that drive it;
    // the host source itself never initialises or starts it.
    std::unique_ptr<SubtitleEngine> engine;

    // Private text source that draws the subtitle; released on destruction. Created from the
    // control thread (update) or the graphics thread (render), hence the mutex.
    obs_source_t* textSource = nullptr;
    std::mutex textSourceMutex;

    std::shared_ptr<SourceSharedState> shared = std::make_shared<SourceSharedState>();

    // 16 kHz mono intake (the worker's half lives in `shared`).
    std::vector<float>& audioBuffer = shared->audioBuffer;
    std::mutex& bufferMutex = shared->bufferMutex;
    std::atomic<uint64_t>& audioPositionMs = shared->audioPositionMs;
    std::atomic<bool>& workerRunning = shared->workerRunning;
    bool audioConnected = false;

    std::string sttApiKey;
    std::string translationApiKey;

    // Look of the subtitle. Atomic where the render thread reads what an update writes.
    bool showOriginal = false;
    uint32_t textColor = 0xFFFFFFFF;
    int fontSize = 24;
    std::atomic<bool> backgroundEnabled{false};
    std::atomic<uint32_t> backgroundColor{0x80000000};
    int backgroundPadding = 10;

    // Texts handed from the worker to the renderer.
    std::string& originalText = shared->originalText;
    std::string& translatedText = shared->translatedText;
    std::string& pendingText = shared->pendingText;
    std::mutex& textMutex = shared->textMutex;
    std::atomic<bool>& textDirty = shared->textDirty;
    std::chrono::steady_clock::time_point shownAt{};  // render thread only
    bool subtitleVisible = false;                     // render thread only
    // Whether the shown text was measured against the box width, and wrapped when wider.
    // Render thread only; reset with every text the renderer writes.
    bool wrapChecked = false;
    uint64_t textWrittenFrame = 0;  // video frame time of that write; render thread only
    std::atomic<int> subtitleDurationMs{3000};

    // Atomic because the host may ask for the size from any of its threads.
    std::atomic<uint32_t> width{kDefaultSourceWidth};
    std::atomic<uint32_t> height{kDefaultSourceHeight};
    std::atomic<bool> canvasKnown{false};
};

// Polls workerRunning every 10 ms for at most 5 s; true when the worker has finished.
bool waitForWorker(const SubtitleSourceData& data);

}  // namespace obs_sayline
