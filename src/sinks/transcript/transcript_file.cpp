#include "sinks/transcript/transcript_file.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/user_files.h"

namespace obs_sayline {

namespace {
constexpr const char* kLineEnding = "\n";
}  // namespace

TranscriptFile::TranscriptFile(std::string path, std::FILE* file, CueFormat format)
    : path_(std::move(path)), file_(file), format_(format) {}

std::string TranscriptFile::cueText(size_t number, const Cue& cue) const {
    std::string text = format_ == CueFormat::WebVtt ? escapeVttText(cue.text) : cue.text;
    if (format_ == CueFormat::WebVtt && !cue.voice.empty()) {
        text = "<v " + cue.voice + ">" + text + "</v>";
    }
    return formatCue(format_, number, cue.startMs, cue.endMs, text, kLineEnding);
}

TranscriptFile::~TranscriptFile() {
    if (file_) std::fclose(file_);
}

Result<std::unique_ptr<TranscriptFile>> TranscriptFile::create(const std::string& path,
                                                               CueFormat format,
                                                               bool* alreadyExists) {
    platform::NewFile created = platform::createNewFile(path);
    if (alreadyExists) *alreadyExists = created.alreadyExists;
    if (!created.file) {
        return Error(ErrorCode::FileWriteError, created.reason);
    }
    std::unique_ptr<TranscriptFile> file(new TranscriptFile(path, created.file, format));
    const std::string header = cueDocumentHeader(format, "", kLineEnding);
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

namespace {

// A name as a voice span's annotation: one line, escaped, without the ">" that would end it.
std::string voiceAnnotation(const std::string& name) {
    std::string line;
    for (char c : name) {
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
        if (c != '>' && c != '\0') line += c;
    }
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    line = line.substr(first, line.find_last_not_of(' ') - first + 1);
    return escapeVttText(line);
}

}  // namespace

Result<void> TranscriptFile::append(int64_t startMs, int64_t endMs, const std::string& text,
                                    const std::string& voice) {
    if (broken_) return Result<void>(ErrorCode::FileWriteError, "an earlier write failed");
    Cue next;
    next.text = cueSafeText(text);
    if (next.text.empty()) return Result<void>::success();
    next.voice = voiceAnnotation(voice);
    next.startMs = startMs < 0 ? 0 : startMs;

    if (cues_ > 0) {
        if (next.startMs < last_.startMs) next.startMs = last_.startMs;
        if (last_.endMs > next.startMs) {
            Cue cut = last_;
            cut.endMs = next.startMs;
            const std::string rewritten = cueText(cues_, cut);
            if (rewritten.size() == lastLength_) {
                if (!writeAt(lastOffset_, rewritten)) return fail();
                last_ = cut;
            } else {
                // The end time would print shorter (its hours lose a digit): start later
                // instead.
                next.startMs = last_.endMs;
            }
        }
    }
    next.endMs = endMs < next.startMs ? next.startMs : endMs;

    const std::string cue = cueText(cues_ + 1, next);
    const std::string separator = cues_ > 0 ? kLineEnding : "";
    if (!writeAt(size_, separator + cue)) return fail();
    lastOffset_ = size_ + static_cast<long>(separator.size());
    lastLength_ = cue.size();
    size_ = lastOffset_ + static_cast<long>(cue.size());
    last_ = std::move(next);
    ++cues_;
    return Result<void>::success();
}

}  // namespace obs_sayline
