#include "platform/text_measure.h"

#ifndef _WIN32
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <unordered_map>
#endif

namespace obs_sayline::platform {

#ifdef _WIN32

struct TextMeasure::Impl {};

TextMeasure::TextMeasure() = default;
TextMeasure::~TextMeasure() = default;
bool TextMeasure::useFont(const std::string&, int) { return false; }
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

// Code points of UTF-8 text; bytes that do not form a character are skipped.
std::u32string codePoints(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (valid) {
            out.push_back(cp);
            i += length;
        } else {
            ++i;
        }
    }
    return out;
}

}  // namespace

struct TextMeasure::Impl {
    struct Glyph {
        int advance = 0;
        int top = 0;   // bitmap rows above the baseline
        int rows = 0;  // bitmap rows in all
    };

    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string faceName;
    int pixelSize = 0;
    int standardHeight = 0;  // the tallest of the host's standard glyphs
    std::unordered_map<char32_t, Glyph> glyphs;

    ~Impl() { unload(); }

    void unload() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
        face = nullptr;
        library = nullptr;
        glyphs.clear();
    }

    // The file the host source opens for this face: fontconfig's best match for the family in
    // regular weight and upright, as the host asks for it (which always takes the file's first
    // face).
    static std::string matchFile(const std::string& family, int size) {
        FcPattern* pattern = FcPatternCreate();
        if (!pattern) return "";
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8*>(""));
        FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
        FcPatternAddDouble(pattern, FC_SIZE, static_cast<double>(size));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        std::string file;
        FcChar8* path = nullptr;
        if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
            file = reinterpret_cast<const char*>(path);
        }
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
        return file;
    }

    bool load(const std::string& family, int size) {
        unload();
        faceName = family;
        pixelSize = size;
        const std::string file = matchFile(family, size);
        if (file.empty() || size <= 0) return false;
        if (FT_Init_FreeType(&library) != 0) {
            library = nullptr;
            return false;
        }
        if (FT_New_Face(library, file.c_str(), 0, &face) != 0) {
            face = nullptr;
            unload();
            return false;
        }
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        standardHeight = 0;
        for (const char32_t* c = kHostStandardGlyphs; *c; ++c) {
            standardHeight = std::max(standardHeight, glyph(*c).rows);
        }
        return true;
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

TextMeasure::TextMeasure() : impl_(std::make_unique<Impl>()) {}
TextMeasure::~TextMeasure() = default;

bool TextMeasure::useFont(const std::string& face, int pixelSize) {
    if (impl_->face && impl_->faceName == face && impl_->pixelSize == pixelSize) return true;
    return impl_->load(face, pixelSize);
}

RowMetrics TextMeasure::measure(const std::string& row) {
    RowMetrics metrics;
    if (!impl_->face) return metrics;
    int width = 0;
    int tallest = impl_->standardHeight;
    int above = 0;
    int below = 0;
    for (const char32_t c : codePoints(row)) {
        const Impl::Glyph& g = impl_->glyph(c);
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
