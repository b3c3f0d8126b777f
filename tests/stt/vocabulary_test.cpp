// The vocabulary within each service's limit: whole terms, in order, never past the bound.

#include "stt/vocabulary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace obs_sayline {
namespace {

std::vector<std::string> numbered(size_t count, const std::string& stem) {
    std::vector<std::string> terms;
    for (size_t i = 0; i < count; ++i) terms.push_back(stem + std::to_string(i));
    return terms;
}

TEST(VocabularyTest, whisper_prompt_stops_at_the_last_whole_term_within_its_tokens) {
    for (const std::string stem : {"Streamerword", "까치까치"}) {
        const auto terms = numbered(100, stem);
        const VocabularyFit fit = whisperVocabularyPrompt(terms);
        ASSERT_GT(fit.sent, 0u) << stem;
        EXPECT_EQ(fit.sent + fit.left, terms.size());
        EXPECT_LE(estimateTokens(fit.text), kWhisperPromptTokens);
        // The next term would not have fitted; the last one sent is whole.
        std::string longer = fit.text.substr(0, fit.text.size() - 1) + ", " + terms[fit.sent] + ".";
        EXPECT_GT(estimateTokens(longer), kWhisperPromptTokens) << stem;
        EXPECT_EQ(fit.text.substr(fit.text.size() - terms[fit.sent - 1].size() - 1),
                  terms[fit.sent - 1] + ".");
    }
    EXPECT_EQ(whisperVocabularyPrompt({"Dr. Kim", "Yes!"}).text, "Vocabulary: Dr. Kim, Yes!");
    EXPECT_EQ(whisperVocabularyPrompt({}).text, "");
}

TEST(VocabularyTest, deepgram_keyterms_stay_within_500_tokens_and_need_nova_3) {
    const auto terms = numbered(100, "Keytermnumber");
    const VocabularyFit fit = deepgramVocabularyQuery("nova-3", terms, false);
    ASSERT_GT(fit.sent, 0u);
    EXPECT_GT(fit.left, 0u);
    size_t tokens = 0;
    for (size_t i = 0; i < fit.sent; ++i) tokens += estimateTokens(terms[i]);
    EXPECT_LE(tokens, kDeepgramKeytermTokens);
    EXPECT_GT(tokens + estimateTokens(terms[fit.sent]), kDeepgramKeytermTokens);
    EXPECT_EQ(fit.text.rfind("&keyterm=Keytermnumber0&keyterm=Keytermnumber1&", 0), 0u);

    EXPECT_EQ(deepgramVocabularyQuery("nova-3-medical", {"a b"}, true).text,
              "&profanity_filter=true&keyterm=a%20b");
    const VocabularyFit nova2 = deepgramVocabularyQuery("nova-2", {"Sayline"}, true);
    EXPECT_EQ(nova2.text, "&profanity_filter=true");
    EXPECT_EQ(nova2.left, 1u);
}

}  // namespace
}  // namespace obs_sayline
