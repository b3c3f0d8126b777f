#include "core/language_tables.h"

#include <cstddef>
#include <iterator>
#include <utility>

namespace obs_sayline {
namespace languages {

namespace {

// Constant-initialised, so usable from any static initialiser regardless of order.
constexpr const char* kWhisper[] = {
    "auto", "en", "zh", "de", "es",  "ru", "ko", "fr", "ja", "pt", "tr", "pl", "ca", "nl", "ar",
    "sv",   "it", "id", "hi", "fi",  "vi", "he", "uk", "el", "ms", "cs", "ro", "da", "hu", "ta",
    "no",   "th", "ur", "hr", "bg",  "lt", "la", "mi", "ml", "cy", "sk", "te", "fa", "lv", "bn",
    "sr",   "az", "sl", "kn", "et",  "mk", "br", "eu", "is", "hy", "ne", "mn", "bs", "kk", "sq",
    "sw",   "gl", "mr", "pa", "si",  "km", "sn", "yo", "so", "af", "oc", "ka", "be", "tg", "sd",
    "gu",   "am", "yi", "lo", "uz",  "fo", "ht", "ps", "tk", "nn", "mt", "sa", "lb", "my", "bo",
    "tl",   "mg", "as", "tt", "haw", "ln", "ha", "ba", "jw", "su"};

constexpr const char* kGoogleSpeech[] = {
    "auto",  "ko-KR", "en-US", "en-GB", "ja-JP", "zh-CN", "zh-TW", "es-ES", "fr-FR",
    "de-DE", "it-IT", "pt-BR", "pt-PT", "ru-RU", "ar-AE", "hi-IN", "th-TH", "vi-VN",
    "id-ID", "tr-TR", "pl-PL", "nl-NL", "sv-SE", "da-DK", "fi-FI", "nb-NO", "cs-CZ",
    "hu-HU", "ro-RO", "uk-UA", "el-GR", "he-IL", "ms-MY"};

constexpr const char* kDeepgram[] = {
    "auto",  "multi", "en", "en-US", "en-GB",  "en-AU", "en-NZ", "en-IN", "ko", "ja",    "zh",
    "zh-CN", "zh-TW", "de", "es",    "es-419", "fr",    "fr-CA", "it",    "pt", "pt-BR", "pt-PT",
    "nl",    "ru",    "tr", "uk",    "pl",     "sv",    "no",    "da",    "fi", "id",    "ms",
    "th",    "vi",    "hi", "ta",    "cs",     "el",    "he",    "hu",    "ro", "sk",    "bg"};

constexpr const char* kDeeplSource[] = {
    "auto", "BG", "CS", "DA", "DE", "EL", "EN", "ES", "ET", "FI", "FR", "HU", "ID", "IT", "JA",
    "KO",   "LT", "LV", "NB", "NL", "PL", "PT", "RO", "RU", "SK", "SL", "SV", "TR", "UK", "ZH"};

constexpr const char* kDeeplTarget[] = {
    "BG",    "CS", "DA", "DE", "EL", "EN", "EN-GB", "EN-US", "ES", "ET",      "FI",     "FR",
    "HU",    "ID", "IT", "JA", "KO", "LT", "LV",    "NB",    "NL", "PL",      "PT",     "PT-BR",
    "PT-PT", "RO", "RU", "SK", "SL", "SV", "TR",    "UK",    "ZH", "ZH-HANS", "ZH-HANT"};

constexpr const char* kGoogleTranslate[] = {
    "auto", "af",  "sq",  "am",  "ar",  "hy",  "as",  "ay", "az",    "bm",    "eu", "be",
    "bn",   "bho", "bs",  "bg",  "ca",  "ceb", "ny",  "zh", "zh-CN", "zh-TW", "co", "hr",
    "cs",   "da",  "dv",  "doi", "nl",  "en",  "eo",  "et", "ee",    "tl",    "fi", "fr",
    "fy",   "gl",  "ka",  "de",  "el",  "gn",  "gu",  "ht", "ha",    "haw",   "iw", "hi",
    "hmn",  "hu",  "is",  "ig",  "ilo", "id",  "ga",  "it", "ja",    "jw",    "kn", "kk",
    "km",   "rw",  "gom", "ko",  "kri", "ku",  "ckb", "ky", "lo",    "la",    "lv", "ln",
    "lt",   "lg",  "lb",  "mk",  "mai", "mg",  "ms",  "ml", "mt",    "mi",    "mr", "mni-Mtei",
    "lus",  "mn",  "my",  "ne",  "no",  "or",  "om",  "ps", "fa",    "pl",    "pt", "pa",
    "qu",   "ro",  "ru",  "sm",  "sa",  "gd",  "nso", "sr", "st",    "sn",    "sd", "si",
    "sk",   "sl",  "so",  "es",  "su",  "sw",  "sv",  "tg", "ta",    "tt",    "te", "th",
    "ti",   "ts",  "tr",  "tk",  "ak",  "uk",  "ur",  "ug", "uz",    "vi",    "cy", "xh",
    "yi",   "yo",  "zu"};

constexpr const char* kGemini[] = {"auto", "ko", "en", "ja", "zh", "es", "fr", "de",
                                   "it",   "pt", "ru", "ar", "hi", "th", "vi", "id",
                                   "tr",   "pl", "nl", "sv", "da", "fi", "nb", "cs",
                                   "hu",   "ro", "bg", "uk", "el", "he", "ms", "tl"};

// Searched in this order; the keys are distinct, so the order only fixes the scan.
constexpr std::pair<const char*, const char*> kGeminiNames[] = {
    {"ko", "Korean"},     {"en", "English"},    {"ja", "Japanese"},   {"zh", "Chinese"},
    {"es", "Spanish"},    {"fr", "French"},     {"de", "German"},     {"it", "Italian"},
    {"pt", "Portuguese"}, {"ru", "Russian"},    {"ar", "Arabic"},     {"hi", "Hindi"},
    {"th", "Thai"},       {"vi", "Vietnamese"}, {"id", "Indonesian"}, {"tr", "Turkish"},
    {"pl", "Polish"},     {"nl", "Dutch"},      {"sv", "Swedish"},    {"da", "Danish"},
    {"fi", "Finnish"},    {"nb", "Norwegian"},  {"cs", "Czech"},      {"hu", "Hungarian"},
    {"ro", "Romanian"},   {"bg", "Bulgarian"},  {"uk", "Ukrainian"},  {"el", "Greek"},
    {"he", "Hebrew"},     {"ms", "Malay"},      {"tl", "Filipino"}};

template <size_t N>
LanguageList toList(const char* const (&codes)[N]) {
    return LanguageList(std::begin(codes), std::end(codes));
}

}  // namespace

// Each vector is built on first use; the initialiser below makes that first use module load.
#define SAYLINE_LANGUAGE_LIST(fn, codes)                \
    const LanguageList& fn() {                          \
        static const LanguageList list = toList(codes); \
        return list;                                    \
    }

SAYLINE_LANGUAGE_LIST(whisper, kWhisper)
SAYLINE_LANGUAGE_LIST(googleSpeech, kGoogleSpeech)
SAYLINE_LANGUAGE_LIST(deepgram, kDeepgram)
SAYLINE_LANGUAGE_LIST(deeplSource, kDeeplSource)
SAYLINE_LANGUAGE_LIST(deeplTarget, kDeeplTarget)
SAYLINE_LANGUAGE_LIST(googleTranslate, kGoogleTranslate)
SAYLINE_LANGUAGE_LIST(gemini, kGemini)

#undef SAYLINE_LANGUAGE_LIST

namespace {
[[maybe_unused]] const bool kBuiltAtLoad = (whisper(), googleSpeech(), deepgram(), deeplSource(),
                                            deeplTarget(), googleTranslate(), gemini(), true);
}  // namespace

bool contains(const LanguageList& list, const std::string& code) {
    if (code.empty()) return false;
    for (const auto& entry : list) {
        if (entry == code) return true;
    }
    return false;
}

std::string geminiLanguageName(const std::string& code) {
    if (code.size() != 2) return code;
    for (const auto& [key, name] : kGeminiNames) {
        if (code == key) return name;
    }
    return code;
}

}  // namespace languages
}  // namespace obs_sayline
