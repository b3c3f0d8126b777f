#pragma once

#include <mutex>
#include <vector>

#include "output/subtitle_renderer.h"

namespace obs_sayline {

// State every renderer shares: flags, configuration, the current entries and the callbacks,
// all guarded by one renderer lock. Callbacks run with it held; it is recursive so that a
// callback may still read the renderer.
class SubtitleRendererBase : public ISubtitleRenderer {
public:
    bool isInitialized() const override;
    Result<void> showSubtitle(const SubtitleEntry& entry) override;
    Result<void> updateSubtitle(const SubtitleEntry& entry) override;
    bool hasSubtitle() const override;
    SubtitleEntry getCurrentSubtitle() const override;
    std::vector<SubtitleEntry> getCurrentSubtitles() const override;
    RendererConfig getConfig() const override;
    SubtitleStyle getStyle() const override;
    bool isVisible() const override;
    void setOpacity(float opacity) override;
    float getOpacity() const override;
    void setOnShown(ShownCallback callback) override;
    void setOnCleared(ClearedCallback callback) override;

protected:
    mutable std::recursive_mutex mutex_;
    bool initialized_ = false;
    bool visible_ = true;
    bool hasSubtitle_ = false;
    float opacity_ = 1.0f;
    RendererConfig config_;
    std::vector<SubtitleEntry> entries_;
    ShownCallback onShown_;
    ClearedCallback onCleared_;
};

}  // namespace obs_sayline
