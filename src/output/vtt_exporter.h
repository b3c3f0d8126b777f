#pragma once

#include <string>

#include "output/subtitle_exporter_base.h"

namespace obs_sayline {

// WebVTT: "WEBVTT" header, optionally numbered cues, "hh:mm:ss.mmm" times, text escaped.
class VttExporter : public SubtitleExporterBase {
public:
    struct Settings {
        std::string headerNote;  // "WEBVTT - <note>" when set
        bool numberedCues = true;
        bool italicTranslations = false;  // wrap the translation in <i>...</i>
    };

    VttExporter() : VttExporter(Settings{}) {}
    explicit VttExporter(Settings settings)
        : SubtitleExporterBase("VttExporter"), settings_(std::move(settings)) {}

    size_t estimateSize(const std::vector<SubtitleEntry>& entries) const override;
    std::string getName() const override { return "WebVTT"; }
    std::string getExtension() const override { return "vtt"; }
    std::string getMimeType() const override { return "text/vtt"; }

    // "&", "<" and ">" as character references; every other byte copied.
    static std::string escape(const std::string& text);

    std::string documentHeader(const ExportOptions& options) const override;
    std::string formatCue(const SubtitleEntry& entry, size_t number,
                          const ExportOptions& options) const override;

private:
    Settings settings_;
};

}  // namespace obs_sayline
