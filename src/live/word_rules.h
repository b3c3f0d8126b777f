#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace obs_sayline {

// Bounds of the streamer's word lists as the settings hold them.
constexpr size_t kMaxVocabularyTerms = 100;
constexpr size_t kMaxVocabularyChars = 1000;  // all terms together
constexpr size_t kMaxReplacementRules = 100;
constexpr size_t kMaxHiddenWords = 100;
constexpr size_t kMaxRuleChars = 100;  // either side of a replacement, or one hidden word

// The vocabulary setting (one word or phrase a line) as the services get it: each line
// trimmed with its inner blanks made single spaces; blank lines, lines that are not UTF-8 and
// duplicates (in any case) left out; at most kMaxVocabularyTerms terms and
// kMaxVocabularyChars characters in all: the term that would pass either bound is left out
// with every term after it.
std::vector<std::string> parseVocabulary(std::string_view text);

// The streamer's replacements and hidden words, parsed once per capture and applied to every
// recognised line: a copyable snapshot, safe to share between threads for reading.
//
// Matching is whole words and case-insensitive (case folding covers Latin, Greek, Cyrillic,
// Armenian and Georgian), at the leftmost place, the longest rule first. A rule or word that
// holds a character of a script written without spaces (Korean, Japanese, Chinese, Thai, ...)
// matches inside longer runs too; a word in a spaced script still matches where it meets such
// characters ("Sayline이", "私はSaylineです").
class WordRules {
public:
    // Replacements: one rule a line, "wrong => right"; "wrong =>" removes the word. Hidden
    // words: one a line. Lines without "=>", with nothing before it, not UTF-8, longer than
    // kMaxRuleChars on either side, or repeating an earlier rule or word (in any case) are
    // skipped; past the count bounds the rest is ignored.
    static WordRules parse(std::string_view replacements, std::string_view hiddenWords);

    bool empty() const { return replacements_.empty() && hidden_.empty(); }
    size_t replacementCount() const { return replacements_.size(); }
    size_t hiddenCount() const { return hidden_.size(); }

    // The text with every replacement made; replaced text is not looked at again. A removed
    // word takes a blank next to it along, so no double blank or blank before punctuation is
    // left. Without rules, or without a match, the text comes back as it was.
    std::string apply(std::string text) const;
    // Every hidden word shown as its first character and one asterisk for each further
    // character ("Darn" -> "D***"). Used after apply(), and on translations too.
    std::string hide(std::string text) const;

    struct Pattern {
        std::u32string folded;     // case-folded characters; a blank stands for any one blank
        bool inside = false;       // also inside longer runs (an unspaced script)
        bool wordAtStart = false;  // starts with a word character: needs a boundary before it
        bool wordAtEnd = false;
    };

private:
    struct Replacement {
        Pattern pattern;
        std::string with;  // empty: remove
    };

    std::vector<Replacement> replacements_;  // longest first
    std::vector<Pattern> hidden_;            // longest first
};

}  // namespace obs_sayline
