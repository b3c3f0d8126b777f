#include "sinks/captions/cea608_text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "core/utf8_text.h"

namespace obs_sayline {
namespace {

constexpr uint32_t kBadByte = 0xFFFFFFFFu;

// The characters beyond printable ASCII that libobs's caption text path turns into 608 codes
// (its UTF-8 table: the special North American set and the extended Western European sets).
// Any other character would not be drawn and would cut the rest of its row short.
constexpr uint32_t kKept[] = {
    0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A9, 0x00AB, 0x00AE, 0x00B0, 0x00BB, 0x00BD,
    0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB,
    0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D8, 0x00D9,
    0x00DA, 0x00DB, 0x00DC, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E7, 0x00E8,
    0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5,
    0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x2014, 0x2018, 0x2019, 0x201C, 0x201D,
    0x2022, 0x2120, 0x2122, 0x250C, 0x2510, 0x2514, 0x2518, 0x2588, 0x266A,
};

// Base letters of the Latin letters 608 lacks, one per code point from the block's first;
// '?' where there is no single base letter (see kSpelled) or none at all.
struct BaseLetters {
    uint32_t first;
    const char* letters;
};

constexpr BaseLetters kBaseLetters[] = {
    {0x00C0,  // Latin-1 letters (most are kept)
     "AAAAAA?CEEEEIIIIDNOOOOOx?UUUUY??aaaaaa?ceeeeiiiidnooooo??uuuuy?y"},
    {0x0100,  // Latin Extended-A
     "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi??JjKkkLlLlLlL"
     "lLlNnNnNnnNnOoOoOo??RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs"},
    {0x0180,  // Latin Extended-B
     "bBBb??OCcDDDd?EEEFfG???IKkl??NnOOo??Pp?????tTtTUu?VYyZz?????????"
     "?????????????AaIiOoUuUuUuUuUueAaAa??GgGgKkOoOo??j???Gg??NnAa??Oo"
     "AaAaEeEeIiIiOoOoRrRrUuUuSsTt??HhNd??ZzAaEeOoOoOoOoYylntj??ACcLTs"
     "z??BU?EeJjQqRrYy"},
    {0x1E00,  // Latin Extended Additional (Vietnamese among others)
     "AaBbBbBbCcDdDdDdDdDdEeEeEeEeEeFfGgHhHhHhHhHhIiIiKkKkKkLlLlLlLlMm"
     "MmMmNnNnNnNnOoOoOoOoPpPpRrRrRrRrSsSsSsSsSsTtTtTtTtUuUuUuUuUuVvVv"
     "WwWwWwWwWwXxXxYyZzZzZzhtwyasss?dAaAaAaAaAaAaAaAaAaAaAaAaEeEeEeEe"
     "EeEeEeEeIiIiOoOoOoOoOoOoOoOoOoOoOoOoUuUuUuUuUuUuUuYyYyYyYy??VvYy"},
};

// Letters spelled with more than one base letter, and symbols with a plain spelling.
struct Spelling {
    uint32_t codePoint;
    const char* text;
};

constexpr Spelling kSpelled[] = {
    // libobs sends the ASCII apostrophe as an extended character (a space, then a code that
    // overwrites it), which decoders draw differently; U+2019 goes as 608's basic apostrophe.
    {0x0027, "\u2019"}, {0x00AA, "a"},  {0x00B1, "+/-"},    {0x00B2, "2"},      {0x00B3, "3"},
    {0x00B4, "\u2019"}, {0x00B5, "u"},  {0x00B9, "1"},      {0x00BA, "o"},      {0x00BC, "1/4"},
    {0x00BE, "3/4"},    {0x00C6, "AE"}, {0x00DE, "Th"},     {0x00E6, "ae"},     {0x00FE, "th"},
    {0x0132, "IJ"},     {0x0133, "ij"}, {0x0152, "OE"},     {0x0153, "oe"},     {0x01C4, "DZ"},
    {0x01C5, "Dz"},     {0x01C6, "dz"}, {0x01C7, "LJ"},     {0x01C8, "Lj"},     {0x01C9, "lj"},
    {0x01CA, "NJ"},     {0x01CB, "Nj"}, {0x01CC, "nj"},     {0x01E2, "AE"},     {0x01E3, "ae"},
    {0x01F1, "DZ"},     {0x01F2, "Dz"}, {0x01F3, "dz"},     {0x01FC, "AE"},     {0x01FD, "ae"},
    {0x0254, "o"},      {0x0259, "e"},  {0x025B, "e"},      {0x1E9E, "SS"},     {0x1EFA, "LL"},
    {0x1EFB, "ll"},     {0x2010, "-"},  {0x2011, "-"},      {0x2012, "-"},      {0x2013, "-"},
    {0x2015, "-"},      {0x201A, ","},  {0x201B, "\u2019"}, {0x201E, "\""},     {0x201F, "\""},
    {0x2024, "."},      {0x2025, ".."}, {0x2026, "..."},    {0x2032, "\u2019"}, {0x2033, "\""},
    {0x2039, "<"},      {0x203A, ">"},  {0x203C, "!!"},     {0x2044, "/"},      {0x2047, "??"},
    {0x2048, "?!"},     {0x2049, "!?"}, {0x20AC, "EUR"},    {0x2212, "-"},      {0x3001, ","},
    {0x3002, "."},
};

// Blocks of scripts 608 has no letters for. A subtitle with any of their characters is not
// sent: what would be left of it is no caption.
struct Script {
    uint32_t first;
    uint32_t last;
    const char* name;
};

constexpr Script kRefusedScripts[] = {
    {0x0370, 0x03FF, "Greek"},      {0x0400, 0x052F, "Cyrillic"},  {0x0530, 0x058F, "Armenian"},
    {0x0590, 0x05FF, "Hebrew"},     {0x0600, 0x06FF, "Arabic"},    {0x0700, 0x074F, "Syriac"},
    {0x0750, 0x077F, "Arabic"},     {0x0780, 0x07BF, "Thaana"},    {0x08A0, 0x08FF, "Arabic"},
    {0x0900, 0x097F, "Devanagari"}, {0x0980, 0x09FF, "Bengali"},   {0x0A00, 0x0A7F, "Gurmukhi"},
    {0x0A80, 0x0AFF, "Gujarati"},   {0x0B00, 0x0B7F, "Oriya"},     {0x0B80, 0x0BFF, "Tamil"},
    {0x0C00, 0x0C7F, "Telugu"},     {0x0C80, 0x0CFF, "Kannada"},   {0x0D00, 0x0D7F, "Malayalam"},
    {0x0D80, 0x0DFF, "Sinhala"},    {0x0E00, 0x0E7F, "Thai"},      {0x0E80, 0x0EFF, "Lao"},
    {0x0F00, 0x0FFF, "Tibetan"},    {0x1000, 0x109F, "Myanmar"},   {0x10A0, 0x10FF, "Georgian"},
    {0x1100, 0x11FF, "Hangul"},     {0x1200, 0x139F, "Ethiopic"},  {0x13A0, 0x13FF, "Cherokee"},
    {0x1780, 0x17FF, "Khmer"},      {0x1800, 0x18AF, "Mongolian"}, {0x1C80, 0x1C8F, "Cyrillic"},
    {0x1F00, 0x1FFF, "Greek"},      {0x2DE0, 0x2DFF, "Cyrillic"},  {0x2E80, 0x2FDF, "Han"},
    {0x3040, 0x309F, "Hiragana"},   {0x30A0, 0x30FF, "Katakana"},  {0x3100, 0x312F, "Bopomofo"},
    {0x3130, 0x318F, "Hangul"},     {0x31F0, 0x31FF, "Katakana"},  {0x3400, 0x4DBF, "Han"},
    {0x4E00, 0x9FFF, "Han"},        {0xA000, 0xA4CF, "Yi"},        {0xA640, 0xA69F, "Cyrillic"},
    {0xA960, 0xA97F, "Hangul"},     {0xAC00, 0xD7FF, "Hangul"},    {0xF900, 0xFAFF, "Han"},
    {0xFB1D, 0xFB4F, "Hebrew"},     {0xFB50, 0xFDFF, "Arabic"},    {0xFE70, 0xFEFF, "Arabic"},
    {0xFF66, 0xFF9F, "Katakana"},   {0xFFA0, 0xFFDC, "Hangul"},    {0x20000, 0x3134F, "Han"},
};

// The look-ups below search kKept and kSpelled by halves.
template <typename T, size_t N, typename Key>
constexpr bool ascending(const T (&table)[N], Key key) {
    for (size_t i = 1; i < N; ++i) {
        if (!(key(table[i - 1]) < key(table[i]))) return false;
    }
    return true;
}
static_assert(ascending(kKept, [](uint32_t cp) { return cp; }));
static_assert(ascending(kSpelled, [](const Spelling& entry) { return entry.codePoint; }));

bool isBlank(uint32_t cp) {
    return cp == ' ' || (cp >= 0x09 && cp <= 0x0D) || cp == 0x85 || cp == 0xA0 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
           cp == 0x205F || cp == 0x3000;
}

// The code point at `i` (advancing `i` past it), or kBadByte for a byte that does not start
// a well-formed UTF-8 character (advancing one byte).
uint32_t nextCodePoint(const std::string& s, size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    size_t length = 0;
    uint32_t cp = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07u;
    } else {
        ++i;
        return kBadByte;
    }
    if (i + length > s.size()) {
        ++i;
        return kBadByte;
    }
    for (size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(s[i + k]);
        if ((byte & 0xC0) != 0x80) {
            ++i;
            return kBadByte;
        }
        cp = (cp << 6) | (byte & 0x3Fu);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        ++i;
        return kBadByte;
    }
    i += length;
    return cp;
}

bool kept(uint32_t cp) {
    if (cp >= 0x20 && cp <= 0x7E) return cp != '\'';
    return std::binary_search(std::begin(kKept), std::end(kKept), cp);
}

const char* refusedScript(uint32_t cp) {
    for (const auto& script : kRefusedScripts) {
        if (cp >= script.first && cp <= script.last) return script.name;
    }
    return nullptr;
}

// What stands for a character 608 lacks; empty when it is dropped.
std::string spelling(uint32_t cp) {
    const auto spelled = std::lower_bound(
        std::begin(kSpelled), std::end(kSpelled), cp,
        [](const Spelling& entry, uint32_t value) { return entry.codePoint < value; });
    if (spelled != std::end(kSpelled) && spelled->codePoint == cp) return spelled->text;
    for (const auto& block : kBaseLetters) {
        const size_t size = std::char_traits<char>::length(block.letters);
        if (cp >= block.first && cp < block.first + size) {
            const char letter = block.letters[cp - block.first];
            return letter == '?' ? std::string() : std::string(1, letter);
        }
    }
    if (cp >= 0xFF01 && cp <= 0xFF5E) {  // full-width forms of ASCII
        return std::string(1, static_cast<char>(cp - 0xFEE0));
    }
    return {};
}

}  // namespace

