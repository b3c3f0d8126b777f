#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "output/subtitle_renderer.h"

namespace obs_sayline {

struct RendererInfo {
    int32_t type = 0;
    std::string name;
    std::string description;
};

// Process-wide registry of renderer kinds; the built-in text source renderer (type 1) is
// registered on first use, before any other registration.
class RendererFactory {
public:
    using Creator = std::function<std::shared_ptr<ISubtitleRenderer>()>;

    // A new renderer of that kind, or empty (with a Warning) when none is registered.
    static std::shared_ptr<ISubtitleRenderer> create(int32_t type);
    // Stores or replaces the creator of a kind; false for an empty creator.
    static bool registerRenderer(int32_t type, Creator creator, RendererInfo info);
};

}  // namespace obs_sayline
