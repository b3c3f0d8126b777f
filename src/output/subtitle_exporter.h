#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/subtitle_entry.h"

namespace obs_sayline {

enum class ExportFormat : int32_t { Srt = 0, WebVtt = 1 };

struct ExportOptions {
    bool includeOriginal = true;
    bool includeTranslation = true;
    std::string lineEnding = "\n";  // terminator of every line of the document
};

// Writes a subtitle history as one subtitle document, built whole in memory.
class ISubtitleExporter {
public:
    virtual ~ISubtitleExporter() = default;

    // The path on success.
    virtual Result<std::string> exportToFile(const std::vector<SubtitleEntry>& entries,
                                             const std::string& path,
                                             const ExportOptions& options) = 0;
    virtual Result<std::string> exportToString(const std::vector<SubtitleEntry>& entries,
                                               const ExportOptions& options) = 0;
    // Not offered by the built-in exporters: always NotSupported.
    virtual Result<void> exportAsync(const std::vector<SubtitleEntry>& entries,
                                     const std::string& path, const ExportOptions& options) = 0;
    virtual Result<void> validate(const std::vector<SubtitleEntry>& entries) const = 0;
    // Rough document size in bytes, for reserving.
    virtual size_t estimateSize(const std::vector<SubtitleEntry>& entries) const = 0;

    virtual std::string getName() const = 0;
    virtual std::string getExtension() const = 0;
    virtual std::string getMimeType() const = 0;
};

}  // namespace obs_sayline
