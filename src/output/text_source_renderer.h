#pragma once

#include <obs.h>

#include <cstdint>
#include <string>

#include "output/subtitle_renderer_base.h"

namespace obs_sayline {

// Shows subtitles through a named host text source, found or created at initialisation.
class TextSourceRenderer : public SubtitleRendererBase {
public:
    TextSourceRenderer();
    ~TextSourceRenderer() override;

    TextSourceRenderer(const TextSourceRenderer&) = delete;
    TextSourceRenderer& operator=(const TextSourceRenderer&) = delete;

    Result<void> initialize(const RendererConfig& config) override;
    void shutdown() override;
    Result<void> showSubtitles(const std::vector<SubtitleEntry>& entries) override;
    void clear() override;
    std::string getName() const override;
    Result<void> updateConfig(const RendererConfig& config) override;
    Result<void> setStyle(const SubtitleStyle& style) override;
    void show() override;
    void hide() override;
    std::string getStatusJson() const override;
    Result<void> refresh() override;

    // The name of the host text source in use.
    std::string sourceName() const;

private:
    // Each expects the renderer lock held.
    obs_source_t* findOrCreateSource(const std::string& name, bool create);
    void setSourceText(const std::string& text);
    void clearLocked();

    std::string sourceName_ = "Sayline";
    std::string template_ = "{original}";
    int64_t lastShowMs_ = 0;
    uint64_t showCount_ = 0;
    uint64_t updateCount_ = 0;
    uint64_t clearCount_ = 0;
    obs_source_t* source_ = nullptr;
};

}  // namespace obs_sayline
