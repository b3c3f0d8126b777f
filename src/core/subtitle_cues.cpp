#include "core/subtitle_cues.h"

#include <cinttypes>
#include <cstdio>

namespace obs_sayline {

std::string cueTimestamp(int64_t ms, char separator) {
    if (ms < 0) ms = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 "%c%03" PRId64,
                  ms / 3600000, (ms % 3600000) / 60000, (ms % 60000) / 1000, separator, ms % 1000);
    return text;
}

std::string escapeVttText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string cueSafeText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::string line;
    auto endLine = [&] {
        if (line.find_first_not_of(" \t") != std::string::npos) {
            if (!out.empty()) out += '\n';
            out += line;
        }
        line.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            endLine();
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            endLine();
        } else if (c != '\0') {
            line += c;
        }
    }
    endLine();
    // One dash less each time, so "--->" ends as "->" too.
    for (size_t at = out.find("-->"); at != std::string::npos;
         at = out.find("-->", at > 0 ? at - 1 : 0)) {
        out.erase(at, 1);
    }
    return out;
}

std::string cueDocumentHeader(CueFormat format, const std::string& note,
                              const std::string& lineEnding) {
    if (format == CueFormat::SubRip) return "";
    std::string header = "WEBVTT";
    if (!note.empty()) {
        header += " - ";
        header += note;
    }
    header += lineEnding;
    header += lineEnding;
    return header;
}

std::string formatCue(CueFormat format, size_t number, int64_t startMs, int64_t endMs,
                      const std::string& text, const std::string& lineEnding) {
    const char separator = format == CueFormat::SubRip ? ',' : '.';
    std::string cue;
    if (format == CueFormat::SubRip || number > 0) {
        cue += std::to_string(number);
        cue += lineEnding;
    }
    cue += cueTimestamp(startMs, separator);
    cue += " --> ";
    cue += cueTimestamp(endMs, separator);
    cue += lineEnding;
    for (char c : text) {
        if (c == '\n') {
            cue += lineEnding;
        } else {
            cue += c;
        }
    }
    cue += lineEnding;
    return cue;
}

}  // namespace obs_sayline
