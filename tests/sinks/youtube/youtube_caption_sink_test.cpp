// Captions to YouTube against a loopback server that holds every post to YouTube's rules.
#include "sinks/youtube/youtube_caption_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sinks/hub/subtitle_hub.h"
#include "sinks/youtube/caption_wire.h"
#include "sinks/youtube/test_caption.h"
#include "support/host_log_capture.h"
#include "support/module_workers.h"
#include "support/youtube_caption_server.h"

namespace obs_sayline {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;
using std::chrono::system_clock;
using test::HostLogCapture;
using test::YouTubeCaptionServer;

constexpr milliseconds kWait{10000};

// The capture must exist before libcurl's global state, which logs as it goes at exit.
HostLogCapture& gEarlyCapture = HostLogCapture::instance();

// The poster counts a post once its answer is read, a moment after the server has it.
template <typename Done>
bool eventually(Done&& done) {
    const auto until = steady_clock::now() + kWait;
    while (!done()) {
        if (steady_clock::now() > until) return false;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

// What the status row would be told.
class RecordingReport final : public ICaptionDeliveryReport {
public:
    void captionsPosted(steady_clock::time_point) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++posted_;
    }
    void captionProblem(const std::string& sentence) override {
        std::lock_guard<std::mutex> lock(mutex_);
        problems_.push_back(sentence);
        changed_.notify_all();
    }
    size_t posted() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return posted_;
    }
    std::vector<std::string> problems() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return problems_;
    }
    bool waitForProblems(size_t count) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kWait, [&] { return problems_.size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    size_t posted_ = 0;
    std::vector<std::string> problems_;
};

FinishedSubtitle said(const std::string& text, milliseconds ago = milliseconds(200)) {
    FinishedSubtitle s;
    s.original = text;
    s.text = text;
    s.startMs = 1000;
    s.endMs = 2000;
    s.spokenAt = system_clock::now() - ago;
    return s;
}

class YouTubeCaptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        ASSERT_TRUE(server.start());
    }

    void TearDown() override {
        sink.reset();
        test::joinModuleWorkers();
        EXPECT_TRUE(server.violations().empty()) << server.violations().front();
        // The key travels in the URL only: no log line may carry it.
        EXPECT_FALSE(HostLogCapture::instance().containsSubstring(server.cid()))
            << HostLogCapture::instance().joined();
    }

    void makeSink(CaptionPosterOptions options = fastOptions()) {
        sink = std::make_unique<YouTubeCaptionSink>(report, options);
        YouTubeCaptionOptions settings;
        settings.enabled = true;
        settings.url = server.captionUrl();
        sink->configure(settings);
        sink->streamingStarted();
    }

    static CaptionPosterOptions fastOptions() {
        CaptionPosterOptions options;
        options.firstRetryDelayMs = 10;
        options.maxRetryDelayMs = 40;
        options.attemptTimeoutMs = 3000;
        return options;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& caption : server.captions()) out.push_back(caption.text);
        return out;
    }

    size_t logLinesWith(const std::string& part) const {
        size_t count = 0;
        for (const auto& line : HostLogCapture::instance().moduleLines()) {
            if (line.text.find(part) != std::string::npos) ++count;
        }
        return count;
    }

    YouTubeCaptionServer server;
    std::shared_ptr<RecordingReport> report = std::make_shared<RecordingReport>();
    std::unique_ptr<YouTubeCaptionSink> sink;
};

