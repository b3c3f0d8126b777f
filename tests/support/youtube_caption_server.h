#pragma once

// A stand-in for YouTube's caption ingestion on 127.0.0.1 that holds every post to the rules
// YouTube documents for "Closed Captions over HTTP":
//   - POST /closedcaption?cid=<the stream's key>&seq=<n>, Content-Type text/plain;
//   - seq present, 1 for a new stream, then one more for each new post, the same on a retry;
//   - the body alternates a time line "YYYY-MM-DDTHH:MM:SS.mmm" (UTC) and a text line, each
//     ended by '\n'; a text line is never empty and a break inside a caption is "<br>";
//   - a caption more than 60 s off the server's clock is refused with 400 (as YouTube does);
//   - a taken post is answered 200 with the server's clock in the same time form.
// A post that breaks a rule is answered 400 and its breach kept in violations(). A wrong cid
// gets 403. Answers can be scripted (503 then 200, 403, a stall).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "support/loopback_server.h"

namespace obs_sayline::test {

class YouTubeCaptionServer {
public:
    struct Caption {
        std::string time;  // as sent
        std::string text;  // as sent, "<br>" included
        uint64_t seq = 0;
        std::chrono::system_clock::time_point at;
    };
    // One post's answer: its status, after stalling for stallMs (until stop()).
    struct Answer {
        int status = 200;
        int stallMs = 0;
    };

    explicit YouTubeCaptionServer(std::string cid = "ab12-cd34-ef56-7890");
    ~YouTubeCaptionServer();

    bool start();
    void stop();
    // The caption URL as YouTube Studio would show it for this server.
    std::string captionUrl() const;
    const std::string& cid() const { return cid_; }

    // One post as it arrived: its path and query, and its body.
    struct Post {
        std::string target;
        std::string body;
    };

    // Answers for the next posts, in order; 200 once they are used up.
    void script(std::vector<Answer> answers);
    // While on, every post stalls until it is turned off or the server stops.
    void setStalled(bool stalled);
    // The server's clock runs this far ahead of the system clock.
    void setClockOffset(std::chrono::milliseconds offset);

    // Captions of the posts that were taken, in order of arrival.
    std::vector<Caption> captions() const;
    // seq of every post that arrived, retries included.
    std::vector<uint64_t> seqs() const;
    // Every post that arrived (a wrong cid's included), in order.
    std::vector<Post> posts() const;
    std::vector<std::string> violations() const;
    // Posts answered 400 for skew.
    size_t skewRefusals() const;
    bool waitForCaptions(size_t count, std::chrono::milliseconds timeout) const;
    bool waitForPosts(size_t count, std::chrono::milliseconds timeout) const;

    LoopbackServer& http() { return server_; }

private:
    void handle(const httplib::Request& req, httplib::Response& res);
    std::string checkLocked(const httplib::Request& req, uint64_t& seq,
                            std::vector<Caption>& captions);

    std::string cid_;
    LoopbackServer server_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Answer> script_;
    bool stalled_ = false;
    std::chrono::milliseconds clockOffset_{0};
    uint64_t lastSeq_ = 0;
    std::string lastBody_;
    uint64_t takenSeq_ = 0;  // of the last post taken in this stream
    std::vector<Caption> captions_;
    std::vector<uint64_t> seqs_;
    std::vector<Post> posts_;
    std::vector<std::string> violations_;
    size_t skewRefusals_ = 0;
};

}  // namespace obs_sayline::test
