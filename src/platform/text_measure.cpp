#include "platform/text_measure.h"

#ifndef _WIN32
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <unordered_map>

#include "platform/face_finder.h"
#include "platform/text_scripts.h"
#endif

namespace obs_sayline::platform {

#ifdef _WIN32

struct TextMeasure::Impl {};

TextMeasure::TextMeasure() = default;
TextMeasure::~TextMeasure() = default;
bool TextMeasure::useFont(const FontFace&, int) { return false; }
RowMetrics TextMeasure::measure(const std::string&) { return {}; }

#else

namespace {

// The host source reports its text 4 pixels larger than the glyphs' advances and rows when
// the outline is on (it always is here), and draws the outline 2 pixels around every glyph.
constexpr int kOutlineAllowance = 4;
constexpr int kOutlinePx = 2;

// What the host source loads into its glyph texture with every font; its baseline sits as
// far down as the tallest glyph it holds.
constexpr char32_t kHostStandardGlyphs[] =
    U"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890"
    U"!@#$%^&*()-_=+,<.>/?\\|[]{}`~ '\"";

// Faces kept loaded at once; rows of a subtitle come in one or two.
constexpr size_t kMaxLoadedFaces = 8;

}  // namespace

struct TextMeasure::Impl {
    struct Glyph {
        int advance = 0;
        int top = 0;   // bitmap rows above the baseline
        int rows = 0;  // bitmap rows in all
    };

    // One face as the host source loads it, with what was measured of it.
    struct Face {
        FT_Face face = nullptr;
        int standardHeight = 0;  // the tallest of the host's standard glyphs
        std::unordered_map<char32_t, Glyph> glyphs;

        ~Face() {
            if (face) FT_Done_Face(face);
        }

        const Glyph& glyph(char32_t c) {
            auto found = glyphs.find(c);
            if (found != glyphs.end()) return found->second;
            Glyph g;
            const FT_UInt index = FT_Get_Char_Index(face, c);
            if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) == 0) {
                g.advance = static_cast<int>(face->glyph->advance.x >> 6);
                if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
                    g.top = face->glyph->bitmap_top;
                    g.rows = static_cast<int>(face->glyph->bitmap.rows);
                }
            }
            return glyphs.emplace(c, g).first->second;
        }
    };

    FT_Library library = nullptr;
    FontFace loadedStyle;  // style and flags of the loaded faces (face name unused)
    int pixelSize = 0;
    std::map<std::string, std::unique_ptr<Face>> faces;  // by face name
    Face* current = nullptr;

    ~Impl() {
        faces.clear();
        if (library) FT_Done_FreeType(library);
    }

    // The file the host source opens for this face, its first face as the host takes it.
    std::unique_ptr<Face> load(const FontFace& font, int size) {
        const std::string file = hostFontFile(font, size).path;
        if (file.empty() || size <= 0) return nullptr;
        if (!library && FT_Init_FreeType(&library) != 0) {
            library = nullptr;
            return nullptr;
        }
        auto loaded = std::make_unique<Face>();
        if (FT_New_Face(library, file.c_str(), 0, &loaded->face) != 0) {
            loaded->face = nullptr;
            return nullptr;
        }
        FT_Set_Pixel_Sizes(loaded->face, 0, static_cast<FT_UInt>(size));
        FT_Select_Charmap(loaded->face, FT_ENCODING_UNICODE);
        for (const char32_t* c = kHostStandardGlyphs; *c; ++c) {
            loaded->standardHeight = std::max(loaded->standardHeight, loaded->glyph(*c).rows);
        }
        return loaded;
    }

    bool use(const FontFace& font, int size) {
        if (size != pixelSize || font.style != loadedStyle.style ||
            font.flags != loadedStyle.flags || faces.size() >= kMaxLoadedFaces) {
            faces.clear();
            pixelSize = size;
            loadedStyle = font;
        }
        auto found = faces.find(font.face);
        // A face that cannot be loaded is remembered as such.
        if (found == faces.end()) found = faces.emplace(font.face, load(font, size)).first;
        current = found->second.get();
        return current != nullptr;
    }
};

TextMeasure::TextMeasure() : impl_(std::make_unique<Impl>()) {}
TextMeasure::~TextMeasure() = default;

bool TextMeasure::useFont(const FontFace& font, int pixelSize) {
    return impl_->use(font, pixelSize);
}

RowMetrics TextMeasure::measure(const std::string& row) {
    RowMetrics metrics;
    Impl::Face* face = impl_->current;
    if (!face) return metrics;
    int width = 0;
    int tallest = face->standardHeight;
    int above = 0;
    int below = 0;
    for (const char32_t c : codePoints(row)) {
        const Impl::Glyph& g = face->glyph(c);
        width += g.advance;
        tallest = std::max(tallest, g.rows);
        if (g.rows == 0) continue;  // a space has no ink
        above = std::max(above, g.top);
        below = std::max(below, g.rows - g.top);
    }
    metrics.width = width + kOutlineAllowance;
    metrics.baseline = tallest;
    metrics.ascent = above + kOutlinePx;
    metrics.descent = below + kOutlinePx;
    return metrics;
}

#endif

}  // namespace obs_sayline::platform
