#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace obs_sayline {

// The host YouTube Studio names in a stream's caption ingestion URL
// ("http://upload.youtube.com/closedcaption?cid=...").
constexpr const char* kYouTubeCaptionHost = "upload.youtube.com";

// A caption URL fit to post to. The query carries the stream's key (cid): `url` goes into
// requests only, never into a log line or a file; `host` is what logs may name.
struct CaptionUrl {
    std::string url;  // query included, without seq; always https:// to YouTube
    std::string host;
    bool allowPrivateHttp = false;  // plain http:// to a private-network test host

    bool operator==(const CaptionUrl& other) const {
        return url == other.url && allowPrivateHttp == other.allowPrivateHttp;
    }
    bool operator!=(const CaptionUrl& other) const { return !(*this == other); }
};

// Either the accepted URL or why not. The reason never quotes the URL.
struct CaptionUrlVerdict {
    std::optional<CaptionUrl> accepted;
    std::string refusal;
    bool empty = false;  // nothing was pasted
};

// YouTube's caption host over http:// or https:// as pasted (sent over https:// either way),
// or, for tests and relays, a loopback or private-network host under the server URL rules
// (https://, or http:// there). A cid in the query is required; user info and fragments are
// refused; a seq already in the query is dropped (each post adds its own). Blanks around the
// text, as a paste brings them, are ignored.
CaptionUrlVerdict judgeCaptionUrl(const std::string& pasted);

// The URL of one post: the caption URL with "&seq=<seq>" added.
std::string captionPostUrl(const CaptionUrl& url, uint64_t seq);

}  // namespace obs_sayline
