#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

// One line for the dock, as a source's sink hands it over.
struct FeedLine {
    uintptr_t source = 0;  // which source (its host handle, as a number: never dereferenced)
    std::string original;
    std::string translation;
    std::chrono::system_clock::time_point at{};  // when it was spoken (or arrived)
    // Still being spoken: replaces the source's previous interim line; an empty one takes it
    // down.
    bool interim = false;
};

// The process-wide hand-over from the sources' sinks (recognition workers) to the dock (the UI
// thread). Open only while a dock shows it; lines pushed while closed are dropped. Each call
// takes one short lock; what waits is bounded (the oldest finished lines go first, and a
// source has at most one interim line waiting), so a dock that stops taking costs nothing.
class DockFeed {
public:
    static constexpr size_t kWaitingLimit = 400;

    static DockFeed& instance();

    void open();
    // Closes and drops what waits.
    void close();
    bool isOpen() const;

    void push(FeedLine line);
    // Everything waiting, oldest first.
    std::vector<FeedLine> take();

private:
    mutable std::mutex mutex_;
    bool open_ = false;
    std::deque<FeedLine> waiting_;
};

// The sink of one source that feeds the dock: finished and interim lines, and capture stopped
// (its interim line goes).
class DockFeedSink final : public ISubtitleSink {
public:
    DockFeedSink(DockFeed& feed, uintptr_t source) : feed_(feed), source_(source) {}

    const char* name() const override { return "dock"; }
    void deliver(const FinishedSubtitle& subtitle) override;
    void clear() override;

private:
    DockFeed& feed_;
    uintptr_t source_;
};

// The dock's sink for a new source, or null while no dock shows the feed.
std::shared_ptr<ISubtitleSink> makeDockFeedSink(uintptr_t source);

}  // namespace obs_sayline
