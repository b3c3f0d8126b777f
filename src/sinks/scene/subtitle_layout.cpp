#include "sinks/scene/subtitle_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace obs_sayline {
namespace {

// Lines past this many are joined to the last (a display text has one per language).
constexpr size_t kMaxLines = 4;
// More parts than this would each be up too briefly to read.
constexpr size_t kMaxParts = 6;
// Space between stacked rows, as a share of the font size.
constexpr float kRowGapShare = 0.1f;
// Drawn sizes closer than this count as equal (then the layout with fewer rows wins).
constexpr float kSameScale = 1e-4f;

// A word, or a piece of one too wide for any row (then it follows the previous piece without a
// space).
struct Unit {
    std::string text;
    bool joined = false;
};
using Units = std::vector<Unit>;

std::string joinUnits(const Units& units, size_t begin, size_t end) {
    std::string out;
    for (size_t i = begin; i < end; ++i) {
        if (i > begin && !units[i].joined) out += ' ';
        out += units[i].text;
    }
    return out;
}

// Byte offset of the character after the one starting at `i`.
size_t nextCharacter(const std::string& s, size_t i) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    return i;
}

// A line of the text with its place among all the text's lines.
struct TextLine {
    std::string text;
    size_t index = 0;
};

std::vector<TextLine> splitLines(const std::string& text) {
    std::vector<TextLine> lines;
    size_t start = 0;
    for (size_t index = 0;; ++index) {
        const size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            if (lines.size() == kMaxLines) {
                lines.back().text += ' ' + line;
            } else {
                lines.push_back({std::move(line), index});
            }
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

// A line's words and the face it is drawn in.
struct Line {
    Units units;
    std::string face;
};

class Layouter {
public:
    Layouter(const LayoutBox& box, IRowMeasure& measure) : box_(box), measure_(measure) {
        fontSize_ = measure_.fontSize();
        gap_ = static_cast<int>(std::lround(kRowGapShare * static_cast<float>(fontSize_)));
        floorPx_ = std::min(static_cast<float>(box_.height) / 4.0f, static_cast<float>(fontSize_));
    }

    SubtitleLayout layOut(const std::string& text) {
        SubtitleLayout layout;
        if (fontSize_ <= 0) return layout;
        std::vector<Line> lines;
        for (const TextLine& line : splitLines(text)) {
            std::string face = measure_.lineFace(line.text, line.index);
            Units words = units(line.text, face);
            lines.push_back({std::move(words), std::move(face)});
        }
        if (lines.empty()) return layout;

        layout.parts.push_back(best(lines));
        float smallest = drawnRowHeight(layout.parts.front());
        if (smallest >= floorPx_) return layout;

        size_t mostUnits = 0;
        for (const Line& line : lines) mostUnits = std::max(mostUnits, line.units.size());
        for (size_t k = 2; k <= std::min(kMaxParts, mostUnits); ++k) {
            std::vector<std::vector<Units>> pieces;  // per line, its k pieces
            for (const Line& line : lines) pieces.push_back(cut(line, k));
            SubtitleLayout parts;
            float partsSmallest = static_cast<float>(box_.height);
            for (size_t p = 0; p < k; ++p) {
                std::vector<Line> partLines;
                for (size_t l = 0; l < lines.size(); ++l) {
                    if (!pieces[l][p].empty()) partLines.push_back({pieces[l][p], lines[l].face});
                }
                if (partLines.empty()) continue;
                parts.parts.push_back(best(partLines));
                partsSmallest = std::min(partsSmallest, drawnRowHeight(parts.parts.back()));
            }
            if (partsSmallest > smallest) {
                layout = std::move(parts);
                smallest = partsSmallest;
            }
            if (smallest >= floorPx_) break;
        }
        return layout;
    }

private:
    float drawnRowHeight(const SubtitlePart& part) const {
        return part.scale * static_cast<float>(fontSize_);
    }

    float availableWidth() const {
        return std::max(1.0f, static_cast<float>(box_.width) - 2.0f * box_.margin);
    }

    // The words of a line; a word wider than the box even at the smallest readable size is cut
    // into pieces that fit it.
    Units units(const std::string& line, const std::string& face) {
        const float widest = availableWidth() * static_cast<float>(fontSize_) / floorPx_;
        Units out;
        size_t start = 0;
        while (start < line.size()) {
            const size_t space = line.find_first_of(" \t\r", start);
            const size_t end = space == std::string::npos ? line.size() : space;
            if (end > start) {
                const std::string word = line.substr(start, end - start);
                if (static_cast<float>(measure_.measure(word, face).width) <= widest) {
                    out.push_back({word, false});
                } else {
                    cutWord(word, face, widest, out);
                }
            }
            start = end + 1;
        }
        return out;
    }

    void cutWord(const std::string& word, const std::string& face, float widest, Units& out) {
        bool joined = false;
        size_t start = 0;
        while (start < word.size()) {
            size_t end = nextCharacter(word, start);  // at least one character per piece
            for (size_t next = end; next < word.size();) {
                next = nextCharacter(word, next);
                const std::string piece = word.substr(start, next - start);
                if (static_cast<float>(measure_.measure(piece, face).width) > widest) {
                    break;
                }
                end = next;
            }
            out.push_back({word.substr(start, end - start), joined});
            joined = true;
            start = end;
        }
    }

    // The two-row break of a line that keeps its wider row narrowest.
    std::optional<std::pair<LaidOutRow, LaidOutRow>> bestBreak(const Line& line) {
        std::optional<std::pair<LaidOutRow, LaidOutRow>> found;
        int narrowest = 0;
        const Units& units = line.units;
        for (size_t at = 1; at < units.size(); ++at) {
            LaidOutRow first{joinUnits(units, 0, at), {}, line.face};
            LaidOutRow second{joinUnits(units, at, units.size()), {}, line.face};
            first.size = measure_.measure(first.text, line.face);
            second.size = measure_.measure(second.text, line.face);
            const int wider = std::max(first.size.width, second.size.width);
            if (!found || wider < narrowest) {
                narrowest = wider;
                found.emplace(std::move(first), std::move(second));
            }
        }
        return found;
    }

    // Every line on one row or on two; whichever combination draws the rows largest (fewer
    // rows when it is a tie).
    SubtitlePart best(const std::vector<Line>& lines) {
        std::vector<LaidOutRow> whole;
        std::vector<std::optional<std::pair<LaidOutRow, LaidOutRow>>> broken;
        for (const Line& line : lines) {
            LaidOutRow row{joinUnits(line.units, 0, line.units.size()), {}, line.face};
            row.size = measure_.measure(row.text, line.face);
            whole.push_back(std::move(row));
            broken.push_back(bestBreak(line));
        }
        SubtitlePart chosen;
        for (unsigned mask = 0; mask < (1u << lines.size()); ++mask) {
            SubtitlePart part;
            part.gap = gap_;
            bool possible = true;
            for (size_t l = 0; l < lines.size(); ++l) {
                if ((mask & (1u << l)) == 0) {
                    part.rows.push_back(whole[l]);
                } else if (broken[l]) {
                    part.rows.push_back(broken[l]->first);
                    part.rows.push_back(broken[l]->second);
                } else {
                    possible = false;
                }
            }
            if (!possible) continue;
            int widest = 0;
            for (const LaidOutRow& row : part.rows) {
                part.ascent = std::max(part.ascent, row.size.ascent);
                part.descent = std::max(part.descent, row.size.descent);
                widest = std::max(widest, row.size.width);
            }
            part.scale = fitScale(box_, widest, stackHeight(part));
            const bool larger = part.scale > chosen.scale + kSameScale;
            const bool asLargeWithFewerRows = std::abs(part.scale - chosen.scale) <= kSameScale &&
                                              part.rows.size() < chosen.rows.size();
            if (chosen.rows.empty() || larger || asLargeWithFewerRows) chosen = std::move(part);
        }
        return chosen;
    }

    // A line cut at spaces into `k` pieces of about equal width (some empty when it has fewer
    // words than that, spread among the parts).
    std::vector<Units> cut(const Line& text, size_t k) {
        const Units& line = text.units;
        std::vector<Units> pieces(k);
        const size_t n = line.size();
        if (n <= k) {
            for (size_t i = 0; i < n; ++i) pieces[i * k / n].push_back(line[i]);
            return pieces;
        }
        std::vector<int> upTo(n + 1, 0);  // width of the first i words
        for (size_t i = 1; i <= n; ++i) {
            upTo[i] = measure_.measure(joinUnits(line, 0, i), text.face).width;
        }
        size_t begin = 0;
        for (size_t p = 0; p < k; ++p) {
            size_t end = n;
            if (p + 1 < k) {
                const double target = static_cast<double>(upTo[n]) * static_cast<double>(p + 1) / k;
                end = begin + 1;
                for (size_t at = begin + 1; at <= n - (k - p - 1); ++at) {
                    if (std::abs(upTo[at] - target) < std::abs(upTo[end] - target)) end = at;
                }
            }
            pieces[p].assign(line.begin() + static_cast<long>(begin),
                             line.begin() + static_cast<long>(end));
            begin = end;
        }
        return pieces;
    }

    LayoutBox box_;
    IRowMeasure& measure_;
    int fontSize_ = 0;
    int gap_ = 0;
    float floorPx_ = 0.0f;
};

}  // namespace

SubtitleLayout layoutSubtitle(const std::string& text, const LayoutBox& box, IRowMeasure& measure) {
    SubtitleLayout layout = Layouter(box, measure).layOut(text);
    layout.text = text;
    return layout;
}

int stackHeight(const SubtitlePart& part) {
    const int rows = static_cast<int>(part.rows.size());
    if (rows == 0) return 0;
    return rows * (part.ascent + part.descent) + (rows - 1) * part.gap;
}

float fitScale(const LayoutBox& box, int widest, int stack) {
    const float width = std::max(1.0f, static_cast<float>(box.width) - 2.0f * box.margin);
    const float height = std::max(1.0f, static_cast<float>(box.height) - 2.0f * box.margin);
    float scale = 1.0f;
    if (widest > 0) scale = std::min(scale, width / static_cast<float>(widest));
    if (stack > 0) scale = std::min(scale, height / static_cast<float>(stack));
    return scale;
}

TextPlacement placeText(uint32_t boxWidth, uint32_t boxHeight, uint32_t textWidth,
                        uint32_t textHeight) {
    TextPlacement placement;
    const float bw = static_cast<float>(boxWidth);
    const float bh = static_cast<float>(boxHeight);
    const float w = static_cast<float>(textWidth);
    const float h = static_cast<float>(textHeight);
    if (textWidth > boxWidth || textHeight > boxHeight) {
        const float s = std::min(bw / w, bh / h);
        placement.scale = s;
        placement.scaled = true;
        placement.x = (bw - w * s) * 0.5f;
        placement.y = (bh - h * s) * 0.5f;
    } else {
        placement.x = (bw - w) * 0.5f;
        placement.y = (bh - h) * 0.5f;
    }
    return placement;
}

PartPlacement placePart(const SubtitlePart& part, const std::vector<uint32_t>& widths,
                        const LayoutBox& box) {
    PartPlacement placement;
    uint32_t widest = 0;
    for (const uint32_t width : widths) widest = std::max(widest, width);
    const int stack = stackHeight(part);
    const float s = fitScale(box, static_cast<int>(widest), stack);
    placement.scale = s;
    const float boxWidth = static_cast<float>(box.width);
    const float bandTop = (static_cast<float>(box.height) - static_cast<float>(stack) * s) * 0.5f;
    const float pitch = static_cast<float>(part.ascent + part.descent + part.gap);
    float left = boxWidth;
    float right = 0.0f;
    for (size_t i = 0; i < part.rows.size() && i < widths.size(); ++i) {
        const float width = static_cast<float>(widths[i]) * s;
        PartPlacement::Row row;
        row.x = (boxWidth - width) * 0.5f;
        const float baseline =
            bandTop + (static_cast<float>(part.ascent) + static_cast<float>(i) * pitch) * s;
        row.y = baseline - static_cast<float>(part.rows[i].size.baseline) * s;
        placement.rows.push_back(row);
        left = std::min(left, row.x);
        right = std::max(right, row.x + width);
    }
    const float margin = static_cast<float>(box.margin);
    placement.left = std::max(0.0f, left - margin);
    placement.right = std::min(boxWidth, right + margin);
    placement.top = std::max(0.0f, bandTop - margin);
    placement.bottom =
        std::min(static_cast<float>(box.height), bandTop + static_cast<float>(stack) * s + margin);
    return placement;
}

bool subtitleExpired(std::chrono::steady_clock::time_point shownAt,
                     std::chrono::steady_clock::time_point now, int durationMs) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - shownAt);
    return elapsed.count() >= durationMs;
}

int partDurationMs(int durationMs, size_t parts, size_t index) {
    if (parts <= 1) return durationMs;
    const int each = durationMs / static_cast<int>(parts);
    return index + 1 < parts ? each : durationMs - each * static_cast<int>(parts - 1);
}

}  // namespace obs_sayline
