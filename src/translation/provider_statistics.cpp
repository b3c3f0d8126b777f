#include "translation/provider_statistics.h"

#include <cinttypes>
#include <cstdio>

namespace obs_sayline {

std::string ProviderStatistics::format(const std::string& leadingFields, bool withTokens) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const int32_t requests = requests_.load();
    const int32_t successes = successes_.load();
    const int32_t errors = errors_.load();
    const int64_t latency = totalLatencyMs_.load();
    const int64_t chars = totalChars_.load();
    const int64_t promptTokens = promptTokens_.load();
    const int64_t completionTokens = completionTokens_.load();

    double average = 0.0;
    double rate = 0.0;
    if (requests >= 1) {
        average = static_cast<double>(latency) / requests;
        rate = static_cast<double>(successes) / requests * 100.0;
    }
    char buffer[256];
    std::snprintf(buffer, sizeof(buffer),
                  "\"requests\":%d,\"successes\":%d,\"errors\":%d,\"averageLatencyMs\":%.1f,"
                  "\"successRate\":%.1f,\"totalCharsTranslated\":%" PRId64,
                  requests, successes, errors, average, rate, chars);
    std::string line = "{" + leadingFields + buffer;
    if (withTokens) {
        std::snprintf(buffer, sizeof(buffer),
                      ",\"promptTokens\":%" PRId64 ",\"completionTokens\":%" PRId64, promptTokens,
                      completionTokens);
        line += buffer;
    }
    return line + "}";
}

}  // namespace obs_sayline
