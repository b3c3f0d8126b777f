#include "sinks/dock/dock_feed.h"

#include <gtest/gtest.h>

#include <string>

namespace obs_sayline {
namespace {

FinishedSubtitle said(std::string original, bool interim = false) {
    FinishedSubtitle s;
    s.original = std::move(original);
    s.interim = interim;
    return s;
}

TEST(DockFeedTest, DropsWhileClosedAndKeepsOneInterimLinePerSource) {
    DockFeed feed;
    DockFeedSink first(feed, 1);
    DockFeedSink second(feed, 2);
    first.deliver(said("before the dock"));
    EXPECT_TRUE(feed.take().empty());

    feed.open();
    first.deliver(said("hel", true));
    second.deliver(said("other", true));
    first.deliver(said("hello wor", true));
    first.deliver(said("hello world"));
    const auto lines = feed.take();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].original, "other");
    EXPECT_TRUE(lines[0].interim);
    EXPECT_EQ(lines[1].original, "hello world");
    EXPECT_FALSE(lines[1].interim);
    EXPECT_NE(lines[1].at, std::chrono::system_clock::time_point{});
    EXPECT_TRUE(feed.take().empty());

    // Capture stopped: an empty interim line takes down what was being spoken.
    first.clear();
    const auto cleared = feed.take();
    ASSERT_EQ(cleared.size(), 1u);
    EXPECT_TRUE(cleared[0].interim);
    EXPECT_TRUE(cleared[0].original.empty());

    first.deliver(said("left waiting"));
    feed.close();
    feed.open();
    EXPECT_TRUE(feed.take().empty());
}

TEST(DockFeedTest, AFeedNobodyTakesFromStaysBounded) {
    DockFeed feed;
    feed.open();
    DockFeedSink sink(feed, 7);
    for (size_t i = 0; i < DockFeed::kWaitingLimit + 50; ++i) sink.deliver(said(std::to_string(i)));
    const auto lines = feed.take();
    ASSERT_EQ(lines.size(), DockFeed::kWaitingLimit);
    EXPECT_EQ(lines.front().original, "50");
    EXPECT_EQ(lines.back().original, std::to_string(DockFeed::kWaitingLimit + 49));
}

}  // namespace
}  // namespace obs_sayline
