#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "output/subtitle_exporter.h"

namespace obs_sayline {

// Validation, file writing and the text helpers both document formats share. Subclasses say
// how the document opens and how one cue reads; a document is the opening, then the cues with
// one empty line between them.
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
    // Original and translation as the options ask, joined by "\n" (the cue writer turns it
    // into the document's line ending). Both texts arrive ready to print (escaped if need be).
    static std::string composeCueText(const std::string& original, const std::string& translation,
                                      const ExportOptions& options);

    // What comes before the first cue (a byte-order mark, a header), possibly nothing.
    virtual std::string documentHeader(const ExportOptions& options) const = 0;
    // Cue `number` (counting from 1): each of its lines ended by the line ending. Writers that
    // add cues one at a time put one more line ending before every cue but the first.
    virtual std::string formatCue(const SubtitleEntry& entry, size_t number,
                                  const ExportOptions& options) const = 0;

protected:
    explicit SubtitleExporterBase(const char* logTag) : logTag_(logTag) {}

private:
    std::string buildDocument(const std::vector<SubtitleEntry>& entries,
                              const ExportOptions& options) const;


    const char* logTag_;
    std::atomic<uint64_t> exportCount_{0};
};

}  // namespace obs_sayline
