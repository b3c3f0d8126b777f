#include "net/endpoint.h"

#include <cstdlib>

#include "core/logger.h"

namespace obs_sayline {

namespace {

std::string toLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isHostChar(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.';
}

// Dotted-quad IPv4 whose first octet is 127; anything looser ("127.1", "0177.0.0.1") is not.
bool isLoopbackIpv4(const std::string& host) {
    int octets[4];
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= host.size() || host[pos] != '.') return false;
            ++pos;
        }
        size_t start = pos;
        int value = 0;
        while (pos < host.size() && isDigit(host[pos]) && pos - start < 3) {
            value = value * 10 + (host[pos] - '0');
            ++pos;
        }
        size_t len = pos - start;
        if (len == 0 || value > 255 || (len > 1 && host[start] == '0')) return false;
        octets[i] = value;
    }
    return pos == host.size() && octets[0] == 127;
}

struct Authority {
    std::string host;  // lower-cased; an IPv6 literal keeps its brackets
    bool ok = false;
};

// Splits "host[:port]" and checks its shape; user info, paths and queries are refused.
Authority parseAuthority(const std::string& authority) {
    Authority out;
    if (authority.empty()) return out;
    std::string host;
    std::string rest;
    if (authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos || close == 1) return out;
        for (size_t i = 1; i < close; ++i) {
            char c = authority[i];
            if (!isHexDigit(c) && c != ':' && c != '.') return out;
        }
        host = authority.substr(0, close + 1);
        rest = authority.substr(close + 1);
    } else {
        size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        rest = colon == std::string::npos ? "" : authority.substr(colon);
        if (host.empty()) return out;
        for (char c : host) {
            if (!isHostChar(c)) return out;
        }
        if (host.front() == '.' || host.front() == '-') return out;
    }
    if (!rest.empty()) {
        if (rest[0] != ':' || rest.size() < 2 || rest.size() > 6) return out;
        long port = 0;
        for (size_t i = 1; i < rest.size(); ++i) {
            if (!isDigit(rest[i])) return out;
            port = port * 10 + (rest[i] - '0');
        }
        if (port < 1 || port > 65535) return out;
    }
    out.host = toLower(host);
    out.ok = true;
    return out;
}

std::string stripTrailingSlash(std::string url) {
    if (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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

bool isLoopbackHost(const std::string& host) {
    const std::string lowered = toLower(host);
    return lowered == "localhost" || lowered == "[::1]" || isLoopbackIpv4(lowered);
}

bool isAcceptableBaseUrl(const std::string& url) {
    std::string lowered = toLower(url);
    bool https;
    size_t schemeLength;
    if (lowered.rfind("https://", 0) == 0) {
        https = true;
        schemeLength = 8;
    } else if (lowered.rfind("http://", 0) == 0) {
        https = false;
        schemeLength = 7;
    } else {
        return false;
    }
    std::string authority = stripTrailingSlash(url.substr(schemeLength));
    Authority parsed = parseAuthority(authority);
    if (!parsed.ok) return false;
    return https || isLoopbackHost(parsed.host);
}

std::string resolveBaseUrl(const char* envVar, const std::string& defaultBase) {
    const char* raw = envVar ? std::getenv(envVar) : nullptr;
    if (!raw || !*raw) return defaultBase;
    std::string value = raw;
    if (!isAcceptableBaseUrl(value)) {
        // The value itself stays out of the log: it may carry credentials.
        logWarning(
            "[HTTP] Ignoring %s: a base URL must be https://host[:port], or http:// to a "
            "loopback host; using %s",
            envVar, defaultBase.c_str());
        return defaultBase;
    }
    value = stripTrailingSlash(value);
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
