#pragma once

#include "output/subtitle_exporter_base.h"

namespace obs_sayline {

// SubRip: numbered cues, "hh:mm:ss,mmm --> hh:mm:ss,mmm", text copied as is.
class SrtExporter : public SubtitleExporterBase {
public:
    struct Settings {
        bool byteOrderMark = false;  // start the document with EF BB BF
    };

    SrtExporter() : SrtExporter(Settings{}) {}
    explicit SrtExporter(const Settings& settings)
        : SubtitleExporterBase("SrtExporter"), settings_(settings) {}

    size_t estimateSize(const std::vector<SubtitleEntry>& entries) const override;
    std::string getName() const override { return "SubRip (SRT)"; }
    std::string getExtension() const override { return "srt"; }
    std::string getMimeType() const override { return "text/plain"; }

    std::string documentHeader(const ExportOptions& options) const override;
    std::string formatCue(const SubtitleEntry& entry, size_t number,
                          const ExportOptions& options) const override;

private:
    Settings settings_;
};

}  // namespace obs_sayline
