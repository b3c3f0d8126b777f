#include "output/vtt_exporter.h"

namespace obs_sayline {

size_t VttExporter::estimateSize(const std::vector<SubtitleEntry>& entries) const {
    size_t size = 20;
    for (const auto& e : entries) size += e.originalText.size() + e.translatedText.size() + 60;
    return size;
}

std::string VttExporter::escape(const std::string& text) {
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

std::string VttExporter::documentHeader(const ExportOptions& options) const {
    std::string header = "WEBVTT";
    if (!settings_.headerNote.empty()) {
        header += " - ";
        header += settings_.headerNote;
    }
    header += options.lineEnding;
    header += options.lineEnding;
    return header;
}

std::string VttExporter::formatCue(const SubtitleEntry& entry, size_t number,
                                   const ExportOptions& options) const {
    const std::string& le = options.lineEnding;
    std::string cue;
    if (settings_.numberedCues) {
        cue += std::to_string(number);
        cue += le;
    }
    cue += formatTimestamp(entry.startTimeMs, '.');
    cue += " --> ";
    cue += formatTimestamp(entry.endTimeMs, '.');
    cue += le;
    std::string translation = escape(entry.translatedText);
    if (settings_.italicTranslations && !translation.empty()) {
        translation = "<i>" + translation + "</i>";
    }
    cue += composeCueText(escape(entry.originalText), translation, options);
    cue += le;
    return cue;
}

}  // namespace obs_sayline
