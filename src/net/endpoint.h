#pragma once

#include <optional>
#include <string>

namespace obs_sayline {

// Service base URLs (scheme, host, optional port; no trailing slash). Paths stay the engines'.
namespace endpoints {
constexpr const char* kOpenAi = "https://api.openai.com";
constexpr const char* kGoogleStt = "https://speech.googleapis.com";
constexpr const char* kDeepgram = "https://api.deepgram.com";
constexpr const char* kDeepLFree = "https://api-free.deepl.com";
constexpr const char* kDeepLPro = "https://api.deepl.com";
constexpr const char* kGoogleTranslate = "https://translation.googleapis.com";
constexpr const char* kGemini = "https://generativelanguage.googleapis.com";
constexpr const char* kAnthropic = "https://api.anthropic.com";

constexpr const char* kOpenAiEnv = "SAYLINE_OPENAI_BASE_URL";
constexpr const char* kGoogleSttEnv = "SAYLINE_GOOGLE_STT_BASE_URL";
constexpr const char* kDeepgramEnv = "SAYLINE_DEEPGRAM_BASE_URL";
constexpr const char* kDeepLEnv = "SAYLINE_DEEPL_BASE_URL";  // replaces both DeepL hosts
constexpr const char* kGoogleTranslateEnv = "SAYLINE_GOOGLE_TRANSLATE_BASE_URL";
constexpr const char* kGeminiEnv = "SAYLINE_GEMINI_BASE_URL";
constexpr const char* kAnthropicEnv = "SAYLINE_ANTHROPIC_BASE_URL";
}  // namespace endpoints

// A base URL that passed judgement, in the form libcurl made of it: lower-case scheme, the host
// as it will be looked up (IDN converted to its ASCII form, numeric IPv4 spellings as a dotted
// quad), no trailing '/'.
struct AcceptedBaseUrl {
    std::string url;
    std::string host;             // an IPv6 literal keeps its brackets
    bool plainHttp = false;       // http://
    bool privateNetwork = false;  // http:// to a private-network host that is not this machine
};

// Either the accepted URL or why it was refused. The reason never quotes the URL, which may
// carry credentials.
struct BaseUrlVerdict {
    std::optional<AcceptedBaseUrl> accepted;
    std::string refusal;
};

// URLs are taken apart by libcurl's own parser, so user info, IPv6 literals, percent-encoded
// and international host names are judged as the transfer will use them. User info, queries,
// fragments and port 0 are refused everywhere.
//
// An environment override: "https://host[:port]", or "http://" to a loopback host; no path.
BaseUrlVerdict judgeOverrideUrl(const std::string& url);
// A speech server named in the settings: "https://" anywhere, "http://" to a loopback or
// private-network host; may carry a path prefix ("http://10.0.0.5:8000/openai").
BaseUrlVerdict judgeServerUrl(const std::string& url);

// judgeOverrideUrl(url) accepts it.
bool isAcceptableBaseUrl(const std::string& url);

// Hosts as libcurl reports them (an IPv6 literal in brackets), letter case ignored.
// This machine: "localhost", 127.0.0.0/8 as a dotted quad, ::1 (also IPv4-mapped 127/8).
bool isLoopbackHost(const std::string& host);
// Another machine on a private network: 10/8, 172.16/12, 192.168/16, 169.254/16, fc00::/7
// (IPv4-mapped addresses by their IPv4 address), and names under ".local".
bool isPrivateNetworkHost(const std::string& host);

// The override in environment variable `envVar` when it is acceptable (in libcurl's form),
// else `defaultBase` (a refused override logs a Warning).
std::string resolveBaseUrl(const char* envVar, const std::string& defaultBase);

// The URL with the value of every "key" query parameter replaced by "REDACTED", for logs.
std::string redactUrlForLog(const std::string& url);

}  // namespace obs_sayline
