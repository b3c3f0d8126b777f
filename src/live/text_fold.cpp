#include "live/text_fold.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace obs_sayline {
namespace {

constexpr char32_t kStrayBase = 0xDC00;

bool continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Case pairs of Latin Extended-B and Greek that follow no simple rule, sorted by upper case.
constexpr std::pair<char32_t, char32_t> kIrregularFolds[] = {
    {0x0181, 0x0253}, {0x0182, 0x0183}, {0x0184, 0x0185}, {0x0186, 0x0254}, {0x0187, 0x0188},
    {0x0189, 0x0256}, {0x018A, 0x0257}, {0x018B, 0x018C}, {0x018E, 0x01DD}, {0x018F, 0x0259},
    {0x0190, 0x025B}, {0x0191, 0x0192}, {0x0193, 0x0260}, {0x0194, 0x0263}, {0x0196, 0x0269},
    {0x0197, 0x0268}, {0x0198, 0x0199}, {0x019C, 0x026F}, {0x019D, 0x0272}, {0x019F, 0x0275},
    {0x01A0, 0x01A1}, {0x01A2, 0x01A3}, {0x01A4, 0x01A5}, {0x01A6, 0x0280}, {0x01A7, 0x01A8},
    {0x01A9, 0x0283}, {0x01AC, 0x01AD}, {0x01AE, 0x0288}, {0x01AF, 0x01B0}, {0x01B1, 0x028A},
    {0x01B2, 0x028B}, {0x01B3, 0x01B4}, {0x01B5, 0x01B6}, {0x01B7, 0x0292}, {0x01B8, 0x01B9},
    {0x01BC, 0x01BD}, {0x01C4, 0x01C6}, {0x01C5, 0x01C6}, {0x01C7, 0x01C9}, {0x01C8, 0x01C9},
    {0x01CA, 0x01CC}, {0x01CB, 0x01CC}, {0x01F1, 0x01F3}, {0x01F2, 0x01F3}, {0x01F4, 0x01F5},
    {0x01F6, 0x0195}, {0x01F7, 0x01BF}, {0x0220, 0x019E}, {0x023A, 0x2C65}, {0x023B, 0x023C},
    {0x023D, 0x019A}, {0x023E, 0x2C66}, {0x0241, 0x0242}, {0x0243, 0x0180}, {0x0244, 0x0289},
    {0x0245, 0x028C}, {0x0376, 0x0377}, {0x037F, 0x03F3}, {0x0386, 0x03AC}, {0x038C, 0x03CC},
    {0x03C2, 0x03C3}, {0x03CF, 0x03D7}, {0x03D0, 0x03B2}, {0x03D1, 0x03B8}, {0x03D5, 0x03C6},
    {0x03D6, 0x03C0}, {0x03F0, 0x03BA}, {0x03F1, 0x03C1}, {0x03F4, 0x03B8}, {0x03F5, 0x03B5},
    {0x03F7, 0x03F8}, {0x03F9, 0x03F2}, {0x03FA, 0x03FB}, {0x04C0, 0x04CF}, {0x10C7, 0x2D27},
    {0x10CD, 0x2D2D}, {0x1E9B, 0x1E61}, {0x1E9E, 0x00DF},
};

// Blocks where upper and lower case alternate, the upper case on even (or odd) code points.
struct AlternatingBlock {
    char32_t first;
    char32_t last;
    bool upperEven;
};
constexpr AlternatingBlock kAlternating[] = {
    {0x0100, 0x012F, true}, {0x0132, 0x0137, true},  {0x0139, 0x0148, false},
    {0x014A, 0x0177, true}, {0x0179, 0x017E, false}, {0x01CD, 0x01DC, false},
    {0x01DE, 0x01EF, true}, {0x01F8, 0x021F, true},  {0x0222, 0x0233, true},
    {0x0246, 0x024F, true}, {0x0370, 0x0373, true},  {0x03D8, 0x03EF, true},
    {0x0460, 0x0481, true}, {0x048A, 0x04BF, true},  {0x04C1, 0x04CE, false},
    {0x04D0, 0x052F, true}, {0x1E00, 0x1E95, true},  {0x1EA0, 0x1EFF, true},
};

// Blocks whose upper case sits at a fixed distance from its lower case.
struct ShiftedBlock {
    char32_t first;
    char32_t last;
    char32_t lowerOfFirst;
};
constexpr ShiftedBlock kShifted[] = {
    {0x00C0, 0x00D6, 0x00E0}, {0x00D8, 0x00DE, 0x00F8}, {0x0388, 0x038A, 0x03AD},
    {0x038E, 0x038F, 0x03CD}, {0x0391, 0x03A1, 0x03B1}, {0x03A3, 0x03AB, 0x03C3},
    {0x03FD, 0x03FF, 0x037B}, {0x0400, 0x040F, 0x0450}, {0x0410, 0x042F, 0x0430},
    {0x0531, 0x0556, 0x0561}, {0x10A0, 0x10C5, 0x2D00}, {0x1C90, 0x1CBA, 0x10D0},
    {0x1CBD, 0x1CBF, 0x10FD}, {0xFF21, 0xFF3A, 0xFF41},
};

struct Range {
    char32_t first;
    char32_t last;
};

// Punctuation, symbols and blanks outside ASCII: not part of a word.
constexpr Range kNonWord[] = {
    {0x0080, 0x00A9}, {0x00AB, 0x00B4}, {0x00B6, 0x00B9},   {0x00BB, 0x00BF}, {0x00D7, 0x00D7},
    {0x00F7, 0x00F7}, {0x037E, 0x037E}, {0x0387, 0x0387},   {0x055A, 0x055F}, {0x0589, 0x058A},
    {0x05BE, 0x05BE}, {0x05C0, 0x05C0}, {0x05C3, 0x05C3},   {0x05C6, 0x05C6}, {0x05F3, 0x05F4},
    {0x0600, 0x060F}, {0x061B, 0x061F}, {0x066A, 0x066D},   {0x06D4, 0x06D4}, {0x0964, 0x0965},
    {0x0E3F, 0x0E3F}, {0x0E4F, 0x0E4F}, {0x0E5A, 0x0E5B},   {0x0F04, 0x0F14}, {0x104A, 0x104F},
    {0x10FB, 0x10FB}, {0x1360, 0x1368}, {0x1680, 0x1680},   {0x17D4, 0x17DA}, {0x2000, 0x2BFF},
    {0x2E00, 0x2E7F}, {0x3000, 0x3004}, {0x3008, 0x3020},   {0x3030, 0x3030}, {0x303D, 0x303D},
    {0x30FB, 0x30FB}, {0xFE10, 0xFE6F}, {0xFF00, 0xFF0F},   {0xFF1A, 0xFF20}, {0xFF3B, 0xFF40},
    {0xFF5B, 0xFF65}, {0xFFF0, 0xFFFF}, {0x1F000, 0x1FAFF},
};

constexpr Range kUnspaced[] = {
    {0x0E00, 0x0EFF}, {0x0F00, 0x0FFF}, {0x1000, 0x109F},   {0x1100, 0x11FF}, {0x1780, 0x17FF},
    {0x2E80, 0x2FDF}, {0x3005, 0x3007}, {0x3021, 0x3029},   {0x3031, 0x3035}, {0x3040, 0x318F},
    {0x31A0, 0x31FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},   {0xA960, 0xA97F}, {0xAC00, 0xD7FF},
    {0xF900, 0xFAFF}, {0xFF66, 0xFFDC}, {0x20000, 0x3FFFF},
};

template <size_t N>
bool inRanges(const Range (&ranges)[N], char32_t cp) {
    const Range* end = ranges + N;
    const Range* it =
        std::lower_bound(ranges, end, cp, [](const Range& r, char32_t c) { return r.last < c; });
    return it != end && it->first <= cp;
}

}  // namespace