Cea608Characters toCea608Characters(const std::string& utf8) {
    Cea608Characters out;
    bool pendingBlank = false;
    auto append = [&](const char* bytes, size_t size) {
        if (pendingBlank && !out.text.empty()) out.text += ' ';
        pendingBlank = false;
        out.text.append(bytes, size);
    };
    for (size_t i = 0; i < utf8.size();) {
        const size_t start = i;
        const uint32_t cp = nextCodePoint(utf8, i);
        if (cp == kBadByte) continue;
        if (isBlank(cp)) {
            pendingBlank = true;
        } else if (kept(cp)) {
            append(utf8.data() + start, i - start);
        } else if (const char* script = refusedScript(cp)) {
            out.text.clear();
            out.refusedScript = script;
            return out;
        } else {
            const std::string stand = spelling(cp);
            if (!stand.empty()) append(stand.data(), stand.size());
        }
    }
    return out;
}

std::vector<std::string> cea608Captions(const std::string& carried) {
    std::vector<std::string> rows;
    const std::string broken = breakLines(carried, kCea608RowChars);
    for (size_t start = 0; start <= broken.size();) {
        size_t end = broken.find('\n', start);
        if (end == std::string::npos) end = broken.size();
        if (end > start) rows.push_back(broken.substr(start, end - start));
        start = end + 1;
    }

    std::vector<std::string> captions;
    size_t rowsInCaption = 0;
    for (const auto& row : rows) {
        const bool fits = rowsInCaption > 0 && rowsInCaption < kCea608CaptionRows &&
                          captions.back().size() + 1 + row.size() <= kCaptionTextBytes;
        if (fits) {
            captions.back() += '\n' + row;
            ++rowsInCaption;
        } else {
            captions.push_back(row);
            rowsInCaption = 1;
        }
    }
    return captions;
}

}  // namespace obs_sayline
