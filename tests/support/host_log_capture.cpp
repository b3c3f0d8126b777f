#include "support/host_log_capture.h"

#include <util/base.h>

#include "plugin/module_lifecycle.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace obs_sayline::test {

HostLogCapture& HostLogCapture::instance() {
    static HostLogCapture capture;
    return capture;
}

HostLogCapture::HostLogCapture() {
    const char* env = std::getenv("SAYLINE_TEST_LOG");
    echo_ = env && *env && *env != '0';
    base_set_log_handler(&HostLogCapture::handler, this);
    // Code the tests call directly logs through this process's own logger.
    installHostLogBackend();
}

void HostLogCapture::handler(int level, const char* format, va_list args, void* param) {
    auto* self = static_cast<HostLogCapture*>(param);
    char buffer[8192];
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(buffer, sizeof(buffer), format, copy);
    va_end(copy);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->lines_.push_back({level, buffer});
    if (self->echo_) std::fprintf(stderr, "[host %d] %s\n", level, buffer);
}

void HostLogCapture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

std::vector<HostLogLine> HostLogCapture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

std::vector<HostLogLine> HostLogCapture::moduleLines() const {
    std::vector<HostLogLine> out;
    for (auto& line : lines()) {
        if (line.text.rfind("[obs-sayline] ", 0) == 0) out.push_back(line);
    }
    return out;
}

bool HostLogCapture::contains(const std::string& text) const { return count(text) > 0; }

bool HostLogCapture::containsSubstring(const std::string& needle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& line : lines_) {
        if (line.text.find(needle) != std::string::npos) return true;
    }
    return false;
}

size_t HostLogCapture::count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (auto& line : lines_) {
        if (line.text == text) ++n;
    }
    return n;
}

std::string HostLogCapture::joined() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out;
    for (auto& line : lines_) {
        out += line.text;
        out += '\n';
    }
    return out;
}

void HostLogCapture::setEcho(bool echo) {
    std::lock_guard<std::mutex> lock(mutex_);
    echo_ = echo;
}

}  // namespace obs_sayline::test
