#include "output/vtt_exporter.h"

#include "core/subtitle_cues.h"

namespace obs_sayline {

size_t VttExporter::estimateSize(const std::vector<SubtitleEntry>& entries) const {
    size_t size = 20;
    for (const auto& e : entries) size += e.originalText.size() + e.translatedText.size() + 60;
    return size;
}

std::string VttExporter::escape(const std::string& text) { return escapeVttText(text); }

std::string VttExporter::documentHeader(const ExportOptions& options) const {
    return cueDocumentHeader(CueFormat::WebVtt, settings_.headerNote, options.lineEnding);
}

std::string VttExporter::formatCue(const SubtitleEntry& entry, size_t number,
                                   const ExportOptions& options) const {
    std::string translation = escape(entry.translatedText);
    if (settings_.italicTranslations && !translation.empty()) {
        translation = "<i>" + translation + "</i>";
    }
    return obs_sayline::formatCue(CueFormat::WebVtt, settings_.numberedCues ? number : 0,
                                  entry.startTimeMs, entry.endTimeMs,
                                  composeCueText(escape(entry.originalText), translation, options),
                                  options.lineEnding);
}

}  // namespace obs_sayline
