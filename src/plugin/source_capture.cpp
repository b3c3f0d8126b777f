#include "plugin/source_capture.h"

#include <utility>

#include "core/logger.h"
#include "live/service_setup.h"
#include "plugin/audio_intake.h"
#include "plugin/source_log.h"
#include "stt/stt_engine.h"

namespace obs_sayline {
namespace {

std::shared_ptr<const RecognitionSetup> recognitionSetup(const CaptureState& capture,
                                                         const SourceSettings& s, uint64_t number) {
    auto setup = std::make_shared<RecognitionSetup>();
    setup->engine = capture.sttEngine;
    setup->translator = capture.translator;
    setup->enableTranslation = s.enableTranslation;
    setup->showOriginal = s.showOriginal;
    setup->sourceLanguage = s.sourceLanguage;
    setup->targetLanguage = s.targetLanguage;
    setup->displayMs = s.subtitleDurationMs;
    setup->wordRules = s.wordRules;
    setup->vocabulary = s.vocabulary;
    setup->audioStart = std::chrono::system_clock::now();
    setup->capture = number;
    return setup;
}

bool streams(const SourceSettings& s) { return s.sttEngineType == SttEngineType::DeepgramLive; }

// The road the settings ask for.
std::unique_ptr<LivePath> livePath(const CaptureState& capture, const SourceSettings& s,
                                   const CaptureWiring& wiring, uint64_t number) {
    auto setup = recognitionSetup(capture, s, number);
    if (streams(s)) {
        return LivePath::streamed(std::move(setup), wiring.shared, wiring.sinks,
                                  prepareStreaming(serviceChoice(s), s.pauseMs));
    }
    if (s.chunkMode == ChunkMode::Pauses) {
        return LivePath::pauseCut(std::move(setup), wiring.shared, wiring.sinks,
                                  PauseCutting{s.pauseMs, s.maxChunkMs});
    }
    return LivePath::fixedBlocks(std::move(setup), wiring.shared, wiring.sinks);
}

// The program audio, or the one source the settings name.
bool connectAudio(CaptureState& capture, const SourceSettings& settings,
                  const CaptureWiring& wiring) {
    const std::string& name = settings.audioSource;
    if (name.empty()) return connectHostAudio(capture);
    capture.sourceIntake = std::make_unique<SourceAudioIntake>(
        *capture.live, capture.paused, wiring.shared->status, wiring.owner, name);
    if (capture.sourceIntake->start()) return true;
    capture.sourceIntake.reset();
    return false;
}

void disconnectAudio(CaptureState& capture) {
    if (capture.sourceIntake) {
        capture.sourceIntake.reset();
    } else {
        disconnectHostAudio(capture);
    }
}

}  // namespace

void startCapture(CaptureState& capture, const SourceSettings& settings,
                  const CaptureWiring& wiring) {
    if (capture.capturing.load() || settings.sttEngineType == SttEngineType::None) return;
    logSource(LogLevel::Info, wiring.owner, "starts capturing audio");
    capture.capturing.store(true);
    SourceStatus& status = wiring.shared->status;
    wiring.shared->audioPositionMs.store(0);
    wiring.shared->heardSamples.store(0);
    wiring.shared->audioClock.reset();
    // Whatever an earlier capture's worker still reports no longer counts.
    const uint64_t number = status.newCapture();

    const ServiceChoice choice = serviceChoice(settings);
    if (!choice.vocabulary.empty() || !settings.wordRules.empty()) {
        logSource(LogLevel::Debug, wiring.owner,
                  "has %zu vocabulary terms, %zu replacements and %zu hidden words",
                  choice.vocabulary.size(), settings.wordRules.replacementCount(),
                  settings.wordRules.hiddenCount());
    }
    // A stream has no engine of the factory: it is made with the live path.
    if (!capture.sttEngine && !streams(settings)) {
        PreparedEngine prepared = prepareSttEngine(choice);
        // A failed engine ends the start here: no provider, no audio.
        if (prepared.failed) {
            status.setCapture(CaptureCondition::EngineFailed,
                              prepared.failure.empty()
                                  ? prepared.name
                                  : prepared.name + " (" + prepared.failure + ")");
            return;
        }
        capture.sttEngine = std::move(prepared.engine);
        capture.engineProblems = setupProblems(prepared);
    }
    if (!capture.sttEngine && !streams(settings)) {
        // Nothing listens and nothing is sent; the status says why.
        status.setCapture(settings.sttEngineType == SttEngineType::WhisperLocal
                              ? CaptureCondition::WhisperLocalUnavailable
                              : CaptureCondition::EngineUnavailable);
        return;
    }
    if (streams(settings)) capture.engineProblems = streamingSetupProblems(choice);
    if (!capture.translator) {
        PreparedTranslator prepared = prepareTranslation(choice);
        capture.translator = std::move(prepared.provider);
        capture.translatorProblems = setupProblems(prepared);
    }
    for (const auto* problems : {&capture.engineProblems, &capture.translatorProblems}) {
        for (const SetupProblem& problem : *problems) status.setupProblem(problem);
    }

    auto live = livePath(capture, settings, wiring, number);
    if (live->start()) capture.live = std::move(live);
    if (!capture.live) {
        status.setCapture(CaptureCondition::EngineUnavailable);
    } else if (!capture.audioConnected) {
        // Running before the intake looks for a chosen source, which may then be missing.
        status.setCapture(CaptureCondition::Running);
        capture.audioConnected = connectAudio(capture, settings, wiring);
        if (!capture.audioConnected) status.setCapture(CaptureCondition::AudioNotConnected);
    }
    logSource(LogLevel::Info, wiring.owner, "is capturing audio");
}

bool stopCapture(CaptureState& capture, const SourceSettings& settings,
                 const CaptureWiring& wiring) {
    if (!capture.capturing.load()) return false;
    logSource(LogLevel::Info, wiring.owner, "stops capturing audio");
    capture.capturing.store(false);

    if (capture.audioConnected) {
        // Waits for a callback in progress: nothing is fed after this.
        disconnectAudio(capture);
        capture.audioConnected = false;
    }
    const bool workerWasBusy = capture.live ? capture.live->stop() : false;

    wiring.sinks->clear();
    wiring.shared->status.setCapture(settings.sttEngineType == SttEngineType::None
                                         ? CaptureCondition::Off
                                         : CaptureCondition::Stopped);
    logSource(LogLevel::Info, wiring.owner, "stopped capturing audio");
    return workerWasBusy;
}

bool waitForRecognition(const CaptureState& capture, std::chrono::milliseconds timeout) {
    if (!capture.live) return true;
    return capture.live->recognition().waitIdle(timeout);
}

}  // namespace obs_sayline
