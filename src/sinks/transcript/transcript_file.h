#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/result.h"
#include "core/subtitle_cues.h"

namespace obs_sayline {

// A subtitle file (SubRip or WebVTT, UTF-8 without byte-order mark) that grows one cue at a time
// and is a whole, valid document after every cue: each cue is written complete and handed to
// the system before append returns, so a process killed at any moment leaves every cue
// appended so far readable. One thread at a time.
class TranscriptFile {
public:
    // Creates the file, which must not exist yet (*alreadyExists then says so), and writes the
    // document's opening.
    static Result<std::unique_ptr<TranscriptFile>> create(const std::string& path,
                                                          CueFormat format,
                                                          bool* alreadyExists = nullptr);
    ~TranscriptFile();
    TranscriptFile(const TranscriptFile&) = delete;
    TranscriptFile& operator=(const TranscriptFile&) = delete;

    // Appends the next cue (numbered from 1) with the text made safe; a cue left without text
    // is not written. A previous cue still up at startMs is cut to end there, rewritten in
    // place, so cues never overlap. A write that fails takes the file back to its last whole
    // cue, and every later append fails too. `voice` (WebVTT only): the speaker, whose voice
    // span holds the text.
    Result<void> append(int64_t startMs, int64_t endMs, const std::string& text,
                        const std::string& voice = "");

    const std::string& path() const { return path_; }
    CueFormat format() const { return format_; }
    size_t cues() const { return cues_; }

private:
    TranscriptFile(std::string path, std::FILE* file, CueFormat format);
    bool writeAt(long offset, const std::string& bytes);
    Result<void> fail();

    std::string path_;
    std::FILE* file_;
    CueFormat format_;
    long size_ = 0;  // bytes up to the end of the last whole cue
    size_t cues_ = 0;
    struct Cue {
        int64_t startMs = 0;
        int64_t endMs = 0;
        std::string text;
        std::string voice;
    };
    std::string cueText(size_t number, const Cue& cue) const;

    Cue last_;               // the last cue written, as written
    long lastOffset_ = 0;    // where it starts
    size_t lastLength_ = 0;  // and how long it is
    bool broken_ = false;
};

}  // namespace obs_sayline
