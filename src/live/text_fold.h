#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace obs_sayline {

// The character handling that word rules need, without a Unicode library: UTF-8 decoding,
// simple case folding for the cased scripts of the recognition languages (Latin with its
// extensions, Greek, Cyrillic, Armenian, Georgian, fullwidth Latin) and a coarse split of
// characters into word characters, blanks and the rest.

// One character of UTF-8 text: its code point and its length in bytes. A byte that does not
// start a well-formed character is one character of its own, 0xDC00 + the byte: a lone
// surrogate, which well-formed text never holds, so it matches nothing but itself.
struct Utf8Char {
    char32_t cp = 0;
    size_t length = 1;
};

// The character at `at` (< text.size()).
Utf8Char decodeUtf8(std::string_view text, size_t at);
// The character that ends just before `at` (> 0).
Utf8Char decodeUtf8Before(std::string_view text, size_t at);
bool isValidUtf8(std::string_view text);
// Characters in the text, a stray byte counting as one.
size_t utf8Length(std::string_view text);

// Lower case for the cased scripts above (İ folds to i, final sigma to sigma); any other
// character comes back unchanged.
char32_t foldCase(char32_t cp);
// The text folded character by character; stray bytes become their lone surrogates.
std::u32string foldedText(std::string_view text);

// Letters, digits and combining marks of any script (punctuation, symbols, blanks and emoji
// are not).
bool isWordCharacter(char32_t cp);
// Scripts written without spaces between words: Hangul, kana, Han, Thai, Lao, Khmer, Myanmar,
// Tibetan. A word there ends wherever the sense does, so it is matched inside longer runs.
bool isUnspacedScript(char32_t cp);
// Blanks and line breaks, ASCII or not (no-break and ideographic spaces included).
bool isTextSpace(char32_t cp);
bool isLineBreak(char32_t cp);

}  // namespace obs_sayline
