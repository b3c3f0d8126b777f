#pragma once

#include <memory>
#include <string>

#include "platform/host_text_source.h"

namespace obs_sayline::platform {

// How one row of text comes out of the host's text source, in the source's own pixels: the
// width it reports once it has taken the row, and where the ink lies around the baseline.
struct RowMetrics {
    int width = 0;     // as the host source reports it
    int baseline = 0;  // from the source's top edge down to the baseline
    int ascent = 0;    // ink above the baseline, outline included
    int descent = 0;   // ink below the baseline, outline included
};

// Measures rows with the font the host's FreeType text source loads for the same face and
// size, the way that source measures them (whole-pixel advances, no kerning), so that rows can
// be laid out before the host has drawn them. The host source still draws every row. Where the
// host text source lays out its text itself (GDI+) nothing is measured.
//
// Not synchronised: one thread at a time.
class TextMeasure {
public:
    TextMeasure();
    ~TextMeasure();
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    // Measures with this font at that pixel size from now on. Faces stay loaded while the
    // style, flags and size stay the same, so rows in a few faces can be measured in turn.
    // False when rows cannot be measured here.
    bool useFont(const FontFace& font, int pixelSize);
    // A row without line breaks, in UTF-8. Zero metrics when no font is loaded.
    RowMetrics measure(const std::string& row);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline::platform
