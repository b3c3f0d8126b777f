#pragma once

#include <string>

namespace obs_sayline::platform {

// Code points of UTF-8 text; bytes that do not form a character are skipped.
std::u32string codePoints(const std::string& text);

// False for characters that draw no ink of their own (blanks, controls, joiners, variation
// selectors): a font need not have them for a row to come out whole.
bool needsGlyph(char32_t c);

// The writing system a character belongs to, as far as choosing a font goes, and a Debian
// package with a font for it.
struct Script {
    const char* name;     // "Hangul", "Kana", "Devanagari", ...
    const char* package;  // "fonts-noto-cjk", ...
};
const Script& scriptOf(char32_t c);

}  // namespace obs_sayline::platform
