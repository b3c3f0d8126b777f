#include "engine/subtitle_engine_types.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace obs_sayline {

const char* engineStateName(EngineState state) noexcept {
    switch (state) {
        case EngineState::Uninitialized:
            return "Uninitialized";
        case EngineState::Initialized:
            return "Initialized";
        case EngineState::Starting:
            return "Starting";
        case EngineState::Running:
            return "Running";
        case EngineState::Paused:
            return "Paused";
        case EngineState::Stopping:
            return "Stopping";
        case EngineState::Failed:
            return "Failed";
    }
    return "Unknown";
}

std::string makeEntryId(uint64_t epochMs, uint64_t counter) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llx-%llx", static_cast<unsigned long long>(epochMs),
                  static_cast<unsigned long long>(counter));
    return buf;
}

std::string nextEntryId() {
    static std::atomic<uint64_t> counter{0};
    const auto ticks =
        std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10000000>>>(
            std::chrono::system_clock::now().time_since_epoch())
            .count();
    return makeEntryId(static_cast<uint64_t>(ticks / 10000), counter.fetch_add(1));
}

double smoothLatency(double average, bool first, double latencyMs) {
    return first ? latencyMs : 0.9 * average + 0.1 * latencyMs;
}

}  // namespace obs_sayline
