#include "output/srt_exporter.h"

#include "core/subtitle_cues.h"

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
    return obs_sayline::formatCue(CueFormat::SubRip, number, entry.startTimeMs, entry.endTimeMs,
                                  composeCueText(entry.originalText, entry.translatedText, options),
                                  options.lineEnding);
}

}  // namespace obs_sayline
