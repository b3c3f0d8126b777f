#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace obs_sayline {

// One caption as YouTube takes it: when it is shown (UTC, on YouTube's clock) and its text;
// rows of a caption are separated by '\n'.
struct TimedCaption {
    std::chrono::system_clock::time_point at;
    std::string text;
};

// "YYYY-MM-DDTHH:MM:SS.mmm" in UTC, milliseconds truncated.
std::string formatCaptionTime(std::chrono::system_clock::time_point at);

// The body of one post: per caption its time on one line and its text on the next, each line
// ended by '\n'. A line break inside the text is written "<br>"; other control characters
// become blanks.
std::string captionBody(const std::vector<TimedCaption>& captions);

// YouTube's clock from a reply body that is a time in the form above (blanks around it, a
// fraction of one to nine digits or none, and a trailing 'Z' are allowed; years 1900 to
// 2200); nullopt for anything else.
std::optional<std::chrono::system_clock::time_point> parseCaptionTime(const std::string& body);

}  // namespace obs_sayline
