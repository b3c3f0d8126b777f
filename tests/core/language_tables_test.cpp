#include "core/language_tables.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace obs_sayline {
namespace {

struct ExpectedList {
    const char* name;
    const LanguageList& (*get)();
    std::vector<std::string> codes;
};

// The full tables, written out independently of the implementation.
const std::vector<ExpectedList>& expectedLists() {
    static const std::vector<ExpectedList> lists = {
        {"whisper",
         &languages::whisper,
         {"auto", "en", "zh", "de",  "es", "ru", "ko", "fr", "ja", "pt", "tr", "pl", "ca",
          "nl",   "ar", "sv", "it",  "id", "hi", "fi", "vi", "he", "uk", "el", "ms", "cs",
          "ro",   "da", "hu", "ta",  "no", "th", "ur", "hr", "bg", "lt", "la", "mi", "ml",
          "cy",   "sk", "te", "fa",  "lv", "bn", "sr", "az", "sl", "kn", "et", "mk", "br",
          "eu",   "is", "hy", "ne",  "mn", "bs", "kk", "sq", "sw", "gl", "mr", "pa", "si",
          "km",   "sn", "yo", "so",  "af", "oc", "ka", "be", "tg", "sd", "gu", "am", "yi",
          "lo",   "uz", "fo", "ht",  "ps", "tk", "nn", "mt", "sa", "lb", "my", "bo", "tl",
          "mg",   "as", "tt", "haw", "ln", "ha", "ba", "jw", "su"}},
        {"googleSpeech",
         &languages::googleSpeech,
         {"auto",  "ko-KR", "en-US", "en-GB", "ja-JP", "zh-CN", "zh-TW", "es-ES", "fr-FR",
          "de-DE", "it-IT", "pt-BR", "pt-PT", "ru-RU", "ar-AE", "hi-IN", "th-TH", "vi-VN",
          "id-ID", "tr-TR", "pl-PL", "nl-NL", "sv-SE", "da-DK", "fi-FI", "nb-NO", "cs-CZ",
          "hu-HU", "ro-RO", "uk-UA", "el-GR", "he-IL", "ms-MY"}},
        {"deepgram",
         &languages::deepgram,
         {"auto", "multi", "en",    "en-US", "en-GB", "en-AU", "en-NZ",  "en-IN", "ko",
          "ja",   "zh",    "zh-CN", "zh-TW", "de",    "es",    "es-419", "fr",    "fr-CA",
          "it",   "pt",    "pt-BR", "pt-PT", "nl",    "ru",    "tr",     "uk",    "pl",
          "sv",   "no",    "da",    "fi",    "id",    "ms",    "th",     "vi",    "hi",
          "ta",   "cs",    "el",    "he",    "hu",    "ro",    "sk",     "bg"}},
        {"deeplSource", &languages::deeplSource, {"auto", "BG", "CS", "DA", "DE", "EL", "EN", "ES",
                                                  "ET",   "FI", "FR", "HU", "ID", "IT", "JA", "KO",
                                                  "LT",   "LV", "NB", "NL", "PL", "PT", "RO", "RU",
                                                  "SK",   "SL", "SV", "TR", "UK", "ZH"}},
        {"deeplTarget",
         &languages::deeplTarget,
         {"BG", "CS", "DA", "DE", "EL", "EN",    "EN-GB",   "EN-US",  "ES",
          "ET", "FI", "FR", "HU", "ID", "IT",    "JA",      "KO",     "LT",
          "LV", "NB", "NL", "PL", "PT", "PT-BR", "PT-PT",   "RO",     "RU",
          "SK", "SL", "SV", "TR", "UK", "ZH",    "ZH-HANS", "ZH-HANT"}},
        {"googleTranslate",
         &languages::googleTranslate,
         {"auto", "af",  "sq",  "am",  "ar",  "hy",  "as",       "ay",  "az",  "bm",    "eu",
          "be",   "bn",  "bho", "bs",  "bg",  "ca",  "ceb",      "ny",  "zh",  "zh-CN", "zh-TW",
          "co",   "hr",  "cs",  "da",  "dv",  "doi", "nl",       "en",  "eo",  "et",    "ee",
          "tl",   "fi",  "fr",  "fy",  "gl",  "ka",  "de",       "el",  "gn",  "gu",    "ht",
          "ha",   "haw", "iw",  "hi",  "hmn", "hu",  "is",       "ig",  "ilo", "id",    "ga",
          "it",   "ja",  "jw",  "kn",  "kk",  "km",  "rw",       "gom", "ko",  "kri",   "ku",
          "ckb",  "ky",  "lo",  "la",  "lv",  "ln",  "lt",       "lg",  "lb",  "mk",    "mai",
          "mg",   "ms",  "ml",  "mt",  "mi",  "mr",  "mni-Mtei", "lus", "mn",  "my",    "ne",
          "no",   "or",  "om",  "ps",  "fa",  "pl",  "pt",       "pa",  "qu",  "ro",    "ru",
          "sm",   "sa",  "gd",  "nso", "sr",  "st",  "sn",       "sd",  "si",  "sk",    "sl",
          "so",   "es",  "su",  "sw",  "sv",  "tg",  "ta",       "tt",  "te",  "th",    "ti",
          "ts",   "tr",  "tk",  "ak",  "uk",  "ur",  "ug",       "uz",  "vi",  "cy",    "xh",
          "yi",   "yo",  "zu"}},
        {"gemini", &languages::gemini, {"auto", "ko", "en", "ja", "zh", "es", "fr", "de",
                                        "it",   "pt", "ru", "ar", "hi", "th", "vi", "id",
                                        "tr",   "pl", "nl", "sv", "da", "fi", "nb", "cs",
                                        "hu",   "ro", "bg", "uk", "el", "he", "ms", "tl"}},
    };
    return lists;
}

TEST(LanguageTablesTest, every_list_matches_entry_for_entry) {
    const size_t sizes[] = {100, 33, 44, 30, 35, 135, 32};
    ASSERT_EQ(expectedLists().size(), 7u);
    for (size_t i = 0; i < expectedLists().size(); ++i) {
        const auto& expected = expectedLists()[i];
        SCOPED_TRACE(expected.name);
        const LanguageList& actual = expected.get();
        EXPECT_EQ(expected.codes.size(), sizes[i]);
        EXPECT_EQ(actual, expected.codes);
        // No duplicates: a search stops at the first equal entry.
        EXPECT_EQ(std::set<std::string>(actual.begin(), actual.end()).size(), actual.size());
        // "auto" appears only as the first entry, and only where the list has it.
        for (size_t k = 1; k < actual.size(); ++k) EXPECT_NE(actual[k], "auto");
    }
    EXPECT_EQ(languages::whisper().front(), "auto");
    EXPECT_EQ(languages::whisper().back(), "su");
    EXPECT_EQ(languages::googleSpeech().back(), "ms-MY");
    EXPECT_EQ(languages::deepgram()[1], "multi");
    EXPECT_EQ(languages::deepgram().back(), "bg");
    EXPECT_EQ(languages::deeplSource().back(), "ZH");
    EXPECT_EQ(languages::deeplTarget().front(), "BG");
    EXPECT_EQ(languages::deeplTarget().back(), "ZH-HANT");
    EXPECT_EQ(languages::googleTranslate().back(), "zu");
    EXPECT_EQ(languages::gemini().back(), "tl");
}

TEST(LanguageTablesTest, lists_are_shared_not_rebuilt) {
    EXPECT_EQ(&languages::whisper(), &languages::whisper());
    EXPECT_EQ(languages::whisper().data(), languages::whisper().data());
}

TEST(LanguageTablesTest, membership_is_exact_and_case_sensitive) {
    using languages::contains;
    EXPECT_TRUE(contains(languages::deeplSource(), "auto"));
    EXPECT_FALSE(contains(languages::deeplSource(), "AUTO"));
    EXPECT_FALSE(contains(languages::deeplTarget(), "auto"));
    for (const char* regional : {"EN-US", "PT-BR", "ZH-HANS"}) {
        EXPECT_FALSE(contains(languages::deeplSource(), regional)) << regional;
        EXPECT_TRUE(contains(languages::deeplTarget(), regional)) << regional;
    }
    EXPECT_TRUE(contains(languages::googleTranslate(), "mni-Mtei"));
    EXPECT_FALSE(contains(languages::googleTranslate(), "mni-mtei"));
    EXPECT_FALSE(contains(languages::googleTranslate(), "mni"));
    EXPECT_TRUE(contains(languages::googleTranslate(), "iw"));
    EXPECT_FALSE(contains(languages::googleTranslate(), "he"));
    EXPECT_TRUE(contains(languages::whisper(), "he"));
    EXPECT_TRUE(contains(languages::deepgram(), "he"));
    EXPECT_TRUE(contains(languages::gemini(), "he"));
    EXPECT_FALSE(contains(languages::googleSpeech(), "ko"));
    EXPECT_TRUE(contains(languages::googleSpeech(), "ko-KR"));
    EXPECT_FALSE(contains(languages::googleSpeech(), "ko-kr"));
    EXPECT_TRUE(contains(languages::whisper(), "haw"));
    EXPECT_FALSE(contains(languages::whisper(), "ha "));
    EXPECT_FALSE(contains(languages::whisper(), std::string("en\0", 3)));
    for (const auto& list : expectedLists()) EXPECT_FALSE(contains(list.get(), "")) << list.name;
}

TEST(LanguageTablesTest, gemini_names_cover_exactly_the_gemini_codes) {
    using languages::geminiLanguageName;
    EXPECT_EQ(geminiLanguageName("ko"), "Korean");
    EXPECT_EQ(geminiLanguageName("tl"), "Filipino");
    EXPECT_EQ(geminiLanguageName("nb"), "Norwegian");
    EXPECT_EQ(geminiLanguageName("he"), "Hebrew");
    EXPECT_EQ(geminiLanguageName("ms"), "Malay");
    for (const char* unchanged : {"no", "auto", "", "EN", "en-US", "Ko", "k", "kor"}) {
        EXPECT_EQ(geminiLanguageName(unchanged), unchanged);
    }
    // Every code but "auto" has a name of its own, and nothing else does.
    std::set<std::string> names;
    for (const auto& code : languages::gemini()) {
        if (code == "auto") continue;
        const std::string name = geminiLanguageName(code);
        EXPECT_NE(name, code);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 31u);
    for (const auto& code : languages::whisper()) {
        if (!languages::contains(languages::gemini(), code)) {
            EXPECT_EQ(geminiLanguageName(code), code);
        }
    }
}

}  // namespace
}  // namespace obs_sayline
