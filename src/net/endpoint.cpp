#include "net/endpoint.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/logger.h"
#include "net/curl_handles.h"

namespace obs_sayline {

namespace {

constexpr const char* kNotAUrl = "it is not a valid http:// or https:// URL";
constexpr const char* kNotHttp = "it must start with http:// or https://";
constexpr const char* kUserInfo = "a user name or password in the URL is not allowed";
constexpr const char* kQuery = "a query (?...) or fragment (#...) is not allowed";
constexpr const char* kBadHost = "its host name has no ASCII form to look up";
constexpr const char* kPath = "a path is not allowed";
constexpr const char* kOverrideHttp = "plain http:// goes only to this computer";
constexpr const char* kServerHttp =
    "plain http:// goes only to this computer or a private network (10.x, 172.16-31.x, "
    "192.168.x, 169.254.x, fc00::/7, .local names); use https://";

std::string toLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

using Ipv4 = std::array<uint8_t, 4>;
using Ipv6 = std::array<uint16_t, 8>;

// A strict dotted quad, as libcurl writes every numeric IPv4 spelling it accepts ("127.1",
// "0x7f.0.0.1", "2130706433" all become 127.0.0.1). Anything else is a name to look up.
std::optional<Ipv4> parseDottedQuad(const std::string& host) {
    Ipv4 octets{};
    size_t pos = 0;
    for (size_t i = 0; i < octets.size(); ++i) {
        if (i > 0) {
            if (pos >= host.size() || host[pos] != '.') return std::nullopt;
            ++pos;
        }
        const size_t start = pos;
        int value = 0;
        while (pos < host.size() && isDigit(host[pos]) && pos - start < 3) {
            value = value * 10 + (host[pos] - '0');
            ++pos;
        }
        const size_t length = pos - start;
        if (length == 0 || value > 255 || (length > 1 && host[start] == '0')) return std::nullopt;
        octets[i] = static_cast<uint8_t>(value);
    }
    if (pos != host.size()) return std::nullopt;
    return octets;
}

// Colon-separated groups of up to four hex digits; the last may be a dotted quad.
bool parseGroups(const std::string& text, std::vector<uint16_t>& groups) {
    if (text.empty()) return true;
    size_t start = 0;
    while (true) {
        const size_t colon = text.find(':', start);
        const std::string token =
            text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (colon == std::string::npos && token.find('.') != std::string::npos) {
            auto v4 = parseDottedQuad(token);
            if (!v4) return false;
            groups.push_back(static_cast<uint16_t>((*v4)[0] << 8 | (*v4)[1]));
            groups.push_back(static_cast<uint16_t>((*v4)[2] << 8 | (*v4)[3]));
            return true;
        }
        if (token.empty() || token.size() > 4) return false;
        unsigned value = 0;
        for (char c : token) {
            const int digit = hexValue(c);
            if (digit < 0) return false;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        groups.push_back(static_cast<uint16_t>(value));
        if (colon == std::string::npos) return true;
        start = colon + 1;
    }
}

// "[...]" as libcurl reports an IPv6 literal (the zone id is a part of its own).
std::optional<Ipv6> parseIpv6(const std::string& host) {
    if (host.size() < 4 || host.front() != '[' || host.back() != ']') return std::nullopt;
    const std::string text = host.substr(1, host.size() - 2);
    std::vector<uint16_t> head;
    std::vector<uint16_t> tail;
    const size_t gap = text.find("::");
    if (gap == std::string::npos) {
        if (!parseGroups(text, head) || head.size() != 8) return std::nullopt;
    } else {
        if (text.find("::", gap + 1) != std::string::npos) return std::nullopt;
        const std::string before = text.substr(0, gap);
        if (before.find('.') != std::string::npos) return std::nullopt;
        if (!parseGroups(before, head) || !parseGroups(text.substr(gap + 2), tail) ||
            head.size() + tail.size() > 7) {
            return std::nullopt;
        }
    }
    Ipv6 groups{};
    for (size_t i = 0; i < head.size(); ++i) groups[i] = head[i];
    for (size_t i = 0; i < tail.size(); ++i) groups[8 - tail.size() + i] = tail[i];
    return groups;
}

// ::ffff:a.b.c.d reaches a.b.c.d.
std::optional<Ipv4> mappedIpv4(const Ipv6& groups) {
    for (size_t i = 0; i < 5; ++i) {
        if (groups[i] != 0) return std::nullopt;
    }
    if (groups[5] != 0xffff) return std::nullopt;
    return Ipv4{static_cast<uint8_t>(groups[6] >> 8), static_cast<uint8_t>(groups[6] & 0xff),
                static_cast<uint8_t>(groups[7] >> 8), static_cast<uint8_t>(groups[7] & 0xff)};
}

bool isLoopbackIpv4(const Ipv4& a) { return a[0] == 127; }

bool isPrivateIpv4(const Ipv4& a) {
    return a[0] == 10 || (a[0] == 172 && (a[1] & 0xf0) == 16) || (a[0] == 192 && a[1] == 168) ||
           (a[0] == 169 && a[1] == 254);
}

// One part of a parsed URL; nullopt when libcurl has none.
std::optional<std::string> urlPart(CURLU* url, CURLUPart part, unsigned int flags = 0) {
    char* text = nullptr;
    const CURLUcode rc = curl_url_get(url, part, &text, flags);
    curl::CurlString owned(text);
    if (rc != CURLUE_OK || !owned) return std::nullopt;
    return std::string(owned.get());
}

BaseUrlVerdict refused(const char* reason) {
    BaseUrlVerdict verdict;
    verdict.refusal = reason;
    return verdict;
}

enum class Rules { Override, Server };

BaseUrlVerdict judge(const std::string& text, Rules rules) {
    curl::UrlHandle url(curl_url());
    if (!url) return refused(kNotAUrl);
    const CURLUcode parsed =
        curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME);
    if (parsed != CURLUE_OK) return refused(kNotAUrl);
    CURLU* u = url.get();

    const std::string scheme = urlPart(u, CURLUPART_SCHEME).value_or("");
    if (scheme != "http" && scheme != "https") return refused(kNotHttp);
    // libcurl would send user info as Basic credentials, and the URL gets logged.
    if (urlPart(u, CURLUPART_USER) || urlPart(u, CURLUPART_PASSWORD) ||
        urlPart(u, CURLUPART_OPTIONS)) {
        return refused(kUserInfo);
    }
    if (urlPart(u, CURLUPART_QUERY) || urlPart(u, CURLUPART_FRAGMENT)) return refused(kQuery);
    if (urlPart(u, CURLUPART_PORT) == std::optional<std::string>("0")) return refused(kNotAUrl);
    // The name the transfer will look up: an international name in its ASCII form.
    const auto host = urlPart(u, CURLUPART_HOST, CURLU_PUNYCODE);
    if (!host || host->empty()) return refused(kBadHost);
    const std::string path = urlPart(u, CURLUPART_PATH).value_or("/");
    if (rules == Rules::Override && path != "/" && !path.empty()) return refused(kPath);

    AcceptedBaseUrl accepted;
    accepted.host = *host;
    accepted.plainHttp = scheme == "http";
    if (accepted.plainHttp && !isLoopbackHost(accepted.host)) {
        if (rules == Rules::Override) return refused(kOverrideHttp);
        if (!isPrivateNetworkHost(accepted.host)) return refused(kServerHttp);
        accepted.privateNetwork = true;
    }
    auto normalised = urlPart(u, CURLUPART_URL, CURLU_PUNYCODE);
    if (!normalised) return refused(kBadHost);
    while (!normalised->empty() && normalised->back() == '/') normalised->pop_back();
    accepted.url = std::move(*normalised);

    BaseUrlVerdict verdict;
    verdict.accepted = std::move(accepted);
    return verdict;
}

// A query parameter name as the server reads it ("k%65y" is "key").
std::string decodeName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size()) {
            int hi = hexValue(name[i + 1]);
            int lo = hexValue(name[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += name[i] == '+' ? ' ' : name[i];
    }
    return out;
}

}  // namespace

BaseUrlVerdict judgeOverrideUrl(const std::string& url) { return judge(url, Rules::Override); }

BaseUrlVerdict judgeServerUrl(const std::string& url) { return judge(url, Rules::Server); }

bool isAcceptableBaseUrl(const std::string& url) {
    return judgeOverrideUrl(url).accepted.has_value();
}

bool isLoopbackHost(const std::string& host) {
    const std::string lowered = toLower(host);
    if (lowered == "localhost") return true;
    if (auto v4 = parseDottedQuad(lowered)) return isLoopbackIpv4(*v4);
    if (auto v6 = parseIpv6(lowered)) {
        if (auto mapped = mappedIpv4(*v6)) return isLoopbackIpv4(*mapped);
        return *v6 == Ipv6{0, 0, 0, 0, 0, 0, 0, 1};
    }
    return false;
}

bool isPrivateNetworkHost(const std::string& host) {
    const std::string lowered = toLower(host);
    if (auto v4 = parseDottedQuad(lowered)) return isPrivateIpv4(*v4);
    if (auto v6 = parseIpv6(lowered)) {
        if (auto mapped = mappedIpv4(*v6)) return isPrivateIpv4(*mapped);
        return ((*v6)[0] & 0xfe00) == 0xfc00;
    }
    constexpr const char* kLocal = ".local";
    constexpr size_t kLocalLength = 6;
    return lowered.size() > kLocalLength && lowered.front() != '.' &&
           lowered.compare(lowered.size() - kLocalLength, kLocalLength, kLocal) == 0 &&
           lowered[lowered.size() - kLocalLength - 1] != '.';
}

std::string resolveBaseUrl(const char* envVar, const std::string& defaultBase) {
    const char* raw = envVar ? std::getenv(envVar) : nullptr;
    if (!raw || !*raw) return defaultBase;
    BaseUrlVerdict verdict = judgeOverrideUrl(raw);
    if (!verdict.accepted) {
        // The value itself stays out of the log: it may carry credentials.
        logWarning(
            "[HTTP] Ignoring %s: a base URL must be https://host[:port], or http:// to a "
            "loopback host; using %s",
            envVar, defaultBase.c_str());
        return defaultBase;
    }
    const std::string& value = verdict.accepted->url;
    logInfo("[HTTP] %s overrides %s with %s", envVar, defaultBase.c_str(), value.c_str());
    return value;
}

std::string redactUrlForLog(const std::string& url) {
    size_t query = url.find('?');
    if (query == std::string::npos) return url;
    size_t fragment = url.find('#', query);
    size_t end = fragment == std::string::npos ? url.size() : fragment;

    std::string out = url.substr(0, query + 1);
    size_t pos = query + 1;
    while (true) {
        size_t amp = url.find('&', pos);
        size_t stop = (amp == std::string::npos || amp > end) ? end : amp;
        std::string param = url.substr(pos, stop - pos);
        size_t eq = param.find('=');
        std::string name = param.substr(0, eq);
        if (eq != std::string::npos && decodeName(name) == "key") {
            out += name;
            out += "=REDACTED";
        } else {
            out += param;
        }
        if (stop == end) break;
        out += '&';
        pos = stop + 1;
    }
    out += url.substr(end);
    return out;
}

}  // namespace obs_sayline
