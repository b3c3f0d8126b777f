#include "output/srt_exporter.h"

namespace obs_sayline {

size_t SrtExporter::estimateSize(const std::vector<SubtitleEntry>& entries) const {
    size_t size = settings_.byteOrderMark ? 3 : 0;
    for (const auto& e : entries) size += e.originalText.size() + e.translatedText.size() + 50;
    return size;
}

std::string SrtExporter::buildDocument(const std::vector<SubtitleEntry>& entries,
                                       const ExportOptions& options) const {
    const std::string& le = options.lineEnding;
    std::string doc;
    doc.reserve(estimateSize(entries));
    if (settings_.byteOrderMark) doc += "\xEF\xBB\xBF";
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        doc += std::to_string(i + 1);
        doc += le;
        doc += formatTimestamp(e.startTimeMs, ',');
        doc += " --> ";
        doc += formatTimestamp(e.endTimeMs, ',');
        doc += le;
        doc += composeCueText(e.originalText, e.translatedText, options);
        doc += le;
        if (i + 1 < entries.size()) doc += le;
    }
    return doc;
}

}  // namespace obs_sayline
