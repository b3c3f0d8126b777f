#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sinks/youtube/caption_wire.h"

namespace obs_sayline {

// How caption delivery stands, told to whoever shows it (the source's status row). Called on
// the delivery worker or on the thread that changed the settings, one call at a time and never
// after the poster is gone; a call must not wait for long.
class ICaptionDeliveryReport {
public:
    virtual ~ICaptionDeliveryReport() = default;
    // YouTube took a post.
    virtual void captionsPosted(std::chrono::steady_clock::time_point at) = 0;
    // The problem that stands now, as a sentence for the status row; empty: none any more.
    // Called only when it changes.
    virtual void captionProblem(const std::string& sentence) = 0;
};

struct CaptionDeliveryStats {
    uint64_t posts = 0;           // posts YouTube took
    uint64_t captions = 0;        // captions in them
    uint64_t retries = 0;         // attempts after the first of a post
    uint64_t dropped = 0;         // captions never sent: the queue overflowed, or they grew too old
    uint64_t refused = 0;         // captions in posts YouTube refused
    int64_t meanRoundTripMs = 0;  // over the posts YouTube took
};

// {"posts":n,"captions":n,"retries":n,"dropped":n,"refused":n,"averageRoundTripMs":n}
std::string captionStatisticsLine(const CaptionDeliveryStats& stats);

// "Captions sent to YouTube 2 s ago" ("... 3 min ago" from two minutes on).
std::string captionsSentSentence(std::chrono::steady_clock::duration ago);

struct CaptionPosterOptions {
    size_t queueLimit = 64;                   // the newest captions kept while posts wait
    std::chrono::milliseconds maxAge{60000};  // YouTube refuses older ones
    int32_t firstRetryDelayMs = 250;          // doubles per retry, with 10 % jitter
    int32_t maxRetryDelayMs = 5000;
    int32_t connectTimeoutMs = 5000;
    int32_t attemptTimeoutMs = 10000;
    std::string caBundlePath;  // empty: the system's roots
};

// Posts captions to a stream's caption URL, in order, from a worker of its own (started when
// there is something to post, gone when there is not), so that no caller waits on the
// network. Each post carries seq, from 1 for each stream: a post that failed is sent again
// with the same seq while its captions are young enough, and captions that queued up meanwhile
// go together in the next one. Timeouts, transport failures, 408, 429 and 5xx are retried with
// back-off; any other answer refuses that post, which stands as the problem until a post is
// taken. Every entry point only takes a short lock.
class YouTubeCaptionPoster {
public:
    explicit YouTubeCaptionPoster(std::shared_ptr<ICaptionDeliveryReport> report = nullptr,
                                  CaptionPosterOptions options = {});
    // Aborts a post in flight and forgets the queue; never waits for the network.
    ~YouTubeCaptionPoster();
    YouTubeCaptionPoster(const YouTubeCaptionPoster&) = delete;
    YouTubeCaptionPoster& operator=(const YouTubeCaptionPoster&) = delete;

    // The settings: whether captions go to YouTube and the caption URL as pasted (it carries
    // the stream's key: kept in memory only, its host alone is logged). A URL that is refused
    // is the problem while enabled. A new URL is a new destination: a stream that runs starts
    // over at seq 1.
    void configure(bool enabled, const std::string& pastedUrl);

    // A stream begins (seq from 1, nothing from before is sent) or ends (a post in flight is
    // aborted, the queue forgotten).
    void start();
    void stop();

    // Whether captions handed over now would be posted.
    bool accepting() const;

    // Queues captions behind those waiting; when more than queueLimit wait, the oldest go
    // (one Warning per run of drops). Ignored unless accepting.
    void post(std::vector<TimedCaption> captions);

    size_t waiting() const;
    CaptionDeliveryStats stats() const;
    std::string problem() const;
    std::optional<std::chrono::steady_clock::time_point> lastPostAt() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace obs_sayline
