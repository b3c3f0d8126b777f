#include "sinks/youtube/caption_url.h"

#include <vector>

#include "net/curl_handles.h"
#include "net/endpoint.h"

namespace obs_sayline {
namespace {

constexpr const char* kEmpty = "it is empty";
constexpr const char* kNotAUrl = "it is not a valid http:// or https:// URL";
constexpr const char* kNotHttp = "it must start with http:// or https://";
constexpr const char* kFragment = "a fragment (#...) is not allowed";
constexpr const char* kNoCid =
    "it has no cid=... (copy the whole caption URL YouTube Studio shows for the stream)";
constexpr const char* kYouTubePort = "YouTube's caption address takes no port";
constexpr const char* kOtherHost =
    "only YouTube's caption address (upload.youtube.com) takes captions; other hosts only on "
    "this computer or a private network";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::string toLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A query parameter's name as the server reads it ("c%69d" is "cid").
std::string decodedName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() && hexValue(name[i + 1]) >= 0 &&
            hexValue(name[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(name[i + 1]) * 16 + hexValue(name[i + 2]));
            i += 2;
        } else {
            out += name[i] == '+' ? ' ' : name[i];
        }
    }
    return out;
}

// The query without seq parameters and empty pieces; empty when it holds no cid with a value.
std::string cleanedQuery(const std::string& query) {
    std::string out;
    bool hasCid = false;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string param = query.substr(start, end - start);
        start = end + 1;
        if (param.empty()) continue;
        const size_t eq = param.find('=');
        const std::string name = decodedName(param.substr(0, eq));
        if (name == "seq") continue;
        if (name == "cid" && eq != std::string::npos && eq + 1 < param.size()) hasCid = true;
        if (!out.empty()) out += '&';
        out += param;
    }
    return hasCid ? out : std::string();
}

std::optional<std::string> urlPart(CURLU* url, CURLUPart part, unsigned int flags = 0) {
    char* text = nullptr;
    const CURLUcode rc = curl_url_get(url, part, &text, flags);
    curl::CurlString owned(text);
    if (rc != CURLUE_OK || !owned) return std::nullopt;
    return std::string(owned.get());
}

CaptionUrlVerdict refused(std::string reason) {
    CaptionUrlVerdict verdict;
    verdict.refusal = std::move(reason);
    return verdict;
}

}  // namespace

CaptionUrlVerdict judgeCaptionUrl(const std::string& pasted) {
    const std::string text = trimmed(pasted);
    if (text.empty()) {
        CaptionUrlVerdict verdict = refused(kEmpty);
        verdict.empty = true;
        return verdict;
    }
    curl::ensureGlobalInit();
    curl::UrlHandle handle(curl_url());
    if (!handle) return refused(kNotAUrl);
    CURLU* u = handle.get();
    if (curl_url_set(u, CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return refused(kNotAUrl);
    }
    if (urlPart(u, CURLUPART_FRAGMENT)) return refused(kFragment);
    const std::string query = cleanedQuery(urlPart(u, CURLUPART_QUERY).value_or(""));

    const std::string scheme = urlPart(u, CURLUPART_SCHEME).value_or("");
    if (scheme != "http" && scheme != "https") return refused(kNotHttp);
    const std::string host = toLower(urlPart(u, CURLUPART_HOST, CURLU_PUNYCODE).value_or(""));
    const bool youtube = host == kYouTubeCaptionHost;
    if (!youtube && !isLoopbackHost(host) && !isPrivateNetworkHost(host)) {
        return refused(kOtherHost);
    }
    if (youtube) {
        // Whatever the paste says, the key travels encrypted.
        const auto port = urlPart(u, CURLUPART_PORT);
        if (port && !(scheme == "http" && *port == "80") &&
            !(scheme == "https" && *port == "443")) {
            return refused(kYouTubePort);
        }
        curl_url_set(u, CURLUPART_SCHEME, "https", 0);
        curl_url_set(u, CURLUPART_HOST, kYouTubeCaptionHost, 0);
        curl_url_set(u, CURLUPART_PORT, nullptr, 0);
    }
    // The rest (scheme, user info, plain http only nearby) by the rules every server URL obeys.
    curl_url_set(u, CURLUPART_QUERY, nullptr, 0);
    const auto base = urlPart(u, CURLUPART_URL);
    if (!base) return refused(kNotAUrl);
    BaseUrlVerdict judged = judgeServerUrl(*base);
    if (!judged.accepted) return refused(judged.refusal);
    const AcceptedBaseUrl& accepted = *judged.accepted;
    if (query.empty()) return refused(kNoCid);

    CaptionUrl url;
    url.url = accepted.url + "?" + query;
    url.host = accepted.host;
    url.allowPrivateHttp = accepted.privateNetwork;
    CaptionUrlVerdict verdict;
    verdict.accepted = std::move(url);
    return verdict;
}

std::string captionPostUrl(const CaptionUrl& url, uint64_t seq) {
    return url.url + "&seq=" + std::to_string(seq);
}

}  // namespace obs_sayline
