#include "core/utf8_text.h"

#include <algorithm>
#include <vector>

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

// The characters of one line, each as its own byte string.
std::vector<std::string> characters(const std::string& line) {
    std::vector<std::string> out;
    for (size_t i = 0; i < line.size();) {
        const size_t bytes = characterBytes(line, i);
        out.push_back(line.substr(i, bytes));
        i += bytes;
    }
    return out;
}

// Greedy rows of whole words; a word longer than a row is cut into row-sized pieces.
void breakLine(const std::string& line, size_t maxChars, std::string& out) {
    const std::vector<std::string> chars = characters(line);
    if (chars.size() <= maxChars) {
        out += line;
        return;
    }
    std::vector<std::vector<std::string>> words(1);
    for (const auto& c : chars) {
        if (c == " ") {
            if (!words.back().empty()) words.emplace_back();
        } else {
            words.back().push_back(c);
        }
    }
    if (words.back().empty()) words.pop_back();
    size_t rowChars = 0;  // 0: nothing on the current row yet
    auto newRow = [&] {
        if (rowChars > 0) out += '\n';
        rowChars = 0;
    };
    for (const auto& word : words) {
        if (word.size() > maxChars) {
            newRow();
            for (size_t k = 0; k < word.size(); ++k) {
                if (rowChars == maxChars) newRow();
                out += word[k];
                ++rowChars;
            }
            continue;
        }
        if (rowChars > 0 && rowChars + 1 + word.size() > maxChars) newRow();
        if (rowChars > 0) {
            out += ' ';
            ++rowChars;
        }
        for (const auto& c : word) out += c;
        rowChars += word.size();
    }
}

}  // namespace

std::string breakLines(const std::string& text, size_t maxChars) {
    if (maxChars == 0) return text;
    std::string out;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        breakLine(text.substr(start, end == std::string::npos ? std::string::npos : end - start),
                  maxChars, out);
        if (end == std::string::npos) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

std::string limitBytes(const std::string& text, size_t maxBytes) {
    size_t end = 0;
    while (end < text.size()) {
        const size_t bytes = characterBytes(text, end);
        if (end + bytes > maxBytes) break;
        end += bytes;
    }
    return text.substr(0, end);
}

std::set<std::string> nonAsciiCharacters(const std::string& text) {
    std::set<std::string> out;
    for (size_t i = 0; i < text.size();) {
        const size_t bytes = characterBytes(text, i);
        if (static_cast<unsigned char>(text[i]) >= 0x80) out.insert(text.substr(i, bytes));
        i += bytes;
    }
    return out;
}

size_t longestLineChars(const std::string& text) {
    size_t longest = 0;
    size_t chars = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\n') {
            chars = 0;
            ++i;
            continue;
        }
        i += characterBytes(text, i);
        longest = std::max(longest, ++chars);
    }
    return longest;
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
