#include "plugin/subtitle_source_data.h"

#include <exception>
#include <thread>

#include "core/logger.h"
#include "engine/subtitle_engine.h"
#include "plugin/audio_intake.h"

namespace obs_sayline {

SubtitleSourceData::SubtitleSourceData(obs_source_t* owner) : source(owner) {
    logInfo("SubtitleSourceData created");
    engine = std::make_unique<SubtitleEngine>();
    audioBuffer.reserve(kAudioBufferReserveSamples);
}

SubtitleSourceData::~SubtitleSourceData() {
    logInfo("SubtitleSourceData destroying...");
    try {
        stopCapture(*this);
    } catch (const std::exception& e) {
        logErrorTag("Plugin", "Stopping capture failed while destroying: %s", e.what());
    } catch (...) {
        logErrorTag("Plugin", "Stopping capture failed while destroying");
    }

    for (int i = 0; i < kWorkerWaitPolls && workerRunning.load(); ++i) {
        std::this_thread::sleep_for(kWorkerWaitStep);
    }
    if (workerRunning.load()) {
        logWarning("Destructor: audio processing still running after 5s timeout");
    }

    if (engine) {
        engine->shutdown();
        engine.reset();
    }
    sttEngine.reset();
    translator.reset();
    if (textSource) {
        obs_source_release(textSource);
        textSource = nullptr;
    }
    logInfo("SubtitleSourceData destroyed");
}

}  // namespace obs_sayline
