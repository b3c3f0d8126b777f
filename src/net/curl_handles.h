#pragma once

#include <curl/curl.h>

#include <memory>

namespace obs_sayline::curl {

// RAII owners for libcurl's handles; each deleter is curl's own cleanup function.
struct EasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
struct MimeDeleter {
    void operator()(curl_mime* mime) const noexcept { curl_mime_free(mime); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};
struct ShareDeleter {
    void operator()(CURLSH* share) const noexcept { curl_share_cleanup(share); }
};
struct FreeDeleter {
    void operator()(char* text) const noexcept { curl_free(text); }
};

using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;
using MimeBody = std::unique_ptr<curl_mime, MimeDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using ShareHandle = std::unique_ptr<CURLSH, ShareDeleter>;
using CurlString = std::unique_ptr<char, FreeDeleter>;

// libcurl's process-wide initialisation, done once however many threads ask; the matching
// cleanup runs at process exit. True when the initialisation succeeded.
bool ensureGlobalInit();

// Appends one line to a header list; on allocation failure the list is left as it was.
bool appendHeader(HeaderList& list, const char* line);

}  // namespace obs_sayline::curl
