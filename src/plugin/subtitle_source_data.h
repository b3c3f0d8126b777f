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

// How long destruction waits for a running recognition worker: 500 polls, 10 ms apart.
constexpr int kWorkerWaitPolls = 500;
constexpr std::chrono::milliseconds kWorkerWaitStep{10};

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

    // The self-contained subtitle pipeline. Every record owns one for owners that drive it;
    // the host source itself never initialises or starts it.
    std::unique_ptr<SubtitleEngine> engine;

    // Private text source that draws the subtitle; released on destruction.
    obs_source_t* textSource = nullptr;

    // 16 kHz mono intake.
    std::vector<float> audioBuffer;
    std::mutex bufferMutex;  // guards audioBuffer
    uint64_t audioPositionMs = 0;
    std::atomic<bool> workerRunning{false};
    bool audioConnected = false;

    std::string sttApiKey;
    std::string translationApiKey;

    // Look of the subtitle.
    bool showOriginal = false;
    uint32_t textColor = 0xFFFFFFFF;
    int fontSize = 24;
    bool backgroundEnabled = false;
    uint32_t backgroundColor = 0x80000000;
    int backgroundPadding = 10;

    // Texts handed from the worker to the renderer.
    std::string originalText;
    std::string translatedText;
    std::string pendingText;
    std::mutex textMutex;  // guards the three texts above
    std::atomic<bool> textDirty{false};
    std::chrono::steady_clock::time_point shownAt{};
    bool subtitleVisible = false;
    int subtitleDurationMs = 3000;

    // Atomic because the host may ask for the size from any of its threads.
    std::atomic<uint32_t> width{kDefaultSourceWidth};
    std::atomic<uint32_t> height{kDefaultSourceHeight};
    bool canvasKnown = false;
};

}  // namespace obs_sayline
