#include "plugin/subtitle_source_data.h"

#include <exception>

#include "core/logger.h"
#include "engine/subtitle_engine.h"
#include "plugin/caption_sender.h"
#include "plugin/frontend_events.h"
#include "plugin/source_capture.h"
#include "plugin/source_lifecycle.h"
#include "plugin/source_log.h"
#include "sinks/dock/dock_feed.h"

namespace obs_sayline {
namespace {

// How the shared YouTube captions stand, into the source's status (which the workers keep alive).
class CaptionStatusReport final : public ICaptionDeliveryReport {
public:
    explicit CaptionStatusReport(std::weak_ptr<SourceShared> shared) : shared_(std::move(shared)) {}
    void captionsPosted(std::chrono::steady_clock::time_point at) override {
        if (auto alive = shared_.lock()) alive->status.captionsPosted(at);
    }
    void captionProblem(const std::string& sentence) override {
        if (auto alive = shared_.lock()) alive->status.captionProblem(sentence);
    }

private:
    std::weak_ptr<SourceShared> shared_;
};

}  // namespace

SubtitleSourceData::SubtitleSourceData(obs_source_t* owner) : source(owner) {
    engine = std::make_unique<SubtitleEngine>();
    rows = std::make_shared<SceneRows>(source);
    // The status lives in `shared`, which the workers keep alive as long as they report to it.
    std::weak_ptr<SourceShared> status = shared;
    scene = std::make_shared<SceneTextSink>(rows, [status](const std::string& missing) {
        auto alive = status.lock();
        if (!alive) return;
        if (missing.empty()) {
            alive->status.fontsCover();
        } else {
            alive->status.fontsMissing(missing);
        }
    });
    sinks->add(scene);
    sharedOutputs = std::make_shared<HubSource>(SubtitleHub::shared([] {
        auto hub = std::make_shared<SubtitleHub>(sendToActiveOutputs);
        followRecordings(hub->transcript());
        followStreaming(hub->youtube());
        return hub;
    }));
    sinks->add(sharedOutputs);
    youtube = sharedOutputs->hub()->youtube();
    youtubeReport = std::make_shared<CaptionStatusReport>(shared);
    // Only while a dock shows the feed (a host with a front end).
    if (auto dock = makeDockFeedSink(reinterpret_cast<uintptr_t>(source))) sinks->add(dock);
    if (source) shared->status.setLabel(obs_source_get_name(source));
    addSourceControls(*this);
    logSource(LogLevel::Info, source, "created");
}

SubtitleSourceData::~SubtitleSourceData() {
    logSource(LogLevel::Info, source, "destroying");
    serverTest->cancel();
    translationTest->cancel();
    youtubeTest->cancel();
    removeSourceControls(*this);
    // Destruction runs on the host's destruction thread: the leftover goes to a worker, and
    // only a worker that was already busy is waited for.
    bool workerWasBusy = false;
    try {
        workerWasBusy = stopCapture(*this);
    } catch (const std::exception& e) {
        logErrorTag("Plugin", "Stopping capture failed while destroying: %s", e.what());
    } catch (...) {
        logErrorTag("Plugin", "Stopping capture failed while destroying");
    }
    if (workerWasBusy && hostShuttingDown()) {
        // Unload stops the worker; a shutdown must not wait on the network per source.
        logDebug("Host is shutting down - not waiting for audio processing");
    } else if (workerWasBusy && !waitForRecognition(*this)) {
        logSource(LogLevel::Warning, source,
                  "still recognising after 5 s while destroyed - its result is dropped");
    }
    // A worker still running keeps what it uses alive; from here on it only finishes its
    // request and throws the result away.
    shared->orphaned.store(true);

    if (engine) {
        engine->shutdown();
        engine.reset();
    }
    capture.live.reset();
    capture.sttEngine.reset();
    capture.translator.reset();
    // At host shutdown the host destroys every source it still holds, ours among them, in an
    // order of its own: the private text sources may be gone already, and are not ours to
    // release then.
    rows->close(!hostShuttingDown());
    if (hostShuttingDown()) {
        statusOverlay.forget();
    } else {
        statusOverlay.release();
    }
    logSource(LogLevel::Info, source, "destroyed");
}

namespace {
CaptureWiring wiringOf(SubtitleSourceData& data) {
    return CaptureWiring{data.source, data.shared, data.sinks};
}
}  // namespace

void startCapture(SubtitleSourceData& data) {
    data.sharedOutputs->captureStarted(std::chrono::system_clock::now());
    startCapture(data.capture, data.settings, wiringOf(data));
}

bool stopCapture(SubtitleSourceData& data) {
    return stopCapture(data.capture, data.settings, wiringOf(data));
}

bool waitForRecognition(const SubtitleSourceData& data) {
    return waitForRecognition(data.capture, kWorkerWait);
}

}  // namespace obs_sayline
