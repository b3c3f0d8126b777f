#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/subtitle_entry.h"

namespace obs_sayline {

struct SubtitleStyle {
    std::string fontFamily = "Arial";
    int32_t fontSize = 48;
    uint32_t textColor = 0xFFFFFFFF;     // 0xAARRGGBB
    uint32_t outlineColor = 0xFF000000;  // 0xAARRGGBB
    int32_t outlineWidth = 2;            // outline on when above 0
    int32_t alignment = 1;               // 0 left, 1 centre, 2 right
    bool showOriginal = true;
    bool showTranslation = true;
};

struct RendererConfig {
    int32_t rendererType = 1;
    SubtitleStyle style;
    std::string textSourceName;  // empty: "Sayline"
    bool createSourceIfMissing = true;
    bool enableSourceOnShow = true;
    bool disableSourceOnClear = true;
};

// Puts the current subtitle on screen.
class ISubtitleRenderer {
public:
    using ShownCallback = std::function<void(const SubtitleEntry&)>;
    using ClearedCallback = std::function<void()>;

    virtual ~ISubtitleRenderer() = default;
    virtual Result<void> initialize(const RendererConfig& config) = 0;
    virtual void shutdown() = 0;
    virtual bool isInitialized() const = 0;
    virtual Result<void> showSubtitle(const SubtitleEntry& entry) = 0;
    // Replaces the first current entry, or shows the entry when there is none.
    virtual Result<void> updateSubtitle(const SubtitleEntry& entry) = 0;
    virtual void clear() = 0;
    virtual bool hasSubtitle() const = 0;
    // The first current entry, or an empty one.
    virtual SubtitleEntry getCurrentSubtitle() const = 0;
    virtual Result<void> showSubtitles(const std::vector<SubtitleEntry>& entries) = 0;
    virtual std::vector<SubtitleEntry> getCurrentSubtitles() const = 0;
    virtual std::string getName() const = 0;
    virtual RendererConfig getConfig() const = 0;
    virtual Result<void> updateConfig(const RendererConfig& config) = 0;
    virtual Result<void> setStyle(const SubtitleStyle& style) = 0;
    virtual SubtitleStyle getStyle() const = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;
    virtual void setOpacity(float opacity) = 0;
    virtual float getOpacity() const = 0;
    // Callbacks run with the renderer locked.
    virtual void setOnShown(ShownCallback callback) = 0;
    virtual void setOnCleared(ClearedCallback callback) = 0;
    virtual std::string getStatusJson() const = 0;
    virtual Result<void> refresh() = 0;
};

}  // namespace obs_sayline
