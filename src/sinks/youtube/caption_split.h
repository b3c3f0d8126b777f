#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace obs_sayline {

// YouTube's readable width: two rows of about 42 characters.
constexpr size_t kYouTubeRowChars = 42;
constexpr size_t kYouTubeCaptionRows = 2;

// One caption cut from a subtitle: its rows joined by '\n', and where it sits in the
// subtitle's text, in characters, so that it can be given its share of the speech's time.
struct CaptionPiece {
    std::string text;
    size_t startChar = 0;  // characters of the captions before it
    size_t chars = 0;      // its own characters (row breaks not counted)
};

// The subtitle's text in captions of at most two rows of kYouTubeRowChars characters (UTF-8
// characters), in reading order. Sentences stay whole where they fit and share a caption where
// two fit together; a longer sentence is broken at blanks, and text without blanks (Chinese,
// Japanese) between characters. Blanks and line breaks in the text count as single blanks.
std::vector<CaptionPiece> splitCaption(const std::string& text);

}  // namespace obs_sayline
