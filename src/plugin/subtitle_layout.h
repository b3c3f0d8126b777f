#pragma once

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

// The screenfuls a subtitle is shown in, one after another within its display time.
struct SubtitleLayout {
    std::vector<SubtitlePart> parts;
};

// Lays out a display text (one line per language, each in its own face) for the box, choosing the layout that draws
// the rows largest: each line on one row, or on two rows broken at the space that keeps the
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

}  // namespace obs_sayline
