#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace obs_sayline {

// Request counters of one engine. Counters are atomics; the text is made from one snapshot
// taken under the mutex.
class SttStatistics {
public:
    void countRequest() { requests_.fetch_add(1); }
    void countSuccess() { successes_.fetch_add(1); }
    void countError() { errors_.fetch_add(1); }
    void addLatency(int64_t ms) { totalLatencyMs_.fetch_add(ms); }

    // {"requests":4,"successes":3,"errors":1,"averageLatencyMs":632.5,"successRate":75.0};
    // `leadingMembers` (already formatted, each followed by a comma) go in front.
    std::string toText(const std::string& leadingMembers = {}) const;

private:
    std::atomic<int32_t> requests_{0};
    std::atomic<int32_t> successes_{0};
    std::atomic<int32_t> errors_{0};
    std::atomic<int64_t> totalLatencyMs_{0};
    mutable std::mutex mutex_;
};

}  // namespace obs_sayline
