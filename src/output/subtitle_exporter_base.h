#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "output/subtitle_exporter.h"

namespace obs_sayline {

// Validation, file writing and the text helpers both document formats share. Subclasses build
// the document.
class SubtitleExporterBase : public ISubtitleExporter {
public:
    Result<std::string> exportToFile(const std::vector<SubtitleEntry>& entries,
                                     const std::string& path,
                                     const ExportOptions& options) override;
    Result<std::string> exportToString(const std::vector<SubtitleEntry>& entries,
                                       const ExportOptions& options) override;
    Result<void> exportAsync(const std::vector<SubtitleEntry>& entries, const std::string& path,
                             const ExportOptions& options) override;
    Result<void> validate(const std::vector<SubtitleEntry>& entries) const override;

    // Successful file exports.
    uint64_t getExportCount() const { return exportCount_.load(); }

    // hh:mm:ss<separator>mmm; negative times print as zero, hours widen past 99.
    static std::string formatTimestamp(int64_t ms, char separator);
    // Original and translation as the options ask, joined by "\n", which is then replaced by
    // the document's line ending. Both texts arrive ready to print (escaped if need be).
    static std::string composeCueText(const std::string& original, const std::string& translation,
                                      const ExportOptions& options);

protected:
    explicit SubtitleExporterBase(const char* logTag) : logTag_(logTag) {}

    virtual std::string buildDocument(const std::vector<SubtitleEntry>& entries,
                                      const ExportOptions& options) const = 0;

private:
    const char* logTag_;
    std::atomic<uint64_t> exportCount_{0};
};

}  // namespace obs_sayline
