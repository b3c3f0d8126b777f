#include "output/transcript_file.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "output/srt_exporter.h"
#include "output/vtt_exporter.h"
#include "platform/user_files.h"

namespace obs_sayline {

std::string cueSafeText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::string line;
    auto endLine = [&] {
        if (line.find_first_not_of(" \t") != std::string::npos) {
            if (!out.empty()) out += '\n';
            out += line;
        }
        line.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            endLine();
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            endLine();
        } else if (c != '\0') {
            line += c;
        }
    }
    endLine();
    // One dash less each time, so "--->" ends as "->" too.
    for (size_t at = out.find("-->"); at != std::string::npos;
         at = out.find("-->", at > 0 ? at - 1 : 0)) {
        out.erase(at, 1);
    }
    return out;
}

TranscriptFile::TranscriptFile(std::string path, std::FILE* file, ExportFormat format)
    : path_(std::move(path)), file_(file) {
    if (format == ExportFormat::WebVtt) {
        exporter_ = std::make_unique<VttExporter>();
    } else {
        exporter_ = std::make_unique<SrtExporter>();
    }
    options_.includeOriginal = true;
    options_.includeTranslation = false;
    options_.lineEnding = "\n";
}

TranscriptFile::~TranscriptFile() {
    if (file_) std::fclose(file_);
}

Result<std::unique_ptr<TranscriptFile>> TranscriptFile::create(const std::string& path,
                                                               ExportFormat format,
                                                               bool* alreadyExists) {
    platform::NewFile created = platform::createNewFile(path);
    if (alreadyExists) *alreadyExists = created.alreadyExists;
    if (!created.file) {
        return Error(ErrorCode::FileWriteError, created.reason);
    }
    std::unique_ptr<TranscriptFile> file(new TranscriptFile(path, created.file, format));
    const std::string header = file->exporter_->documentHeader(file->options_);
    if (!header.empty()) {
        if (!file->writeAt(0, header)) {
            Error error = file->fail().error();
            std::error_code ignored;
            std::filesystem::remove(std::filesystem::u8path(path), ignored);
            return error;
        }
        file->size_ = static_cast<long>(header.size());
    }
    return file;
}

bool TranscriptFile::writeAt(long offset, const std::string& bytes) {
    errno = 0;
    return std::fseek(file_, offset, SEEK_SET) == 0 &&
           std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() &&
           std::fflush(file_) == 0;
}

Result<void> TranscriptFile::fail() {
    const int error = errno ? errno : EIO;
    broken_ = true;
    // Closed first, so nothing still buffered lands after the cut.
    std::fclose(file_);
    file_ = nullptr;
    std::error_code ignored;
    std::filesystem::resize_file(std::filesystem::u8path(path_), static_cast<uintmax_t>(size_),
                                 ignored);
    return Result<void>(ErrorCode::FileWriteError,
                        std::error_code(error, std::generic_category()).message());
}

Result<void> TranscriptFile::append(int64_t startMs, int64_t endMs, const std::string& text) {
    if (broken_) return Result<void>(ErrorCode::FileWriteError, "an earlier write failed");
    SubtitleEntry entry;
    entry.originalText = cueSafeText(text);
    if (entry.originalText.empty()) return Result<void>::success();
    entry.startTimeMs = startMs < 0 ? 0 : startMs;

    if (cues_ > 0) {
        if (entry.startTimeMs < last_.startTimeMs) entry.startTimeMs = last_.startTimeMs;
        if (last_.endTimeMs > entry.startTimeMs) {
            SubtitleEntry cut = last_;
            cut.endTimeMs = entry.startTimeMs;
            const std::string rewritten = exporter_->formatCue(cut, cues_, options_);
            if (rewritten.size() == lastLength_) {
                if (!writeAt(lastOffset_, rewritten)) return fail();
                last_ = cut;
            } else {
                // The end time would print shorter (its hours lose a digit): start later
                // instead.
                entry.startTimeMs = last_.endTimeMs;
            }
        }
    }
    entry.endTimeMs = endMs < entry.startTimeMs ? entry.startTimeMs : endMs;

    const std::string cue = exporter_->formatCue(entry, cues_ + 1, options_);
    const std::string separator = cues_ > 0 ? options_.lineEnding : "";
    if (!writeAt(size_, separator + cue)) return fail();
    lastOffset_ = size_ + static_cast<long>(separator.size());
    lastLength_ = cue.size();
    size_ = lastOffset_ + static_cast<long>(cue.size());
    last_ = std::move(entry);
    ++cues_;
    return Result<void>::success();
}

}  // namespace obs_sayline
