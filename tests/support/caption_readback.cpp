#include "support/caption_readback.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace obs_sayline::test {
namespace {

constexpr int kNalSei = 6;
constexpr int kSeiRegisteredUserData = 4;  // ITU-T T.35: where CEA-708/608 data travels

int nalType(const std::string& nal) { return nal.empty() ? -1 : nal[0] & 0x1F; }

bool isSlice(const std::string& nal) { return nalType(nal) == 1 || nalType(nal) == 5; }

// first_mb_in_slice is ue(v); 0 is the single bit 1.
bool startsPicture(const std::string& nal) {
    return nal.size() > 1 && (static_cast<unsigned char>(nal[1]) & 0x80) != 0;
}

// NAL units that open the next access unit when they follow a slice (SEI, SPS, PPS, access
// unit delimiter, prefix and reserved types 14 to 18); filler data and end-of-stream markers
// stay with the unit they follow.
bool opensAccessUnit(const std::string& nal) {
    const int type = nalType(nal);
    return (type >= 6 && type <= 9) || (type >= 14 && type <= 18);
}

bool isCaptionSei(const std::string& nal) {
    return nalType(nal) == kNalSei && nal.size() > 1 && nal[1] == kSeiRegisteredUserData;
}

std::vector<std::string> splitNals(const std::string& s) {
    std::vector<std::string> nals;
    size_t start = std::string::npos;
    for (size_t i = 0; i + 2 < s.size();) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            if (start != std::string::npos) {
                size_t end = i;
                while (end > start && s[end - 1] == 0) --end;  // zero of a 4-byte start code
                nals.push_back(s.substr(start, end - start));
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start != std::string::npos && start < s.size()) nals.push_back(s.substr(start));
    return nals;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
    return static_cast<bool>(out);
}

// Runs a shell command; its output (stdout and stderr) goes to `output`.
bool run(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return false;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output->append(buffer, got);
    return pclose(pipe) == 0;
}

double srtSeconds(const std::string& stamp) {
    int h = 0, m = 0, s = 0, ms = 0;
    std::sscanf(stamp.c_str(), "%d:%d:%d,%d", &h, &m, &s, &ms);
    return h * 3600.0 + m * 60.0 + s + ms / 1000.0;
}

// ffmpeg's caption decoder styles its text ("<font face=...>{\\an7}...</font>"); the test
// wants the characters.
std::string withoutMarkup(const std::string& line) {
    std::string out;
    char closing = 0;
    for (char c : line) {
        if (closing) {
            if (c == closing) closing = 0;
        } else if (c == '<' || c == '{') {
            closing = c == '<' ? '>' : '}';
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<ReadCaption> parseSrt(const std::string& srt) {
    std::vector<ReadCaption> out;
    std::istringstream in(srt);
    std::string line;
    while (std::getline(in, line)) {
        const size_t arrow = line.find(" --> ");
        if (arrow == std::string::npos) continue;
        ReadCaption caption;
        caption.start = srtSeconds(line.substr(0, arrow));
        caption.end = srtSeconds(line.substr(arrow + 5));
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) break;
            if (!caption.text.empty()) caption.text += '\n';
            caption.text += withoutMarkup(line);
        }
        out.push_back(caption);
    }
    return out;
}

// The metadata filter prints "frame:N pts:P pts_time:T" and then "key=value" per frame.
std::vector<double> brightOnsets(const std::string& metadata) {
    std::vector<double> onsets;
    std::istringstream in(metadata);
    std::string line;
    double time = 0.0;
    bool bright = false;
    while (std::getline(in, line)) {
        const size_t at = line.find("pts_time:");
        if (at != std::string::npos) {
            time = std::stod(line.substr(at + 9));
            continue;
        }
        const size_t eq = line.find("YMAX=");
        if (eq == std::string::npos) continue;
        const bool now = std::stod(line.substr(eq + 5)) > 128.0;
        if (now && !bright) onsets.push_back(time);
        bright = now;
    }
    return onsets;
}

}  // namespace

std::string moveCaptionSeiBeforeSlices(const std::string& annexB) {
    static const std::string kStartCode("\0\0\0\1", 4);
    std::string out;
    std::vector<std::string> unit;      // the access unit being collected
    std::vector<std::string> captions;  // its caption SEI, found after its slices
    bool hasSlice = false;
    auto flush = [&] {
        bool placed = false;
        for (const auto& nal : unit) {
            if (!placed && isSlice(nal)) {
                for (const auto& sei : captions) out += kStartCode + sei;
                placed = true;
            }
            out += kStartCode + nal;
        }
        unit.clear();
        captions.clear();
        hasSlice = false;
    };
    for (const auto& nal : splitNals(annexB)) {
        if (hasSlice && isCaptionSei(nal)) {
            captions.push_back(nal);
            continue;
        }
        if (hasSlice && (opensAccessUnit(nal) || (isSlice(nal) && startsPicture(nal)))) flush();
        hasSlice = hasSlice || isSlice(nal);
        unit.push_back(nal);
    }
    flush();
    return out;
}

Readback readRecording(const std::string& recording, const std::string& workDir) {
    Readback result;
    const std::string raw = workDir + "/video.h264";
    const std::string moved = workDir + "/moved.h264";
    const std::string remuxed = workDir + "/moved.mkv";
    const std::string srt = workDir + "/captions.srt";
    const std::string levels = workDir + "/levels.txt";
    std::string log;
    const std::string ffmpeg = "ffmpeg -hide_banner -nostdin -loglevel error -y ";
    if (!run(ffmpeg + "-i '" + recording + "' -map 0:v -c copy -bsf:v h264_mp4toannexb -f h264 '" +
                 raw + "'",
             &log)) {
        result.error = "extracting the video failed: " + log;
        return result;
    }
    if (!writeFile(moved, moveCaptionSeiBeforeSlices(readFile(raw)))) {
        result.error = "cannot write " + moved;
        return result;
    }
    if (!run(ffmpeg + "-framerate 30 -i '" + moved + "' -c copy '" + remuxed + "'", &log)) {
        result.error = "muxing the moved stream failed: " + log;
        return result;
    }
    if (!run(ffmpeg + "-f lavfi -i 'movie=" + remuxed + "[out0+subcc]' -map 0:1 '" + srt + "'",
             &log)) {
        result.error = "reading the captions failed: " + log;
        return result;
    }
    if (!run(ffmpeg + "-i '" + remuxed +
                 "' -vf 'crop=iw:ih/4:0:0,signalstats,metadata=print:key=lavfi.signalstats.YMAX:"
                 "file=" +
                 levels + "' -f null -",
             &log)) {
        result.error = "measuring the picture failed: " + log;
        return result;
    }
    result.captions = parseSrt(readFile(srt));
    result.brightOnsets = brightOnsets(readFile(levels));
    return result;
}

}  // namespace obs_sayline::test
