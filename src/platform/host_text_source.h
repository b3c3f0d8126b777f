#pragma once

#include <obs-data.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace obs_sayline::platform {

// The host's own text source: GDI+ on Windows, FreeType elsewhere. Their settings differ;
// everything that writes one goes through here.
#ifdef _WIN32
constexpr const char* kHostTextSourceId = "text_gdiplus";
// GDI+ draws its own background and wraps and centres the whole text inside its extents.
constexpr bool kHostTextDrawsBackground = true;
constexpr bool kHostTextWrapsInBox = true;
// No limit on glyphs: GDI+ draws each text afresh.
constexpr size_t kHostTextGlyphBudget = 0;
#else
constexpr const char* kHostTextSourceId = "text_ft2_source";
// FreeType has no background and no alignment, and its own word wrap faults at large sizes:
// the scene text breaks the text into rows itself, draws each row from its own text source,
// centred, and the background behind the rows.
constexpr bool kHostTextDrawsBackground = false;
constexpr bool kHostTextWrapsInBox = false;
// FreeType keeps every glyph it has drawn in one 2048x2048 texture, filled in order, and
// drops glyphs that no longer fit (they are simply not drawn). Above about 300 px not even
// the basic Latin set fits; at this size about 300 characters beyond it do. The box is 160 px
// high, so larger sizes were only ever shrunk back down.
constexpr long long kFreeTypeMaxFontPx = 128;
// Characters beyond basic Latin drawn since the font was last loaded, after which it is
// loaded again to empty the texture (well within what fits at the size above).
constexpr size_t kHostTextGlyphBudget = 150;
#endif

// A font as the host's font picker stores it, without its size: face, style, and the bold,
// italic, underline and strike-out flags (OBS_FONT_*).
struct FontFace {
    std::string face;
    std::string style;
    uint32_t flags = 0;
    bool operator==(const FontFace& other) const {
        return face == other.face && style == other.style && flags == other.flags;
    }
    bool operator!=(const FontFace& other) const { return !(*this == other); }
};

// A font as a host text source is given it: the face at a size in the source's pixels.
struct HostFont {
    FontFace face;
    long long size = 0;
    bool operator==(const HostFont& other) const {
        return face == other.face && size == other.size;
    }
    bool operator!=(const HostFont& other) const { return !(*this == other); }
};

// The text colour as the host source wants it (0xAABBGGRR). The colour property carries no
// alpha, so FreeType (which honours alpha) gets it opaque; GDI+ takes it as it is.
uint32_t hostTextColor(uint32_t color);

// The font size the host source is given for `size`: on FreeType held to kFreeTypeMaxFontPx.
long long hostFontSize(long long size);
// The font as it is (a font that differs from the one a source holds is loaded afresh).
void writeTextFont(obs_data_t* settings, const HostFont& font);
// Colour as given (already in the host's order).
void writeTextColor(obs_data_t* settings, uint32_t color);
// FreeType's outline is a fixed black one: only the switch reaches it.
void writeTextOutline(obs_data_t* settings, bool on, int size, uint32_t color);
// Background colour (0x00RRGGBB) and opacity in percent; nothing where the source has none.
void writeTextBackground(obs_data_t* settings, bool writeColor, uint32_t color, int opacity);
// Horizontal alignment of the output renderer's style (0 left, 1 centre, 2 right); nothing
// where the source cannot align.
void writeTextAlignment(obs_data_t* settings, int alignment);
// The layout of the scene's private text source for a box of width x height: centred in its
// extents on GDI+; unwrapped, without shadow, anti-aliased on FreeType.
void writeTextBoxLayout(obs_data_t* settings, uint32_t width, uint32_t height);
// FreeType only: wrap at `width` pixels (0: no wrap). GDI+ wraps inside its extents already.
void writeTextWrap(obs_data_t* settings, uint32_t width);

}  // namespace obs_sayline::platform
