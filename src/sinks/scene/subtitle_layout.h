#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text_measure.h"

namespace obs_sayline {

// One row as the host text source draws it, in the source's own pixels: reported width,
// baseline from its top edge, ink around the baseline.
using RowSize = platform::RowMetrics;

// What laying out needs of the font: the face each line of the text is drawn in, the size of
// a row in a face, and the font's size in pixels (how high a row is drawn when not scaled).
class IRowMeasure {
public:
    virtual ~IRowMeasure() = default;
    // The face for line `index` of the display text (counted over every line, empty ones
    // too); empty for the font as set.
    virtual std::string lineFace(const std::string& line, size_t index) { return {}; }
    virtual RowSize measure(const std::string& row, const std::string& face) = 0;
    virtual int fontSize() = 0;
};

// The source's box, and the margin kept free inside it around the rows (the background's).
struct LayoutBox {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t margin = 0;
};

struct LaidOutRow {
    std::string text;
    RowSize size;
    std::string face;  // the face it is drawn in; empty for the font as set
};

// One screenful of a subtitle: rows, each centred on its own, stacked on a band as high as the
// tallest ascent plus the deepest descent among them, `gap` apart.
struct SubtitlePart {
    std::vector<LaidOutRow> rows;
    int ascent = 0;
    int descent = 0;
    int gap = 0;
    float scale = 1.0f;  // as laid out from the measured widths
};

// A subtitle as the scene shows it: its display text and the screenfuls it is shown in, one
// after another within its display time. Without parts the first row's text source takes the
// whole text, in `face` (empty: the font as set): where the host text source lays text out
// itself (GDI+), or rows cannot be measured.
struct SubtitleLayout {
    std::string text;
    std::vector<SubtitlePart> parts;
    std::string face;
};

// Lays out a display text (one line per language, each in its own face) for the box, choosing
// the layout that draws the rows largest: each line on one row, or on two rows broken at the space that keeps the
// wider row narrowest (inside a word only when a word alone cannot fit the box at the smallest
// readable size). When even the best layout draws rows lower than a quarter of the box (the
// font size times the scale; or lower than the font size, if that is below a quarter), the text
// is shown in successive parts, each line cut at spaces into pieces of about equal width, as
// few parts as keep every row readable.
SubtitleLayout layoutSubtitle(const std::string& text, const LayoutBox& box, IRowMeasure& measure);

// The height of a part's stacked rows, unscaled.
int stackHeight(const SubtitlePart& part);
// The scale that fits rows `widest` wide, stacked `stack` high, into the box inside its margin;
// never above 1 (the font size is the largest a row is drawn).
float fitScale(const LayoutBox& box, int widest, int stack);

// Where a whole-text texture goes inside the source's box: centred, and shrunk (keeping its
// aspect) when it is larger than the box in either direction.
struct TextPlacement {
    float x = 0.0f;
    float y = 0.0f;
    float scale = 1.0f;
    bool scaled = false;
};
TextPlacement placeText(uint32_t boxWidth, uint32_t boxHeight, uint32_t textWidth,
                        uint32_t textHeight);

// Where the rows of a part go inside the box, given the widths their text sources report: all
// at one scale that fits the widest row and the stack into the box, each row centred on its
// own, the stack centred; and the area the background covers (the rows with the box's margin
// around them, within the box).
struct PartPlacement {
    struct Row {
        float x = 0.0f;  // top-left corner of the row's text source
        float y = 0.0f;
    };
    float scale = 1.0f;
    std::vector<Row> rows;
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
};
PartPlacement placePart(const SubtitlePart& part, const std::vector<uint32_t>& widths,
                        const LayoutBox& box);

// True once a subtitle shown at `shownAt` has been up for `durationMs` whole milliseconds.
bool subtitleExpired(std::chrono::steady_clock::time_point shownAt,
                     std::chrono::steady_clock::time_point now, int durationMs);

// How long part `index` of `parts` stays up: the display time shared out evenly.
int partDurationMs(int durationMs, size_t parts, size_t index);

}  // namespace obs_sayline
