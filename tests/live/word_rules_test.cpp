// The streamer's word lists: the vocabulary as the services get it, and replacements and hidden
// words as they change a recognised line.

#include "live/word_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace obs_sayline {
namespace {

using Terms = std::vector<std::string>;

std::string replaced(const std::string& rules, const std::string& text) {
    return WordRules::parse(rules, "").apply(text);
}

std::string hidden(const std::string& words, const std::string& text) {
    return WordRules::parse("", words).hide(text);
}

std::string lines(size_t count, const std::string& prefix) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += prefix + std::to_string(i) + "\n";
    return text;
}

TEST(WordRulesTest, vocabulary_is_trimmed_deduplicated_and_bounded) {
    EXPECT_EQ(parseVocabulary("  Sayline \r\n\n\tSeoul   Tower\nsayline\nÉcole\nécole\n\xC3(\n"),
              (Terms{"Sayline", "Seoul Tower", "École"}));
    EXPECT_EQ(parseVocabulary(lines(150, "term")).size(), kMaxVocabularyTerms);
    // The character bound counts characters, not bytes, and never cuts a term: 33 terms of 30
    // Hangul characters make 990; the 34th would pass 1,000.
    std::string stem;
    for (int k = 0; k < 28; ++k) stem += "가";
    std::string korean;
    for (int i = 0; i < 40; ++i) {
        korean += stem +
                  (i < 10   ? "나"
                   : i < 20 ? "다"
                   : i < 30 ? "라"
                            : "마") +
                  std::to_string(i % 10) + "\n";
    }
    const Terms terms = parseVocabulary(korean);
    ASSERT_EQ(terms.size(), 33u);
    EXPECT_EQ(terms.back(), stem + "마2");
}

TEST(WordRulesTest, replacements_are_whole_words_in_any_case_longest_first) {
    const std::string rules = "say line => Sayline\ncat => dog\nnew => old\nnew york => NYC\n";
    EXPECT_EQ(replaced(rules, "Say line and SAY LINE, Cat concatenates cat."),
              "Sayline and Sayline, dog concatenates dog.");
    EXPECT_EQ(replaced(rules, "New York is new"), "NYC is old");
    // Replaced text is not looked at again.
    EXPECT_EQ(replaced("a => b\nb => c", "a b"), "b c");
    // Case beyond ASCII, and word ends beyond ASCII.
    EXPECT_EQ(replaced("москва => Moscow\nαθήνα => Athens\nécole => school\n"
                       "istanbul => Istanbul\nphở => pho",
                       "МОСКВА, ΑΘΉΝΑ, École, écoles, İSTANBUL, PHỞ"),
              "Moscow, Athens, school, écoles, Istanbul, pho");
}

TEST(WordRulesTest, unspaced_scripts_match_inside_runs) {
    EXPECT_EQ(replaced("싸이라인 => Sayline", "싸이라인이 최고"), "Sayline이 최고");
    EXPECT_EQ(replaced("さいらいん => Sayline", "私はさいらいんです"), "私はSaylineです");
    // A Latin word meets Korean particles and Japanese text at a word end.
    EXPECT_EQ(replaced("sayline => Sayline", "saylineは sayline이 saylines"),
              "Saylineは Sayline이 saylines");
}

TEST(WordRulesTest, removal_leaves_no_stray_blank_or_separator) {
    const std::string um = "um =>\n";
    EXPECT_EQ(replaced(um, "um, so um I think um."), "so I think.");
    EXPECT_EQ(replaced(um, "Hello, um, world"), "Hello, world");
    EXPECT_EQ(replaced(um, "a um\num b"), "a\nb");
    EXPECT_EQ(replaced(um, "um"), "");
    EXPECT_EQ(replaced("음 =>", "음 안녕하세요"), "안녕하세요");
}

TEST(WordRulesTest, malformed_and_excess_lines_are_skipped) {
    const WordRules rules = WordRules::parse(
        "no arrow here\n=> orphan\n a => b => c \nA => x\n" + std::string(101, 'z') + " => y\n",
        "\n  \n");
    EXPECT_EQ(rules.replacementCount(), 1u);
    EXPECT_EQ(rules.hiddenCount(), 0u);
    EXPECT_EQ(rules.apply("a"), "b => c");
    std::string many;
    for (int i = 0; i < 150; ++i) many += "w" + std::to_string(i) + " => x\n";
    EXPECT_EQ(WordRules::parse(many, lines(150, "h")).replacementCount(), kMaxReplacementRules);
    EXPECT_EQ(WordRules::parse("", lines(150, "h")).hiddenCount(), kMaxHiddenWords);
}

TEST(WordRulesTest, hidden_words_keep_their_first_character_and_count_characters) {
    EXPECT_EQ(hidden("darn", "Darn it, DARN!"), "D*** it, D***!");
    EXPECT_EQ(hidden("바보", "너 바보야"), "너 바*야");
    EXPECT_EQ(hidden("блин\nблинчик", "Блинчик, блин."), "Б******, б***.");
    // After the replacements: a word that a rule produced is hidden too.
    const WordRules rules = WordRules::parse("frick => darn", "darn");
    EXPECT_EQ(rules.hide(rules.apply("oh frick")), "oh d***");
}

TEST(WordRulesTest, text_without_a_match_comes_back_untouched) {
    const std::string line(200, 'x');
    for (const WordRules& rules : {WordRules(), WordRules::parse("y => z", "q")}) {
        std::string text = line;
        const char* buffer = text.data();
        std::string out = rules.apply(std::move(text));
        EXPECT_EQ(out.data(), buffer);  // moved through, nothing copied
        out = rules.hide(std::move(out));
        EXPECT_EQ(out.data(), buffer);
    }
    // Bytes that are not UTF-8 pass through and match nothing.
    EXPECT_EQ(replaced("a => b",
                       "\xFF"
                       "a\xC3"),
              "\xFF"
              "b\xC3");
}

}  // namespace
}  // namespace obs_sayline
