#include "engine/subtitle_engine.h"

#include <utility>

#include "engine/subtitle_engine_impl.h"

namespace obs_sayline {

SubtitleEngine::SubtitleEngine() : impl_(std::make_unique<Impl>(nullptr)) {}
SubtitleEngine::SubtitleEngine(CaptureFactory makeCapture)
    : impl_(std::make_unique<Impl>(std::move(makeCapture))) {}
SubtitleEngine::~SubtitleEngine() = default;

Result<void> SubtitleEngine::initialize(const EngineConfig& config) {
    return impl_->initialize(config);
}
void SubtitleEngine::shutdown() { impl_->shutdown(); }
bool SubtitleEngine::isInitialized() const { return impl_->state != EngineState::Uninitialized; }
Result<void> SubtitleEngine::start() { return impl_->start(); }
void SubtitleEngine::stop() { impl_->stop(); }
void SubtitleEngine::pause() { impl_->pause(); }
void SubtitleEngine::resume() { impl_->resume(); }
EngineState SubtitleEngine::getState() const { return impl_->state; }

EngineConfig SubtitleEngine::getConfig() const {
    std::lock_guard<std::mutex> lock(impl_->stateMutex);
    return impl_->config;
}

Result<void> SubtitleEngine::updateConfig(const EngineConfig& config) {
    return impl_->updateConfig(config);
}

void SubtitleEngine::setSttEngine(std::shared_ptr<ISttEngine> engine) {
    std::lock_guard<std::mutex> lock(impl_->stateMutex);
    std::lock_guard<std::mutex> components(impl_->componentsMutex);
    impl_->stt = std::move(engine);
}

void SubtitleEngine::setTranslationProvider(std::shared_ptr<ITranslationProvider> provider) {
    std::lock_guard<std::mutex> lock(impl_->stateMutex);
    std::lock_guard<std::mutex> components(impl_->componentsMutex);
    impl_->provider = std::move(provider);
}

void SubtitleEngine::setRenderer(std::shared_ptr<ISubtitleRenderer> renderer) {
    std::lock_guard<std::mutex> lock(impl_->stateMutex);
    std::lock_guard<std::mutex> components(impl_->componentsMutex);
    impl_->renderer = std::move(renderer);
}

std::shared_ptr<ISttEngine> SubtitleEngine::getSttEngine() const {
    std::lock_guard<std::mutex> components(impl_->componentsMutex);
    return impl_->stt;
}

std::shared_ptr<ITranslationProvider> SubtitleEngine::getTranslationProvider() const {
    std::lock_guard<std::mutex> components(impl_->componentsMutex);
    return impl_->provider;
}

std::shared_ptr<ISubtitleRenderer> SubtitleEngine::getRenderer() const {
    std::lock_guard<std::mutex> components(impl_->componentsMutex);
    return impl_->renderer;
}

std::vector<SubtitleEntry> SubtitleEngine::getRecentEntries(size_t count) const {
    std::lock_guard<std::mutex> lock(impl_->entriesMutex);
    const size_t skip = impl_->history.size() > count ? impl_->history.size() - count : 0;
    return std::vector<SubtitleEntry>(impl_->history.begin() + static_cast<std::ptrdiff_t>(skip),
                                      impl_->history.end());
}

std::vector<SubtitleEntry> SubtitleEngine::getAllEntries() const {
    std::lock_guard<std::mutex> lock(impl_->entriesMutex);
    return std::vector<SubtitleEntry>(impl_->history.begin(), impl_->history.end());
}

void SubtitleEngine::clearEntries() {
    std::shared_ptr<ISubtitleRenderer> renderer = getRenderer();
    std::lock_guard<std::mutex> lock(impl_->entriesMutex);
    impl_->history.clear();
    if (renderer) renderer->clear();
}

Result<void> SubtitleEngine::exportSubtitles(const std::string& path, int32_t format,
                                             const ExportOptions& options) {
    return impl_->exportSubtitles(path, format, options);
}

void SubtitleEngine::setOnSubtitle(SubtitleCallback callback) {
    std::lock_guard<std::mutex> lock(impl_->callbacksMutex);
    impl_->onSubtitle = std::move(callback);
}

void SubtitleEngine::setOnStateChanged(StateCallback callback) {
    std::lock_guard<std::mutex> lock(impl_->callbacksMutex);
    impl_->onStateChanged = std::move(callback);
}

void SubtitleEngine::setOnError(ErrorCallback callback) {
    std::lock_guard<std::mutex> lock(impl_->callbacksMutex);
    impl_->onError = std::move(callback);
}

EngineStats SubtitleEngine::getStats() const { return impl_->stats(); }
void SubtitleEngine::resetStats() { impl_->resetStats(); }
std::string SubtitleEngine::getLastError() const { return impl_->lastError(); }

}  // namespace obs_sayline
