#pragma once

// Reads a subtitle file back the way players do, through ffprobe and ffmpeg (from the
// obs-studio dependencies): the stream's codec and cue count, and each cue's times and text
// as ffmpeg decodes them.

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace obs_sayline::test {

struct ReadCue {
    double startSeconds = 0;
    double endSeconds = 0;
    std::string text;  // lines joined by "\n"
};

struct SubtitleReadBack {
    std::string codec;  // "subrip", "webvtt"; empty when ffprobe could not read the file
    int packets = -1;
    std::vector<ReadCue> cues;
    std::string raw;  // ffmpeg's SubRip rendering, for failure messages
};

inline std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

inline double subripSeconds(const std::string& stamp) {
    int h = 0, m = 0, s = 0, ms = 0;
    std::sscanf(stamp.c_str(), "%d:%d:%d,%d", &h, &m, &s, &ms);
    return h * 3600.0 + m * 60.0 + s + ms / 1000.0;
}

// `path` must not hold a single quote.
inline SubtitleReadBack readBackSubtitles(const std::string& path) {
    SubtitleReadBack back;
    const std::string quoted = "'" + path + "'";
    std::istringstream probe(
        commandOutput("ffprobe -v error -select_streams s:0 -count_packets "
                      "-show_entries stream=codec_name,nb_read_packets -of csv=p=0 " +
                      quoted + " 2>/dev/null"));
    std::string line;
    if (std::getline(probe, line)) {
        const size_t comma = line.find(',');
        back.codec = line.substr(0, comma);
        if (comma != std::string::npos) back.packets = std::atoi(line.c_str() + comma + 1);
    }

    back.raw = commandOutput("ffmpeg -v error -i " + quoted + " -f srt - 2>&1");
    std::istringstream srt(back.raw);
    ReadCue cue;
    int state = 0;  // 0 number, 1 times, 2 text
    while (std::getline(srt, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (state == 0) {
            if (!line.empty()) state = 1;
        } else if (state == 1) {
            const size_t arrow = line.find(" --> ");
            cue.startSeconds = subripSeconds(line.substr(0, arrow));
            cue.endSeconds = arrow == std::string::npos ? 0 : subripSeconds(line.substr(arrow + 5));
            state = 2;
        } else if (line.empty()) {
            back.cues.push_back(cue);
            cue = ReadCue{};
            state = 0;
        } else {
            cue.text += (cue.text.empty() ? "" : "\n") + line;
        }
    }
    if (state == 2) back.cues.push_back(cue);
    return back;
}

}  // namespace obs_sayline::test
