#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/obs_audio_capture.h"
#include "core/result.h"
#include "core/subtitle_entry.h"
#include "engine/subtitle_engine_types.h"
#include "output/subtitle_exporter.h"
#include "output/subtitle_renderer.h"
#include "stt/stt_engine.h"
#include "translation/translation_provider.h"

namespace obs_sayline {

// The whole subtitle pipeline: capture -> processing -> voice detection -> recognition and
// translation on a worker pool -> history, renderer and owner callbacks.
class ISubtitleEngine {
public:
    using SubtitleCallback = std::function<void(const SubtitleEntry&)>;
    using StateCallback = std::function<void(EngineState oldState, EngineState newState)>;
    using ErrorCallback = std::function<void(const Error&)>;

    virtual ~ISubtitleEngine() = default;
    virtual Result<void> initialize(const EngineConfig& config) = 0;
    virtual void shutdown() = 0;
    virtual bool isInitialized() const = 0;
    virtual Result<void> start() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual EngineState getState() const = 0;
    virtual EngineConfig getConfig() const = 0;
    virtual Result<void> updateConfig(const EngineConfig& config) = 0;
    virtual void setSttEngine(std::shared_ptr<ISttEngine> engine) = 0;
    virtual void setTranslationProvider(std::shared_ptr<ITranslationProvider> provider) = 0;
    virtual void setRenderer(std::shared_ptr<ISubtitleRenderer> renderer) = 0;
    virtual std::shared_ptr<ISttEngine> getSttEngine() const = 0;
    virtual std::shared_ptr<ITranslationProvider> getTranslationProvider() const = 0;
    virtual std::shared_ptr<ISubtitleRenderer> getRenderer() const = 0;
    // The last `count` entries, oldest first.
    virtual std::vector<SubtitleEntry> getRecentEntries(size_t count) const = 0;
    virtual std::vector<SubtitleEntry> getAllEntries() const = 0;
    virtual void clearEntries() = 0;
    virtual Result<void> exportSubtitles(const std::string& path, int32_t format,
                                         const ExportOptions& options) = 0;
    // Owner callbacks run on pool workers (subtitle, error) or the control thread (state),
    // with the engine's callback lock held: they must not call back into the engine.
    virtual void setOnSubtitle(SubtitleCallback callback) = 0;
    virtual void setOnStateChanged(StateCallback callback) = 0;
    virtual void setOnError(ErrorCallback callback) = 0;
    virtual EngineStats getStats() const = 0;
    virtual void resetStats() = 0;
    virtual std::string getLastError() const = 0;
};

class SubtitleEngine : public ISubtitleEngine {
public:
    using CaptureFactory = std::function<std::unique_ptr<IAudioCapture>()>;

    // Captures through the host (ObsAudioCapture).
    SubtitleEngine();
    // Captures through whatever the factory makes, e.g. a capture fed by the owner.
    explicit SubtitleEngine(CaptureFactory makeCapture);
    ~SubtitleEngine() override;

    SubtitleEngine(const SubtitleEngine&) = delete;
    SubtitleEngine& operator=(const SubtitleEngine&) = delete;

    Result<void> initialize(const EngineConfig& config) override;
    void shutdown() override;
    bool isInitialized() const override;
    Result<void> start() override;
    void stop() override;
    void pause() override;
    void resume() override;
    EngineState getState() const override;
    EngineConfig getConfig() const override;
    Result<void> updateConfig(const EngineConfig& config) override;
    void setSttEngine(std::shared_ptr<ISttEngine> engine) override;
    void setTranslationProvider(std::shared_ptr<ITranslationProvider> provider) override;
    void setRenderer(std::shared_ptr<ISubtitleRenderer> renderer) override;
    std::shared_ptr<ISttEngine> getSttEngine() const override;
    std::shared_ptr<ITranslationProvider> getTranslationProvider() const override;
    std::shared_ptr<ISubtitleRenderer> getRenderer() const override;
    std::vector<SubtitleEntry> getRecentEntries(size_t count) const override;
    std::vector<SubtitleEntry> getAllEntries() const override;
    void clearEntries() override;
    Result<void> exportSubtitles(const std::string& path, int32_t format,
                                 const ExportOptions& options) override;
    void setOnSubtitle(SubtitleCallback callback) override;
    void setOnStateChanged(StateCallback callback) override;
    void setOnError(ErrorCallback callback) override;
    EngineStats getStats() const override;
    void resetStats() override;
    std::string getLastError() const override;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline
