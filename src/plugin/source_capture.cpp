#include "plugin/source_capture.h"

#include <utility>

#include "core/logger.h"
#include "live/service_setup.h"
#include "plugin/audio_intake.h"
#include "plugin/subtitle_source_data.h"
#include "stt/stt_engine.h"

namespace obs_sayline {
namespace {

std::shared_ptr<const RecognitionSetup> recognitionSetup(const SubtitleSourceData& data) {
    auto setup = std::make_shared<RecognitionSetup>();
    const SourceSettings& s = data.settings;
    setup->engine = data.capture.sttEngine;
    setup->translator = data.capture.translator;
    setup->enableTranslation = s.enableTranslation;
    setup->showOriginal = s.showOriginal;
    setup->sourceLanguage = s.sourceLanguage;
    setup->targetLanguage = s.targetLanguage;
    setup->displayMs = s.subtitleDurationMs;
    return setup;
}

bool streams(const SourceSettings& s) { return s.sttEngineType == SttEngineType::DeepgramLive; }

// The road the settings ask for.
std::unique_ptr<LivePath> livePath(const SubtitleSourceData& data) {
    const SourceSettings& s = data.settings;
    if (streams(s)) {
        return LivePath::streamed(recognitionSetup(data), data.shared, data.sinks,
                                  prepareStreaming(serviceChoice(s), s.pauseMs));
    }
    if (s.chunkMode == ChunkMode::Pauses) {
        return LivePath::pauseCut(recognitionSetup(data), data.shared, data.sinks,
                                  PauseCutting{s.pauseMs, s.maxChunkMs});
    }
    return LivePath::fixedBlocks(recognitionSetup(data), data.shared, data.sinks);
}

// The program audio, or the one source the settings name.
bool connectAudio(SubtitleSourceData& data) {
    CaptureState& capture = data.capture;
    const std::string& name = data.settings.audioSource;
    if (name.empty()) return connectHostAudio(capture);
    capture.sourceIntake = std::make_unique<SourceAudioIntake>(
        *capture.live, capture.paused, data.shared->status, data.source, name);
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

void startCapture(SubtitleSourceData& data) {
    CaptureState& capture = data.capture;
    if (capture.capturing.load() || data.settings.sttEngineType == SttEngineType::None) return;
    logInfo("Starting audio capture...");
    capture.capturing.store(true);
    data.shared->audioPositionMs.store(0);

    const ServiceChoice choice = serviceChoice(data.settings);
    // A stream has no engine of the factory: it is made with the live path.
    if (!capture.sttEngine && !streams(data.settings)) {
        PreparedEngine prepared = prepareSttEngine(choice);
        // A failed engine ends the start here: no provider, no audio.
        if (prepared.failed) {
            data.shared->status.setCapture(CaptureCondition::EngineFailed);
            return;
        }
        capture.sttEngine = std::move(prepared.engine);
    }
    if (!capture.translator) capture.translator = prepareTranslator(choice);

    // Without an engine the capture is marked started but nothing listens.
    if (capture.sttEngine || streams(data.settings)) {
        auto live = livePath(data);
        if (live->start()) capture.live = std::move(live);
    }
    SourceStatus& status = data.shared->status;
    if (!capture.live) {
        status.setCapture(CaptureCondition::EngineUnavailable);
    } else if (!capture.audioConnected) {
        // Running before the intake looks for a chosen source, which may then be missing.
        status.setCapture(CaptureCondition::Running);
        capture.audioConnected = connectAudio(data);
        if (!capture.audioConnected) status.setCapture(CaptureCondition::AudioNotConnected);
    }
    logInfo("Audio capture started");
}

bool stopCapture(SubtitleSourceData& data) {
    CaptureState& capture = data.capture;
    if (!capture.capturing.load()) return false;
    logInfo("Stopping audio capture...");
    capture.capturing.store(false);

    if (capture.audioConnected) {
        // Waits for a callback in progress: nothing is fed after this.
        disconnectAudio(capture);
        capture.audioConnected = false;
    }
    const bool workerWasBusy = capture.live ? capture.live->stop() : false;

    data.sinks->clear();
    data.shared->status.setCapture(data.settings.sttEngineType == SttEngineType::None
                                       ? CaptureCondition::Off
                                       : CaptureCondition::Stopped);
    logInfo("Audio capture stopped");
    return workerWasBusy;
}

}  // namespace obs_sayline
