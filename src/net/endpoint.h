#pragma once

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

constexpr const char* kOpenAiEnv = "SAYLINE_OPENAI_BASE_URL";
constexpr const char* kGoogleSttEnv = "SAYLINE_GOOGLE_STT_BASE_URL";
constexpr const char* kDeepgramEnv = "SAYLINE_DEEPGRAM_BASE_URL";
constexpr const char* kDeepLEnv = "SAYLINE_DEEPL_BASE_URL";  // replaces both DeepL hosts
constexpr const char* kGoogleTranslateEnv = "SAYLINE_GOOGLE_TRANSLATE_BASE_URL";
constexpr const char* kGeminiEnv = "SAYLINE_GEMINI_BASE_URL";
}  // namespace endpoints

// True for "https://host[:port]" and for "http://" when the host is loopback (localhost,
// 127.0.0.0/8, [::1]); a key never travels in clear text over a network.
bool isAcceptableBaseUrl(const std::string& url);

// True when `host` names this machine: "localhost", "[::1]" or a dotted-quad 127.x.y.z
// (letter case ignored). Looser spellings are not loopback.
bool isLoopbackHost(const std::string& host);

// The override in environment variable `envVar` when it is acceptable, else `defaultBase`
// (a refused override logs a Warning). A trailing '/' of the override is dropped.
std::string resolveBaseUrl(const char* envVar, const std::string& defaultBase);

// The URL with the value of every "key" query parameter replaced by "REDACTED", for logs.
std::string redactUrlForLog(const std::string& url);

}  // namespace obs_sayline
