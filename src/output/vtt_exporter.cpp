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

std::string VttExporter::buildDocument(const std::vector<SubtitleEntry>& entries,
                                       const ExportOptions& options) const {
    const std::string& le = options.lineEnding;
    std::string doc;
    doc.reserve(estimateSize(entries));
    doc += "WEBVTT";
    if (!settings_.headerNote.empty()) {
        doc += " - ";
        doc += settings_.headerNote;
    }
    doc += le;
    doc += le;
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        if (settings_.numberedCues) {
            doc += std::to_string(i + 1);
            doc += le;
        }
        doc += formatTimestamp(e.startTimeMs, '.');
        doc += " --> ";
        doc += formatTimestamp(e.endTimeMs, '.');
        doc += le;
        std::string translation = escape(e.translatedText);
        if (settings_.italicTranslations && !translation.empty()) {
            translation = "<i>" + translation + "</i>";
        }
        doc += composeCueText(escape(e.originalText), translation, options);
        doc += le;
        if (i + 1 < entries.size()) doc += le;
    }
    return doc;
}

}  // namespace obs_sayline
