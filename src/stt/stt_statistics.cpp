#include "stt/stt_statistics.h"

#include <cstdio>

namespace obs_sayline {

std::string SttStatistics::toText(const std::string& leadingMembers) const {
    int32_t requests, successes, errors;
    int64_t totalLatency;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests = requests_.load();
        successes = successes_.load();
        errors = errors_.load();
        totalLatency = totalLatencyMs_.load();
    }
    double average = 0.0;
    double rate = 0.0;
    if (requests >= 1) {
        average = static_cast<double>(totalLatency) / requests;
        rate = static_cast<double>(successes) / requests * 100.0;
    }
    char buffer[256];
    std::snprintf(buffer, sizeof(buffer),
                  "\"requests\":%d,\"successes\":%d,\"errors\":%d,\"averageLatencyMs\":%.1f,"
                  "\"successRate\":%.1f}",
                  requests, successes, errors, average, rate);
    return "{" + leadingMembers + buffer;
}

}  // namespace obs_sayline
