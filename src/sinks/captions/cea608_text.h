#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace obs_sayline {

// CEA-608 caption text as libobs's caption path accepts it: a row holds 32 characters, and
// libobs keeps at most 128 bytes of one caption's UTF-8 text.
constexpr size_t kCea608RowChars = 32;
constexpr size_t kCea608CaptionRows = 2;
constexpr size_t kCaptionTextBytes = 128;

// A text reduced to the characters 608 carries.
struct Cea608Characters {
    // Characters 608 has stay; accented letters it lacks become their base letter, a few
    // symbols their plain spelling; anything else is dropped. Blanks are collapsed to single
    // spaces and trimmed.
    std::string text;
    // Set when the text has letters of a script 608 cannot carry at all ("Hangul", "Han",
    // "Cyrillic", ...): the name of the first one found. `text` is empty then.
    std::string refusedScript;
};

Cea608Characters toCea608Characters(const std::string& utf8);

// Captions of at most two rows (joined by "\n") of at most 32 characters each, broken at
// spaces (inside a word only when the word alone is longer than a row), in reading order.
// Two rows that would exceed libobs's 128 bytes go out as two captions.
std::vector<std::string> cea608Captions(const std::string& carried);

}  // namespace obs_sayline
