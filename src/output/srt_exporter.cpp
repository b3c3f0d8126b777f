#include "output/srt_exporter.h"

namespace obs_sayline {

size_t SrtExporter::estimateSize(const std::vector<SubtitleEntry>& entries) const {
    size_t size = settings_.byteOrderMark ? 3 : 0;
    for (const auto& e : entries) size += e.originalText.size() + e.translatedText.size() + 50;
    return size;
}

std::string SrtExporter::documentHeader(const ExportOptions&) const {
    return settings_.byteOrderMark ? "\xEF\xBB\xBF" : "";
}

std::string SrtExporter::formatCue(const SubtitleEntry& entry, size_t number,
                                   const ExportOptions& options) const {
    const std::string& le = options.lineEnding;
    std::string cue = std::to_string(number);
    cue += le;
    cue += formatTimestamp(entry.startTimeMs, ',');
    cue += " --> ";
    cue += formatTimestamp(entry.endTimeMs, ',');
    cue += le;
    cue += composeCueText(entry.originalText, entry.translatedText, options);
    cue += le;
    return cue;
}

}  // namespace obs_sayline
