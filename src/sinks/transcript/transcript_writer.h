#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sinks/transcript/transcript_file.h"
#include "sinks/transcript/transcript_options.h"

namespace obs_sayline {

// One transcript: the span of a recording, or of the source being on air.
struct TranscriptSession {
    uint64_t id = 0;
    std::string folder;    // the recording's folder; empty without a recording
    std::string baseName;  // the recording's file name without extension; empty: sayline-<time>
    std::chrono::system_clock::time_point startedAt;  // for the sayline- name
};

// One finished subtitle for the writer, timed on its transcript's clock.
struct TranscriptCue {
    TranscriptSession session;
    TranscriptOptions options;
    int64_t startMs = 0;
    int64_t endMs = 0;
    std::string original;
    std::string translation;  // empty: not translated
    std::string language;     // of the original, as recognised
    std::string speaker;      // empty: no name
    uint64_t speakerId = 0;   // which source said it
};

// The files of one transcript, used by one thread (the sink's writer). They are made at the
// transcript's first cue, one per format and, when translating, per language
// ("name.en.srt", "name.ko.srt"), beside each other and never over an existing file (the name
// then gets " (2)", " (3)"...). A speaker with a name is marked the way each format marks
// one: "NAME: " before the first cue of a new speaker in SubRip, a voice span around every
// cue in WebVTT. The first failure is logged once, with the path, and stops
// that transcript; a new transcript, or changed options, try again.
class TranscriptWriter {
public:
    // True when the cue went into the files.
    bool write(const TranscriptCue& cue);
    void close();

    bool isOpen() const { return !tracks_.empty(); }
    uint64_t sessionId() const { return sessionId_; }
    const TranscriptOptions& options() const { return options_; }

private:
    struct Track {
        std::unique_ptr<TranscriptFile> file;
        bool translation = false;
    };
    bool open(const TranscriptCue& cue);
    // Closes and deletes the files made so far (a transcript that could not start).
    void discardTracks();
    void stop(const std::string& path, const std::string& reason);

    std::vector<Track> tracks_;
    uint64_t sessionId_ = 0;
    TranscriptOptions options_;
    bool stopped_ = false;
    // Who spoke the last cue of the open files.
    bool spoken_ = false;
    uint64_t lastSpeakerId_ = 0;
    std::string lastSpeaker_;
};

// A language as it goes into a file name: a code in lower case ("EN-US" -> "en-us"), or the
// code of an English language name as some engines report it ("english" -> "en"); "und"
// (undetermined) for anything else.
std::string transcriptLanguageCode(const std::string& language);

// "sayline-YYYY-MM-DD_HH-MM-SS", in local time.
std::string activationTranscriptName(std::chrono::system_clock::time_point when);

}  // namespace obs_sayline
