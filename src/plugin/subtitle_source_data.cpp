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
        // Destruction runs on the host's destruction thread: the leftover is recognised here,
        // before the worker wait below.
        stopCapture(*this, LeftoverRecognition::CallingThread);
    } catch (const std::exception& e) {
        logErrorTag("Plugin", "Stopping capture failed while destroying: %s", e.what());
    } catch (...) {
        logErrorTag("Plugin", "Stopping capture failed while destroying");
    }

    if (!waitForWorker(*this)) {
        logWarning("Destructor: audio processing still running after 5s timeout");
    }
    // A worker still running keeps `shared`, its engine and its provider alive; from here on it
    // only finishes its request and throws the result away.
    shared->orphaned.store(true);

    if (engine) {
        engine->shutdown();
        engine.reset();
    }
    sttEngine.reset();
    translator.reset();
    recognition.reset();
    obs_source_t* text = nullptr;
    {
        // Released outside the lock: the host takes its own locks there, and its video
        // thread may hold them while it waits for this one.
        std::lock_guard<std::mutex> lock(textSourceMutex);
        text = textSource;
        textSource = nullptr;
    }
    if (text) obs_source_release(text);
    logInfo("SubtitleSourceData destroyed");
}

bool waitForWorker(const SubtitleSourceData& data) {
    for (int i = 0; i < kWorkerWaitPolls && data.workerRunning.load(); ++i) {
        std::this_thread::sleep_for(kWorkerWaitStep);
    }
    return !data.workerRunning.load();
}

}  // namespace obs_sayline
