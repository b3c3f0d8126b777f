#include "platform/text_scripts.h"

namespace obs_sayline::platform {
namespace {

constexpr const char* kCjkFonts = "fonts-noto-cjk";
constexpr const char* kCoreFonts = "fonts-noto-core";
constexpr const char* kLatinFonts = "fonts-dejavu-core";

struct Range {
    char32_t first;
    char32_t last;
    Script script;
};

// Blocks in code point order; what is not listed counts as symbols.
constexpr Range kRanges[] = {
    {0x0000, 0x036F, {"Latin", kLatinFonts}},
    {0x0370, 0x03FF, {"Greek", kLatinFonts}},
    {0x0400, 0x052F, {"Cyrillic", kLatinFonts}},
    {0x0530, 0x058F, {"Armenian", kCoreFonts}},
    {0x0590, 0x05FF, {"Hebrew", kCoreFonts}},
    {0x0600, 0x06FF, {"Arabic", kCoreFonts}},
    {0x0700, 0x074F, {"Syriac", kCoreFonts}},
    {0x0750, 0x077F, {"Arabic", kCoreFonts}},
    {0x0780, 0x07BF, {"Thaana", kCoreFonts}},
    {0x08A0, 0x08FF, {"Arabic", kCoreFonts}},
    {0x0900, 0x097F, {"Devanagari", kCoreFonts}},
    {0x0980, 0x09FF, {"Bengali", kCoreFonts}},
    {0x0A00, 0x0A7F, {"Gurmukhi", kCoreFonts}},
    {0x0A80, 0x0AFF, {"Gujarati", kCoreFonts}},
    {0x0B00, 0x0B7F, {"Oriya", kCoreFonts}},
    {0x0B80, 0x0BFF, {"Tamil", kCoreFonts}},
    {0x0C00, 0x0C7F, {"Telugu", kCoreFonts}},
    {0x0C80, 0x0CFF, {"Kannada", kCoreFonts}},
    {0x0D00, 0x0D7F, {"Malayalam", kCoreFonts}},
    {0x0D80, 0x0DFF, {"Sinhala", kCoreFonts}},
    {0x0E00, 0x0E7F, {"Thai", kCoreFonts}},
    {0x0E80, 0x0EFF, {"Lao", kCoreFonts}},
    {0x0F00, 0x0FFF, {"Tibetan", kCoreFonts}},
    {0x1000, 0x109F, {"Myanmar", kCoreFonts}},
    {0x10A0, 0x10FF, {"Georgian", kCoreFonts}},
    {0x1100, 0x11FF, {"Hangul", kCjkFonts}},
    {0x1200, 0x139F, {"Ethiopic", kCoreFonts}},
    {0x1780, 0x17FF, {"Khmer", kCoreFonts}},
    {0x1C80, 0x1C8F, {"Cyrillic", kLatinFonts}},
    {0x1D00, 0x1EFF, {"Latin", kLatinFonts}},
    {0x1F00, 0x1FFF, {"Greek", kLatinFonts}},
    {0x2C60, 0x2C7F, {"Latin", kLatinFonts}},
    {0x2D00, 0x2D2F, {"Georgian", kCoreFonts}},
    {0x2DE0, 0x2DFF, {"Cyrillic", kLatinFonts}},
    {0x2E80, 0x2FDF, {"Han", kCjkFonts}},
    {0x3000, 0x303F, {"CJK punctuation", kCjkFonts}},
    {0x3040, 0x30FF, {"Kana", kCjkFonts}},
    {0x3100, 0x312F, {"Bopomofo", kCjkFonts}},
    {0x3130, 0x318F, {"Hangul", kCjkFonts}},
    {0x31A0, 0x31BF, {"Bopomofo", kCjkFonts}},
    {0x31F0, 0x31FF, {"Kana", kCjkFonts}},
    {0x3200, 0x33FF, {"CJK punctuation", kCjkFonts}},
    {0x3400, 0x4DBF, {"Han", kCjkFonts}},
    {0x4E00, 0x9FFF, {"Han", kCjkFonts}},
    {0xA640, 0xA69F, {"Cyrillic", kLatinFonts}},
    {0xA720, 0xA7FF, {"Latin", kLatinFonts}},
    {0xA960, 0xA97F, {"Hangul", kCjkFonts}},
    {0xAC00, 0xD7FF, {"Hangul", kCjkFonts}},
    {0xF900, 0xFAFF, {"Han", kCjkFonts}},
    {0xFB00, 0xFB06, {"Latin", kLatinFonts}},
    {0xFB1D, 0xFB4F, {"Hebrew", kCoreFonts}},
    {0xFB50, 0xFDFF, {"Arabic", kCoreFonts}},
    {0xFE30, 0xFE4F, {"CJK punctuation", kCjkFonts}},
    {0xFE70, 0xFEFF, {"Arabic", kCoreFonts}},
    {0xFF00, 0xFF65, {"CJK punctuation", kCjkFonts}},
    {0xFF66, 0xFF9F, {"Kana", kCjkFonts}},
    {0xFFA0, 0xFFDC, {"Hangul", kCjkFonts}},
    {0x1B000, 0x1B16F, {"Kana", kCjkFonts}},
    {0x1F000, 0x1FAFF, {"Emoji", "fonts-symbola"}},
    {0x20000, 0x3134F, {"Han", kCjkFonts}},
};

constexpr Script kSymbols{"Symbols", "fonts-symbola"};

}  // namespace

std::u32string codePoints(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (valid) {
            out.push_back(cp);
            i += length;
        } else {
            ++i;
        }
    }
    return out;
}

bool needsGlyph(char32_t c) {
    if (c <= 0x20 || (c >= 0x7F && c <= 0xA0)) return false;
    if (c == 0x00AD || c == 0x3000 || c == 0xFEFF) return false;
    if (c >= 0x2000 && c <= 0x200F) return false;  // spaces of set widths, joiners, marks
    if (c >= 0x2028 && c <= 0x202F) return false;
    if (c >= 0x2060 && c <= 0x206F) return false;
    if (c >= 0xFE00 && c <= 0xFE0F) return false;  // variation selectors
    return true;
}

const Script& scriptOf(char32_t c) {
    // The table is short: a binary search would not pay for itself here.
    for (const Range& range : kRanges) {
        if (c < range.first) break;
        if (c <= range.last) return range.script;
    }
    return kSymbols;
}

}  // namespace obs_sayline::platform