TEST_F(YouTubeCaptionTest,
       subtitles_arrive_in_order_one_post_each_and_a_new_stream_starts_at_seq_1) {
    makeSink();
    const std::vector<std::string> lines = {
        "One.", "This caption is long enough to take two rows on screen.", "Three.", "Four.",
        "Five."};
    for (size_t i = 0; i < lines.size(); ++i) {
        sink->deliver(said(lines[i]));
        ASSERT_TRUE(server.waitForCaptions(i + 1, kWait));
    }
    EXPECT_EQ(server.seqs(), (std::vector<uint64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(texts(),
              (std::vector<std::string>{"One.",
                                        "This caption is long enough to take two<br>rows on "
                                        "screen.",
                                        "Three.", "Four.", "Five."}));
    ASSERT_TRUE(eventually([&] { return report->posted() == 5; }));
    const CaptionDeliveryStats stats = sink->poster().stats();
    EXPECT_EQ(stats.posts, 5u);
    EXPECT_EQ(stats.retries, 0u);
    ASSERT_TRUE(sink->poster().lastPostAt());
    EXPECT_EQ(captionsSentSentence(milliseconds(2400)), "Captions sent to YouTube 2 s ago");
    EXPECT_EQ(captionsSentSentence(seconds(200)), "Captions sent to YouTube 3 min ago");
    EXPECT_TRUE(report->problems().empty());

    // What queues while a post is in flight goes, in order, in the next one.
    server.script({{200, 400}});
    sink->deliver(said("Six."));
    ASSERT_TRUE(server.waitForPosts(6, kWait));
    sink->deliver(said("Seven."));
    sink->deliver(said("Eight."));
    ASSERT_TRUE(server.waitForCaptions(8, kWait));
    EXPECT_EQ(server.seqs(), (std::vector<uint64_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(server.captions()[7].text, "Eight.");
    EXPECT_EQ(server.captions()[7].seq, 7u);

    // Interim lines never go out; a stream that starts again counts from 1.
    FinishedSubtitle interim = said("Still speak");
    interim.interim = true;
    sink->deliver(interim);
    sink->streamingStopped();
    sink->deliver(said("Between streams."));
    sink->streamingStarted();
    sink->deliver(said("New stream."));
    ASSERT_TRUE(server.waitForCaptions(9, kWait));
    EXPECT_EQ(server.seqs().back(), 1u);
    EXPECT_EQ(texts().back(), "New stream.");
    EXPECT_EQ(server.captions().size(), 9u);
}

TEST_F(YouTubeCaptionTest, failed_attempts_are_retried_with_the_same_seq_until_taken) {
    CaptionPosterOptions options = fastOptions();
    options.attemptTimeoutMs = 300;
    makeSink(options);
    // One failure that the retry mends is not worth a problem.
    server.script({{503, 0}});
    sink->deliver(said("First."));
    ASSERT_TRUE(server.waitForCaptions(1, kWait));
    EXPECT_TRUE(report->problems().empty());

    // A timeout, then 5xx and 429: the problem stands while it lasts, and goes with success.
    server.script({{200, 1500}, {502, 0}, {429, 0}, {200, 0}});
    sink->deliver(said("Second."));
    ASSERT_TRUE(server.waitForCaptions(2, kWait));
    EXPECT_EQ(server.seqs(), (std::vector<uint64_t>{1, 1, 2, 2, 2, 2}));
    EXPECT_EQ(texts(), (std::vector<std::string>{"First.", "Second."}));
    EXPECT_EQ(sink->poster().stats().retries, 4u);
    ASSERT_TRUE(report->waitForProblems(3));
    EXPECT_EQ(
        report->problems(),
        (std::vector<std::string>{"YouTube did not take the captions (HTTP 502): retrying",
                                  "YouTube did not take the captions (HTTP 429): retrying", ""}));
    EXPECT_EQ(logLinesWith("Captions get through to 127.0.0.1 again"), 1u);
}

TEST_F(YouTubeCaptionTest,
       a_refused_post_is_not_retried_and_stands_as_the_problem_until_one_is_taken) {
    makeSink();
    server.script({{403, 0}, {403, 0}});
    sink->deliver(said("Refused."));
    ASSERT_TRUE(report->waitForProblems(1));
    const std::string refused = "YouTube refused the captions (HTTP 403): check the caption URL";
    EXPECT_EQ(report->problems().back(), refused);
    sink->deliver(said("Refused again."));
    ASSERT_TRUE(server.waitForPosts(2, kWait));
    EXPECT_EQ(sink->poster().problem(), refused);
    sink->deliver(said("Taken."));
    ASSERT_TRUE(server.waitForCaptions(1, kWait));
    ASSERT_TRUE(report->waitForProblems(2));

    EXPECT_EQ(server.seqs(), (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_EQ(texts(), (std::vector<std::string>{"Taken."}));
    EXPECT_EQ(report->problems(), (std::vector<std::string>{refused, ""}));
    const CaptionDeliveryStats stats = sink->poster().stats();
    EXPECT_EQ(stats.refused, 2u);
    EXPECT_EQ(stats.retries, 0u);
    EXPECT_EQ(logLinesWith("[YouTube] Captions to 127.0.0.1: YouTube refused"), 1u);
}

TEST_F(YouTubeCaptionTest, a_stalled_server_never_holds_the_caller_and_the_queue_stays_bounded) {
    CaptionPosterOptions options = fastOptions();
    options.attemptTimeoutMs = 300;
    makeSink(options);
    server.setStalled(true);
    sink->deliver(said("In flight."));
    ASSERT_TRUE(server.waitForPosts(1, kWait));

    steady_clock::duration slowest{};
    for (int i = 0; i < 100; ++i) {
        const auto started = steady_clock::now();
        sink->deliver(said("Waiting " + std::to_string(i) + "."));
        slowest = std::max(slowest, steady_clock::now() - started);
    }
    EXPECT_LT(slowest, milliseconds(250));
    EXPECT_EQ(sink->poster().waiting(), 64u);
    EXPECT_EQ(sink->poster().stats().dropped, 36u);
    EXPECT_EQ(logLinesWith("older ones are dropped"), 1u);
    // The second attempt that times out makes it a problem.
    ASSERT_TRUE(report->waitForProblems(1));
    EXPECT_EQ(report->problems().back().rfind("YouTube's caption server cannot be reached (", 0),
              0u)
        << report->problems().back();
    std::printf("stalled: %s\n", report->problems().back().c_str());

    // Unload aborts the post in flight: its join does not wait for the server.
    const auto started = steady_clock::now();
    test::joinModuleWorkers();
    EXPECT_LT(steady_clock::now() - started, seconds(4));
    // Only the first post was ever tried, its retries with its own seq.
    for (uint64_t seq : server.seqs()) EXPECT_EQ(seq, 1u);
    sink.reset();
    EXPECT_LT(steady_clock::now() - started, seconds(4));
}

TEST_F(YouTubeCaptionTest, captions_older_than_a_minute_are_dropped_not_sent) {
    CaptionPosterOptions options = fastOptions();
    options.maxAge = milliseconds(1500);
    makeSink(options);
    sink->deliver(said("Too old.", milliseconds(2000)));
    sink->deliver(said("Fresh."));
    ASSERT_TRUE(server.waitForCaptions(1, kWait));
    EXPECT_EQ(texts(), (std::vector<std::string>{"Fresh."}));
    EXPECT_EQ(server.seqs(), (std::vector<uint64_t>{1}));

    // A post that keeps failing is given up once its captions are too old; the next post
    // has a seq of its own.
    std::vector<YouTubeCaptionServer::Answer> failing(200, {503, 0});
    server.script(failing);
    sink->deliver(said("Never taken."));
    ASSERT_TRUE(server.waitForPosts(3, kWait));
    std::this_thread::sleep_for(milliseconds(1500));
    server.script({});
    sink->deliver(said("After the outage."));
    ASSERT_TRUE(server.waitForCaptions(2, kWait));
    EXPECT_EQ(server.captions().back().text, "After the outage.");
    EXPECT_EQ(server.captions().back().seq, 3u);
    EXPECT_EQ(sink->poster().stats().dropped, 2u);
    EXPECT_EQ(server.skewRefusals(), 0u);
}

TEST_F(YouTubeCaptionTest, a_clock_off_youtubes_is_warned_once_and_a_skew_refusal_says_so) {
    makeSink();
    server.setClockOffset(seconds(5));
    for (size_t i = 0; i < 3; ++i) {
        sink->deliver(said("Tick " + std::to_string(i) + "."));
        ASSERT_TRUE(server.waitForCaptions(i + 1, kWait));
    }
    EXPECT_EQ(logLinesWith("This computer's clock is "), 1u);
    EXPECT_EQ(logLinesWith(" s behind YouTube's: captions may show at the wrong time"), 1u);

    server.setClockOffset(seconds(-70));
    sink->deliver(said("Skewed."));
    ASSERT_TRUE(report->waitForProblems(1));
    EXPECT_EQ(server.skewRefusals(), 1u);
    EXPECT_EQ(report->problems().back(),
              "YouTube refused the captions (HTTP 400): their times are more than 60 s off "
              "YouTube's clock; check this computer's clock and the caption time offset");
}

TEST_F(YouTubeCaptionTest, what_is_sent_follows_the_settings) {
    sink = std::make_unique<YouTubeCaptionSink>(report, fastOptions());
    YouTubeCaptionOptions settings;
    settings.url = server.captionUrl();
    settings.translation = false;
    settings.offsetMs = 2500;
    sink->configure(settings);  // not enabled
    sink->streamingStarted();
    sink->deliver(said("Off."));

    settings.enabled = true;
    settings.url = "https://captions.example.com/closedcaption?cid=" + server.cid();
    sink->configure(settings);
    ASSERT_TRUE(report->waitForProblems(1));
    EXPECT_EQ(report->problems().back().rfind("YouTube caption URL refused: only YouTube's", 0),
              0u);

    // Where no front end tells of streaming, the source's time on air is the stream.
    settings.url = server.captionUrl();
    sink->configure(settings);
    sink->followSourceActivation(true);
    sink->sourceDeactivated();
    sink->deliver(said("Not on air."));
    sink->sourceActivated();
    FinishedSubtitle translated = said("Guten Morgen.");
    translated.translation = "Good morning.";
    sink->deliver(translated);
    ASSERT_TRUE(server.waitForCaptions(1, kWait));

    EXPECT_EQ(texts(), (std::vector<std::string>{"Guten Morgen."}));
    EXPECT_EQ(server.captions()[0].time,
              formatCaptionTime(translated.spokenAt + milliseconds(2500)));
    EXPECT_EQ(server.seqs(), (std::vector<uint64_t>{1}));
    EXPECT_EQ(report->problems().back(), "");
    EXPECT_EQ(logLinesWith("[YouTube] Captions go to 127.0.0.1"), 1u);
}

TEST_F(YouTubeCaptionTest, sources_share_one_caption_stream_with_a_mark_per_speaker) {
    auto hub = std::make_shared<SubtitleHub>(
        [](const std::vector<OutputCaption>&) { return size_t{0}; }, false);
    hub->youtube()->followSourceActivation(true);
    auto join = [&](const std::string& name, bool youtube, CaptionText text,
                    std::shared_ptr<ICaptionDeliveryReport> status) {
        const uint64_t id = hub->join();
        HubContribution c;
        c.label = c.speaker = name;
        c.captionText = text;
        c.youtube.enabled = youtube;
        c.youtube.url = server.captionUrl();
        c.youtubeReport = std::move(status);
        hub->configure(id, c);
        hub->activated(id);
        return id;
    };
    auto streamerStatus = std::make_shared<RecordingReport>();
    auto guestStatus = std::make_shared<RecordingReport>();
    const uint64_t streamer = join("Streamer", true, CaptionText::Translation, streamerStatus);
    const uint64_t guest = join("Guest", true, CaptionText::Original, guestStatus);
    const uint64_t muted = join("Muted", false, CaptionText::Translation, report);

    auto deliver = [&](uint64_t source, FinishedSubtitle s) {
        hub->deliver(source, s, SubtitleHub::Clock::now());
    };
    // Ready out of turn: they go by when they were spoken.
    FinishedSubtitle translated = said("Guten Tag.", milliseconds(2500));
    translated.translation = "Good day.";
    deliver(guest, translated);
    deliver(streamer, said("Hello there.", milliseconds(3000)));
    deliver(muted, said("Not for YouTube.", milliseconds(2800)));
    deliver(streamer, said("Back to me.", milliseconds(1000)));
    deliver(streamer, said("Still me.", milliseconds(500)));
    hub->pump(SubtitleHub::Clock::now() + seconds(1));
    ASSERT_TRUE(server.waitForCaptions(4, kWait));

    EXPECT_EQ(texts(), (std::vector<std::string>{">> Streamer: Hello there.",
                                                 ">> Guest: Guten Tag.",
                                                 ">> Streamer: Back to me.", "Still me."}));
    // One stream: seq from 1, one more per post (captions queued meanwhile go together).
    const std::vector<uint64_t> seqs = server.seqs();
    EXPECT_EQ(seqs.front(), 1u);
    for (size_t i = 1; i < seqs.size(); ++i) EXPECT_LE(seqs[i] - seqs[i - 1], 1u);
    // Both sources' rows hear of the posts; the one not sending hears nothing.
    EXPECT_TRUE(eventually([&] {
        return streamerStatus->posted() > 0 && streamerStatus->posted() == guestStatus->posted();
    }));
    EXPECT_EQ(report->posted(), 0u);
    EXPECT_EQ(logLinesWith("The shared YouTube captions take the caption URL (host 127.0.0.1) "
                           "and offset of 'Streamer'"),
              1u);

    // The first leaves: the next in turn settles the shared settings.
    hub->leave(streamer);
    EXPECT_EQ(logLinesWith("offset of 'Guest'"), 1u);
    hub->leave(guest);
    hub->leave(muted);
}

TEST_F(YouTubeCaptionTest, a_test_caption_reports_youtubes_answer) {
    TestCaptionAnswer answer = postTestCaption(server.captionUrl());
    EXPECT_TRUE(answer.taken());
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(parseCaptionTime(answer.body));
    ASSERT_TRUE(answer.clockOffsetMs);
    EXPECT_LT(std::abs(*answer.clockOffsetMs), 1000);
    EXPECT_GE(answer.roundTripMs, 0);
    ASSERT_EQ(server.captions().size(), 1u);
    EXPECT_EQ(server.captions()[0].text, kTestCaptionText);
    EXPECT_EQ(server.seqs(), (std::vector<uint64_t>{1}));

    server.script({{403, 0}});
    answer = postTestCaption(server.captionUrl());
    EXPECT_EQ(answer.status, 403);
    EXPECT_FALSE(answer.taken());

    answer = postTestCaption("https://captions.example.com/closedcaption?cid=x");
    EXPECT_FALSE(answer.refusal.empty());
    EXPECT_EQ(server.seqs().size(), 2u);

    server.stop();
    answer = postTestCaption(server.captionUrl());
    EXPECT_EQ(answer.status, 0);
    EXPECT_FALSE(answer.error.empty());
}

}  // namespace
}  // namespace obs_sayline
