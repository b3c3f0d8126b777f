#pragma once

#include <obs.h>

#include <atomic>
#include <memory>
#include <vector>

#include "live/live_path.h"
#include "live/source_shared.h"
#include "plugin/source_audio_intake.h"
#include "plugin/source_settings.h"
#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

class ISttEngine;
class ITranslationProvider;

// One source's capture: the control thread starts and stops it; the audio callbacks read
// `live` and `paused` between connection and disconnection.
struct CaptureState {
    std::atomic<bool> capturing{false};
    bool audioConnected = false;
    // Paused by hotkey (any thread): the audio callbacks drop what they get. Outlasts restarts.
    std::atomic<bool> paused{false};
    std::shared_ptr<ISttEngine> sttEngine;
    std::shared_ptr<ITranslationProvider> translator;
    // What their setup found wrong (a missing key, a refused server URL), said again by every
    // capture that uses them.
    std::vector<SetupProblem> engineProblems;
    std::vector<SetupProblem> translatorProblems;
    // The current capture's live path; kept after a stop so update and destruction can wait
    // for its worker.
    std::unique_ptr<LivePath> live;
    // Set while listening to one chosen source instead of the program audio.
    std::unique_ptr<SourceAudioIntake> sourceIntake;
};

// What a capture is wired to: the Sayline source it belongs to (named in its log lines; a
// chosen audio source's rename is written into its settings), what it shares with its
// workers, and where its subtitles go.
struct CaptureWiring {
    obs_source_t* owner = nullptr;
    std::shared_ptr<SourceShared> shared;
    std::shared_ptr<SubtitleSinks> sinks;
};

// Makes a fresh engine and provider when the capture has none, builds the live path the
// settings ask for and connects it to the program audio or the chosen source. The status
// starts afresh for the new setup, with its problems (a missing key, a refused server URL, an
// engine that is not there). Does nothing when already capturing or no engine is chosen.
void startCapture(CaptureState& capture, const SourceSettings& settings,
                  const CaptureWiring& wiring);

// Disconnects from the audio, hands what is still buffered to the recognition worker (it is
// recognised there, never on the calling thread) and clears the subtitle. Safe when never
// started. Returns whether the worker was busy when the stop came: only then do update and
// destruction wait for it.
bool stopCapture(CaptureState& capture, const SourceSettings& settings,
                 const CaptureWiring& wiring);

// Waits (at most `timeout`) until the capture's recognition worker has nothing left to do;
// true when it is idle.
bool waitForRecognition(const CaptureState& capture, std::chrono::milliseconds timeout);

}  // namespace obs_sayline
