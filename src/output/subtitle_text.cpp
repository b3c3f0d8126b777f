#include "output/subtitle_text.h"

#include <cstdio>

namespace obs_sayline {
namespace {

const char* const kPlaceholders[] = {"{original}", "{translation}", "{newline}"};

std::string fillTemplate(const std::string& textTemplate, const SubtitleEntry& entry) {
    std::string out;
    out.reserve(textTemplate.size() + entry.originalText.size() + entry.translatedText.size());
    size_t pos = 0;
    while (pos < textTemplate.size()) {
        bool replaced = false;
        for (size_t p = 0; p < 3; ++p) {
            const std::string placeholder = kPlaceholders[p];
            if (textTemplate.compare(pos, placeholder.size(), placeholder) != 0) continue;
            out += p == 0 ? entry.originalText : p == 1 ? entry.translatedText : "\n";
            pos += placeholder.size();
            replaced = true;
            break;
        }
        if (!replaced) out += textTemplate[pos++];
    }
    return out;
}

std::string compose(const SubtitleEntry& entry, const SubtitleStyle& style) {
    std::string out;
    const bool original = style.showOriginal && !entry.originalText.empty();
    if (original) out += entry.originalText;
    if (style.showTranslation && !entry.translatedText.empty()) {
        if (original) out += "\n";
        out += entry.translatedText;
    }
    return out;
}

// Length of the longest prefix of at most `limit` bytes that does not end inside a UTF-8
// sequence.
size_t utf8Cut(const std::string& text, size_t limit) {
    size_t cut = limit;
    // Step back over continuation bytes to the lead byte of the character at the cut.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

void appendJsonEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
}

}  // namespace

std::string buildSubtitleText(const std::vector<SubtitleEntry>& entries, const SubtitleStyle& style,
                              const std::string& textTemplate, bool* truncated) {
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) text += "\n";
        std::string line = fillTemplate(textTemplate, entries[i]);
        text += line == textTemplate ? compose(entries[i], style) : line;
    }
    const bool cut = text.size() > kMaxSubtitleTextBytes;
    if (cut) text.resize(utf8Cut(text, kMaxSubtitleTextBytes));
    if (truncated) *truncated = cut;
    return text;
}

void applyStyleToSettings(const SubtitleStyle& style, obs_data_t* settings) {
    if (!settings) return;
    platform::writeTextFont(settings,
                            {{style.fontFamily, "", 0}, platform::hostFontSize(style.fontSize)});
    platform::writeTextColor(settings, argbToHostColor(style.textColor));
    platform::writeTextOutline(settings, style.outlineWidth > 0, style.outlineWidth,
                               argbToHostColor(style.outlineColor));
    platform::writeTextAlignment(settings, style.alignment);
}

std::string rendererStatusJson(const std::string& sourceName, uint64_t showCount,
                               uint64_t updateCount, uint64_t clearCount, bool visible) {
    std::string out = "{\"sourceName\":\"";
    appendJsonEscaped(out, sourceName);
    out += "\",\"showCount\":" + std::to_string(showCount);
    out += ",\"updateCount\":" + std::to_string(updateCount);
    out += ",\"clearCount\":" + std::to_string(clearCount);
    out += ",\"isVisible\":";
    out += visible ? "true" : "false";
    out += "}";
    return out;
}

}  // namespace obs_sayline
