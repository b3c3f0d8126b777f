#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace obs_sayline::test {

struct HostLogLine {
    int level;
    std::string text;
};

// Captures every line written through the host's log (blog) with base_set_log_handler.
// The handler is process-global, so there is one capture per process.
class HostLogCapture {
public:
    static HostLogCapture& instance();

    void clear();
    std::vector<HostLogLine> lines() const;
    // Lines whose text starts with "[obs-sayline] ".
    std::vector<HostLogLine> moduleLines() const;
    bool contains(const std::string& text) const;
    bool containsSubstring(const std::string& needle) const;
    size_t count(const std::string& text) const;
    // Every captured line joined by '\n', for failure messages and secret checks.
    std::string joined() const;

    // Also echo each line to stderr (SAYLINE_TEST_LOG=1 turns this on).
    void setEcho(bool echo);

private:
    HostLogCapture();
    static void handler(int level, const char* format, va_list args, void* param);

    mutable std::mutex mutex_;
    std::vector<HostLogLine> lines_;
    bool echo_ = false;
};

}  // namespace obs_sayline::test
