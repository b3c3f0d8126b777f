#pragma once

#include <obs.h>

#include <cstddef>
#include <string>

namespace obs_sayline {

struct SubtitleSourceData;

// API keys longer than this are taken for pasted garbage and refused.
constexpr size_t kMaxApiKeyLength = 256;

// "whisper_api" 1, "whisper_local" 2, "google_stt" 3, "deepgram" 4, anything else 0.
int sttEngineKind(const std::string& value);
// "deepl" 1, "google_translate" 2, "openai" 3, "anthropic" 4, "gemini" 5, anything else 0.
int translationProviderKind(const std::string& value);

// Trims blanks, tabs and line breaks around a key; an over-long key is logged (under the
// given name, never its text) and comes back empty.
std::string cleanApiKey(const char* raw, const char* which);

// Host callbacks: defaults and update.
void subtitle_source_defaults(obs_data_t* settings);
void subtitle_source_update(void* data, obs_data_t* settings);

}  // namespace obs_sayline
