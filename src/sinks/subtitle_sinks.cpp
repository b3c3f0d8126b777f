#include "sinks/subtitle_sinks.h"

#include <algorithm>
#include <exception>

#include "core/logger.h"

namespace obs_sayline {
namespace {

template <typename Call>
void guarded(const ISubtitleSink& sink, const char* what, Call&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        logErrorTag("Sink", "%s failed in %s: %s", sink.name(), what, e.what());
    } catch (...) {
        logErrorTag("Sink", "%s failed in %s", sink.name(), what);
    }
}

}  // namespace

void SubtitleSinks::add(std::shared_ptr<ISubtitleSink> sink) {
    if (!sink) return;
    std::lock_guard<std::mutex> lock(mutex_);
    sinks_.push_back(std::move(sink));
}

void SubtitleSinks::remove(const std::shared_ptr<ISubtitleSink>& sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

std::vector<std::shared_ptr<ISubtitleSink>> SubtitleSinks::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sinks_;
}

// Sinks are called outside the list's lock, so one may add or remove sinks meanwhile.
void SubtitleSinks::deliver(const FinishedSubtitle& subtitle) const {
    for (const auto& sink : snapshot()) {
        guarded(*sink, "deliver", [&] { sink->deliver(subtitle); });
    }
}

void SubtitleSinks::clear() const {
    for (const auto& sink : snapshot()) {
        guarded(*sink, "clear", [&] { sink->clear(); });
    }
}

void SubtitleSinks::sourceActivated() const {
    for (const auto& sink : snapshot()) {
        guarded(*sink, "sourceActivated", [&] { sink->sourceActivated(); });
    }
}

void SubtitleSinks::sourceDeactivated() const {
    for (const auto& sink : snapshot()) {
        guarded(*sink, "sourceDeactivated", [&] { sink->sourceDeactivated(); });
    }
}

size_t SubtitleSinks::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sinks_.size();
}

}  // namespace obs_sayline
