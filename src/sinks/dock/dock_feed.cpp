#include "sinks/dock/dock_feed.h"

#include <algorithm>
#include <utility>

namespace obs_sayline {

DockFeed& DockFeed::instance() {
    static DockFeed feed;
    return feed;
}

void DockFeed::open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
}

void DockFeed::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    waiting_.clear();
}

bool DockFeed::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

void DockFeed::push(FeedLine line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return;
    // A newer interim line, or the finished one, makes the waiting interim line of the same
    // source pointless.
    const uintptr_t source = line.source;
    waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                  [source](const FeedLine& waiting) {
                                      return waiting.interim && waiting.source == source;
                                  }),
                   waiting_.end());
    waiting_.push_back(std::move(line));
    while (waiting_.size() > kWaitingLimit) waiting_.pop_front();
}

std::vector<FeedLine> DockFeed::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<FeedLine> lines(std::make_move_iterator(waiting_.begin()),
                                std::make_move_iterator(waiting_.end()));
    waiting_.clear();
    return lines;
}

void DockFeedSink::deliver(const FinishedSubtitle& subtitle) {
    FeedLine line;
    line.source = source_;
    line.original = subtitle.original;
    line.translation = subtitle.translation;
    line.at = subtitle.spokenAt != std::chrono::system_clock::time_point{}
                  ? subtitle.spokenAt
                  : std::chrono::system_clock::now();
    line.interim = subtitle.interim;
    feed_.push(std::move(line));
}

void DockFeedSink::clear() {
    FeedLine line;
    line.source = source_;
    line.interim = true;
    feed_.push(std::move(line));
}

std::shared_ptr<ISubtitleSink> makeDockFeedSink(uintptr_t source) {
    DockFeed& feed = DockFeed::instance();
    if (!feed.isOpen()) return nullptr;
    return std::make_shared<DockFeedSink>(feed, source);
}

}  // namespace obs_sayline
