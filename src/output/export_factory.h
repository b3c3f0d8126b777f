#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/subtitle_exporter.h"

namespace obs_sayline {

struct ExportFormatInfo {
    std::string name;
    std::string description;
    std::string extension;
    std::string mimeType;
};

// Process-wide registry of exporters keyed by format. The built-in SRT and WebVTT exporters
// are registered on first use.
class ExportFactory {
public:
    using Creator = std::function<std::shared_ptr<ISubtitleExporter>()>;

    // Empty for a format nobody registered.
    static std::shared_ptr<ISubtitleExporter> create(ExportFormat format);
    // False for an empty creator; a second registration of a format replaces the first.
    static bool registerExporter(ExportFormat format, Creator creator, ExportFormatInfo info);
    static std::optional<ExportFormatInfo> getFormatInfo(ExportFormat format);
    // Registered formats in ascending order.
    static std::vector<ExportFormat> getAvailableFormats();
};

}  // namespace obs_sayline
