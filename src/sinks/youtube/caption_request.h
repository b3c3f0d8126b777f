#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/http_types.h"
#include "sinks/youtube/caption_url.h"
#include "sinks/youtube/caption_wire.h"

namespace obs_sayline {

// The client of caption posts: its own lines stay unlogged (they would print the URL, which
// carries the key) and it has no breaker (whoever posts decides when to give up).
HttpClientConfig captionClientConfig();

struct CaptionAttemptLimits {
    int32_t connectTimeoutMs = 5000;
    int32_t timeoutMs = 10000;
    std::string caBundlePath;  // empty: the system's roots
};

// One attempt of one post, with seq `seq`, no retry of the client's own and no redirect (the
// key stays with the host it was given for).
HttpRequest captionRequest(const CaptionUrl& url, uint64_t seq,
                           const std::vector<TimedCaption>& captions,
                           const CaptionAttemptLimits& limits);

// The transport's reason without the client's "HTTP request failed: " prefix.
std::string captionFailureReason(const std::string& message);

}  // namespace obs_sayline
