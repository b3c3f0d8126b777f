#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace obs_sayline {

// SubRip and WebVTT cues as every writer of subtitle files here writes them: the pipeline
// engine's exporters and the transcript files.
enum class CueFormat { SubRip, WebVtt };

// hh:mm:ss<separator>mmm; negative times print as zero, hours widen past 99.
std::string cueTimestamp(int64_t ms, char separator);

// "&", "<" and ">" as WebVTT character references; every other byte copied.
std::string escapeVttText(const std::string& text);

// Text from outside made fit to stand as one cue's text: line breaks as "\n", no empty or
// blank line (it would end the cue), no "-->" (it would read as a timing line), no NUL. Empty
// when nothing is left to show.
std::string cueSafeText(const std::string& text);

// What a document opens with: nothing for SubRip, "WEBVTT" (" - note" after it when given)
// and an empty line for WebVTT.
std::string cueDocumentHeader(CueFormat format, const std::string& note,
                              const std::string& lineEnding);

// One cue: its number (SubRip always; WebVTT only when `number` > 0), the timing line and the
// text, whose "\n" become `lineEnding`; every line ended by `lineEnding`. The text arrives
// ready to print (escaped where the format needs it).
std::string formatCue(CueFormat format, size_t number, int64_t startMs, int64_t endMs,
                      const std::string& text, const std::string& lineEnding);

}  // namespace obs_sayline
