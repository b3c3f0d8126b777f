#pragma once

// Reads back what a recording carries, with the ffmpeg command-line tool: the CEA-608 captions
// of its H.264 video and the moments its picture changes.

#include <string>
#include <vector>

namespace obs_sayline::test {

// libobs appends the caption SEI after the slice data of an access unit; decoders only read a
// SEI in front of the first slice. Takes an Annex-B H.264 stream and moves every caption SEI
// (payload: registered ITU-T T.35 user data) in front of the first slice of its access unit.
std::string moveCaptionSeiBeforeSlices(const std::string& annexB);

struct ReadCaption {
    double start = 0.0;  // seconds on the video's clock
    double end = 0.0;
    std::string text;  // rows joined by "\n"
};

// What one recording holds, read into `workDir` (which must exist).
struct Readback {
    std::vector<ReadCaption> captions;
    // When the top quarter of the picture turns bright (white text on a dark scene), in
    // seconds on the same clock as the captions.
    std::vector<double> brightOnsets;
    std::string error;  // empty when everything could be read
};

// The video of `recording` (30 frames a second) goes through h264_mp4toannexb, gets its caption
// SEI moved, is muxed again, and is decoded twice: once for its captions (lavfi movie source,
// subcc output, as SubRip), once for the brightness of its top quarter.
Readback readRecording(const std::string& recording, const std::string& workDir);

}  // namespace obs_sayline::test
