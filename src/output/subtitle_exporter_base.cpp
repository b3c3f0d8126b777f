#include "output/subtitle_exporter_base.h"

#include <fstream>

#include "core/logger.h"
#include "core/subtitle_cues.h"

namespace obs_sayline {

Result<std::string> SubtitleExporterBase::exportToFile(const std::vector<SubtitleEntry>& entries,
                                                       const std::string& path,
                                                       const ExportOptions& options) {
    auto valid = validate(entries);
    if (valid.isError()) return valid.error();
    logDebugTag(logTag_, "Exporting %zu entries to: %s", entries.size(), path.c_str());

    const std::string document = buildDocument(entries, options);
    std::ofstream file(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        return Error(ErrorCode::FileWriteError, "Failed to open file for writing: " + path);
    }
    file.write(document.data(), static_cast<std::streamsize>(document.size()));
    // Flush before judging: a full disk often shows only when the buffer is written out.
    file.flush();
    if (!file) return Error(ErrorCode::FileWriteError, "Failed to write to file: " + path);
    file.close();

    ++exportCount_;
    logInfoTag(logTag_, "Exported %zu entries to: %s", entries.size(), path.c_str());
    return path;
}

Result<std::string> SubtitleExporterBase::exportToString(const std::vector<SubtitleEntry>& entries,
                                                         const ExportOptions& options) {
    auto valid = validate(entries);
    if (valid.isError()) return valid.error();
    return buildDocument(entries, options);
}

Result<void> SubtitleExporterBase::exportAsync(const std::vector<SubtitleEntry>&,
                                               const std::string&, const ExportOptions&) {
    return Result<void>(ErrorCode::NotSupported, "Async export not supported by this exporter");
}

std::string SubtitleExporterBase::buildDocument(const std::vector<SubtitleEntry>& entries,
                                                const ExportOptions& options) const {
    std::string doc;
    doc.reserve(estimateSize(entries));
    doc += documentHeader(options);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) doc += options.lineEnding;
        doc += formatCue(entries[i], i + 1, options);
    }
    return doc;
}

Result<void> SubtitleExporterBase::validate(const std::vector<SubtitleEntry>& entries) const {
    if (entries.empty()) {
        return Result<void>(ErrorCode::InvalidArgument, "No subtitle entries to export");
    }
    return Result<void>::success();
}

std::string SubtitleExporterBase::formatTimestamp(int64_t ms, char separator) {
    return cueTimestamp(ms, separator);
}

std::string SubtitleExporterBase::composeCueText(const std::string& original,
                                                 const std::string& translation,
                                                 const ExportOptions& options) {
    std::string text;
    if (options.includeOriginal && !original.empty()) text = original;
    if (options.includeTranslation && !translation.empty()) {
        if (!text.empty()) text += '\n';
        text += translation;
    }
    if (text.empty()) text = original;
    return text;
}

}  // namespace obs_sayline
