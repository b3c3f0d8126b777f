#pragma once

#include <functional>
#include <memory>

#include "stt/stt_engine.h"
#include "stt/stt_types.h"

namespace obs_sayline {

using SttEngineCreator = std::function<std::shared_ptr<ISttEngine>()>;

// Process-wide registry of engine kinds. The built-in engines are registered once, on the first
// create(); a kind registered earlier is replaced by the built-in one at that point.
class SttFactory {
public:
    // A new engine of that kind, or nullptr (with a Warning) when none is registered.
    static std::shared_ptr<ISttEngine> create(SttEngineType type);

    // Stores (or replaces) the creator of a kind; false for an empty creator.
    static bool registerEngine(SttEngineType type, SttEngineCreator creator,
                               const SttEngineInfo& info);
};

}  // namespace obs_sayline
