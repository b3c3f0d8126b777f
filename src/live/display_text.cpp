#include "live/display_text.h"

namespace obs_sayline {
namespace {

// Length in bytes of the UTF-8 character starting at `s[i]`; 1 for a stray byte.
size_t characterBytes(const std::string& s, size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else if (lead >= 0xE0) {
        length = lead <= 0xEF ? 3 : 1;
    } else if (lead >= 0xC2) {
        length = 2;
    }
    if (i + length > s.size()) return 1;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

}  // namespace

std::string composeDisplayText(const std::string& recognised, const std::string& translated,
                               bool enableTranslation, bool showOriginal) {
    if (enableTranslation && !translated.empty()) {
        return showOriginal ? recognised + "\n" + translated : translated;
    }
    return recognised;
}

std::string limitLineLength(const std::string& text, size_t maxChars) {
    std::string out;
    out.reserve(text.size() < 4 * maxChars + 8 ? text.size() : 4 * maxChars + 8);
    size_t chars = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\n') {
            out += '\n';
            chars = 0;
            ++i;
            continue;
        }
        const size_t bytes = characterBytes(text, i);
        if (chars < maxChars) {
            out.append(text, i, bytes);
            ++chars;
        }
        i += bytes;
    }
    return out;
}

}  // namespace obs_sayline
