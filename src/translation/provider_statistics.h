#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace obs_sayline {

// Counters of one provider. Updates are atomic adds from the translating thread; only the
// snapshot takes the mutex, so a reader sees one consistent line.
class ProviderStatistics {
public:
    void countRequest() { requests_.fetch_add(1); }
    void countError() { errors_.fetch_add(1); }
    void countSuccess(int64_t chars) {
        successes_.fetch_add(1);
        totalChars_.fetch_add(chars);
    }
    void addLatency(int64_t ms) { totalLatencyMs_.fetch_add(ms); }
    // Token use a service reported for one reply (negative counts add nothing).
    void addTokens(int32_t prompt, int32_t completion) {
        if (prompt > 0) promptTokens_.fetch_add(prompt);
        if (completion > 0) completionTokens_.fetch_add(completion);
    }

    // One JSON-shaped line without spaces. `leadingFields` (already formatted, each followed
    // by a comma) goes right after the opening brace; `withTokens` adds "promptTokens" and
    // "completionTokens" (the sums of addTokens) at the end.
    std::string format(const std::string& leadingFields = std::string(),
                       bool withTokens = false) const;

private:
    std::atomic<int32_t> requests_{0};
    std::atomic<int32_t> successes_{0};
    std::atomic<int32_t> errors_{0};
    std::atomic<int64_t> totalLatencyMs_{0};
    std::atomic<int64_t> totalChars_{0};
    std::atomic<int64_t> promptTokens_{0};
    std::atomic<int64_t> completionTokens_{0};
    mutable std::mutex mutex_;
};

}  // namespace obs_sayline
