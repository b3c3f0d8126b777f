#pragma once

#include <cstddef>
#include <set>
#include <string>

namespace obs_sayline {

// Helpers for UTF-8 text as subtitles need it: cut, broken into rows and counted by
// characters, never inside one.

// Each line cut to at most `maxChars` characters, never inside a UTF-8 character. Bytes that
// are not valid UTF-8 count as one character each.
std::string limitLineLength(const std::string& text, size_t maxChars);

// At most `maxBytes` bytes of the text, cut before a UTF-8 character that would not fit.
std::string limitBytes(const std::string& text, size_t maxBytes);

// Breaks every line longer than `maxChars` characters into rows of at most that many, at
// spaces where there are any (inside a word only when the word alone is longer).
std::string breakLines(const std::string& text, size_t maxChars);

// The distinct characters outside basic Latin, as UTF-8 byte strings.
std::set<std::string> nonAsciiCharacters(const std::string& text);

// Characters in the longest line (UTF-8 characters; a stray byte counts as one).
size_t longestLineChars(const std::string& text);

}  // namespace obs_sayline
