#pragma once

#include <string>

namespace obs_sayline {

// "Save transcript": which subtitle files a transcript is written as.
enum class TranscriptFormat { Off, Srt, Vtt, Both };

// What the source's settings say about its transcripts.
struct TranscriptOptions {
    TranscriptFormat format = TranscriptFormat::Off;
    std::string folder;          // empty: beside the recording, else the user's videos folder
    bool translating = false;    // original and translation go to two tracks
    std::string sourceLanguage;  // the chosen recognition language ("auto" or empty: as heard)
    std::string targetLanguage;  // the translation's

    bool operator==(const TranscriptOptions& other) const {
        return format == other.format && folder == other.folder &&
               translating == other.translating && sourceLanguage == other.sourceLanguage &&
               targetLanguage == other.targetLanguage;
    }
    bool operator!=(const TranscriptOptions& other) const { return !(*this == other); }
};

}  // namespace obs_sayline