Utf8Char decodeUtf8(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const Utf8Char stray{kStrayBase + lead, 1};
    if (lead < 0x80) return {lead, 1};
    size_t length;
    char32_t cp;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return stray;
    }
    if (text.size() - at < length) return stray;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char b = byte(at + i);
        if (i == 1 ? (b < low || b > high) : !continuation(b)) return stray;
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, length};
}

Utf8Char decodeUtf8Before(std::string_view text, size_t at) {
    size_t start = at - 1;
    while (start > 0 && at - start < 4 && continuation(static_cast<unsigned char>(text[start]))) {
        --start;
    }
    const Utf8Char c = decodeUtf8(text, start);
    if (start + c.length == at) return c;
    return {kStrayBase + static_cast<unsigned char>(text[at - 1]), 1};
}

bool isValidUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const Utf8Char c = decodeUtf8(text, at);
        if (c.cp >= kStrayBase && c.cp <= kStrayBase + 0xFF && c.length == 1) return false;
        at += c.length;
    }
    return true;
}

size_t utf8Length(std::string_view text) {
    size_t count = 0;
    for (size_t at = 0; at < text.size(); ++count) at += decodeUtf8(text, at).length;
    return count;
}

char32_t foldCase(char32_t cp) {
    if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    if (cp == 0x00B5) return 0x03BC;  // micro sign: Greek mu
    if (cp == 0x0130) return U'i';
    if (cp == 0x0178) return 0x00FF;
    if (cp == 0x017F) return U's';
    for (const ShiftedBlock& b : kShifted) {
        if (cp >= b.first && cp <= b.last) return b.lowerOfFirst + (cp - b.first);
    }
    for (const AlternatingBlock& b : kAlternating) {
        if (cp >= b.first && cp <= b.last) {
            const bool even = cp % 2 == 0;
            return even == b.upperEven ? cp + 1 : cp;
        }
    }
    const auto* end = std::end(kIrregularFolds);
    const auto* it = std::lower_bound(std::begin(kIrregularFolds), end, cp,
                                      [](const auto& pair, char32_t c) { return pair.first < c; });
    return it != end && it->first == cp ? it->second : cp;
}

std::u32string foldedText(std::string_view text) {
    std::u32string folded;
    for (size_t at = 0; at < text.size();) {
        const Utf8Char c = decodeUtf8(text, at);
        folded.push_back(foldCase(c.cp));
        at += c.length;
    }
    return folded;
}

bool isWordCharacter(char32_t cp) {
    if (cp < 0x80) {
        return (cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') ||
               cp == '_';
    }
    if (cp >= kStrayBase && cp <= kStrayBase + 0xFF) return false;
    return !inRanges(kNonWord, cp);
}

bool isUnspacedScript(char32_t cp) { return inRanges(kUnspaced, cp); }

bool isTextSpace(char32_t cp) {
    return cp == ' ' || (cp >= '\t' && cp <= '\r') || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
           cp == 0x205F || cp == 0x3000;
}

bool isLineBreak(char32_t cp) {
    return cp == '\n' || cp == '\r' || cp == 0x85 || cp == 0x2028 || cp == 0x2029;
}

}  // namespace obs_sayline
