#pragma once

#include <obs-data.h>

#include <cstddef>
#include <cstdint>

#include "plugin/settings_keys.h"

namespace obs_sayline {

// An integer setting: its key, default, and the range and step the property sheet offers.
// Values read back from the host are held to the same range.
struct IntSetting {
    const char* key;
    long long defaultValue;
    int min;
    int max;
    int step;
};

// Every default and limit of the Sayline source, named once: get_defaults, the property sheet
// and the settings reader all take them from here.
namespace defaults {
constexpr IntSetting kFontSize{keys::kFontSize, 24, 5, 72, 1};
constexpr IntSetting kBackgroundPadding{keys::kBackgroundPadding, 10, 0, 50, 1};
constexpr IntSetting kMaxSubtitleLength{keys::kMaxSubtitleLength, 100, 50, 200, 10};
constexpr IntSetting kSubtitleDuration{keys::kSubtitleDuration, 3000, 1000, 10000, 500};
constexpr IntSetting kPauseLength{keys::kPauseMs, 500, 200, 2000, 100};
constexpr IntSetting kLongestChunk{keys::kMaxChunkMs, 10000, 2000, 25000, 1000};
constexpr IntSetting kYouTubeOffset{keys::kYouTubeOffsetMs, 0, -10000, 10000, 100};

// A sans-serif face every system resolves to something; style and flags empty, as settings
// saved before the font could be chosen had them.
constexpr const char* kFontFace = "Arial";
// Longer face or style names are taken for pasted garbage.
constexpr size_t kMaxFontNameLength = 256;
constexpr const char* kSttEngine = values::kNone;
constexpr const char* kWhisperBaseUrl = "";  // the default service
constexpr const char* kWhisperModel = "whisper-1";
// Longer texts in these two are taken for pasted garbage.
constexpr size_t kMaxWhisperBaseUrlLength = 2048;
constexpr size_t kMaxWhisperModelLength = 256;
constexpr const char* kSourceLanguage = values::kAutoLanguage;
constexpr const char* kChunkMode = values::kChunkFixed;
constexpr const char* kTranslationProvider = values::kNone;
constexpr const char* kTargetLanguage = "en";
constexpr const char* kTranslationBaseUrl = "";  // the default service
// The providers' own defaults, shown in the sheet.
constexpr const char* kTranslationModel = "gpt-4o-mini";
constexpr const char* kAnthropicModel = "claude-haiku-4-5";
// Longer texts are taken for pasted garbage, as for the Whisper server.
constexpr size_t kMaxTranslationBaseUrlLength = kMaxWhisperBaseUrlLength;
constexpr size_t kMaxTranslationModelLength = kMaxWhisperModelLength;
constexpr bool kShowOriginal = false;
constexpr bool kEnableTranslation = true;
constexpr bool kBackgroundEnabled = false;
constexpr bool kCcEnabled = false;
constexpr const char* kCcText = values::kCcTranslation;
constexpr bool kYouTubeCaptions = false;
constexpr const char* kYouTubeCaptionUrl = "";
// Longer is no URL YouTube Studio shows.
constexpr size_t kMaxYouTubeCaptionUrlLength = kMaxWhisperBaseUrlLength;
constexpr const char* kTranscriptFormat = values::kTranscriptOff;
constexpr const char* kTranscriptDir = "";  // beside the recording, or the videos folder
constexpr const char* kAudioSource = values::kProgramAudio;
constexpr bool kStatusInScene = false;
constexpr const char* kSpeakerName = "";  // no name: one voice, marked as before
constexpr bool kSpeakerInScene = false;
constexpr size_t kMaxSpeakerNameLength = 64;
constexpr const char* kWordList = "";  // vocabulary, replacements, hidden words: none
constexpr bool kServiceProfanityFilter = false;
// A word list is read up to the last whole line within this many bytes: room for every entry
// the lists take at their longest, and no more of a pasted or scripted flood.
constexpr size_t kMaxWordListBytes = 128 * 1024;
// The colour property has no alpha: the stored default is opaque only once read (a stored 0
// also reads as opaque white).
constexpr uint32_t kFontColor = 0xFFFFFF;
constexpr uint32_t kOpaqueFontColor = kFontColor | 0xFF000000u;
constexpr uint32_t kBackgroundColor = 0x80000000;
}  // namespace defaults

// The value clamped to the setting's range.
long long clampToRange(const IntSetting& setting, long long value);

// Writes every default above.
void writeDefaults(obs_data_t* settings);
// Host callback: writeDefaults behind the callback boundary.
void subtitle_source_defaults(obs_data_t* settings);

}  // namespace obs_sayline
