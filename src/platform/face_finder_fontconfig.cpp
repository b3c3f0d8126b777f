#ifndef _WIN32

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fcfreetype.h>
#include <obs-properties.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>

#include "core/logger.h"
#include "platform/face_finder.h"

namespace obs_sayline::platform {
namespace {

const FcChar8* fc(const std::string& text) { return reinterpret_cast<const FcChar8*>(text.c_str()); }

std::string stringOf(FcPattern* pattern, const char* object) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(pattern, object, 0, &value) != FcResultMatch || !value) return "";
    return reinterpret_cast<const char*>(value);
}

// The pattern the host asks fontconfig with, before its substitutions.
FcPattern* hostPattern(const FontFace& font, int pixelSize) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    FcPatternAddString(pattern, FC_FAMILY, fc(font.face));
    FcPatternAddString(pattern, FC_STYLE, fc(font.style));
    FcPatternAddInteger(pattern, FC_WEIGHT,
                        (font.flags & OBS_FONT_BOLD) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT,
                        (font.flags & OBS_FONT_ITALIC) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_SIZE, static_cast<double>(pixelSize));
    return pattern;
}

void substitute(FcPattern* pattern) {
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
}

// Language names as the services report them, for the languages people subtitle in most.
constexpr std::pair<const char*, const char*> kLanguageNames[] = {
    {"korean", "ko"},     {"japanese", "ja"}, {"chinese", "zh-cn"},    {"english", "en"},
    {"vietnamese", "vi"}, {"thai", "th"},     {"indonesian", "id"},    {"hindi", "hi"},
    {"arabic", "ar"},     {"hebrew", "he"},   {"russian", "ru"},       {"greek", "el"},
    {"zh", "zh-cn"},      {"zh-hans", "zh-cn"}, {"zh-hant", "zh-tw"},
};

// A language fontconfig knows, from a hint ("ko-KR" is "ko"); empty for none.
std::string fontconfigLanguage(const std::string& hint) {
    std::string lang;
    for (const char c : hint) {
        if (c == ' ') continue;
        lang += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const auto& [name, code] : kLanguageNames) {
        if (lang == name) lang = code;
    }
    if (lang.empty() || lang == "auto") return "";
    if (FcLangGetCharSet(fc(lang))) return lang;
    lang = lang.substr(0, lang.find('-'));
    return FcLangGetCharSet(fc(lang)) ? lang : "";
}

}  // namespace

HostFontFile hostFontFile(const FontFace& font, int pixelSize) {
    HostFontFile file;
    FcPattern* pattern = hostPattern(font, pixelSize);
    if (!pattern) return file;
    substitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        file.path = stringOf(match, FC_FILE);
        file.family = stringOf(match, FC_FAMILY);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

struct FaceFinder::Impl {
    // What the host draws for one face name: the file it opens, and the characters of that
    // file's first face.
    struct HostFace {
        std::string family;
        const FcCharSet* charset = nullptr;  // owned by charsets
    };

    FontFace font;
    int pixelSize = 0;
    FT_Library library = nullptr;
    std::unordered_map<std::string, HostFace> faces;        // by face name
    std::unordered_map<std::string, FcCharSet*> charsets;  // by file
    std::map<std::string, std::string> answers;            // by language and scripts
    std::set<char32_t> inNoFont;                           // characters no installed font has

    ~Impl() {
        forget();
        if (library) FT_Done_FreeType(library);
    }

    void forget() {
        for (auto& entry : charsets) FcCharSetDestroy(entry.second);
        charsets.clear();
        faces.clear();
        answers.clear();
        inNoFont.clear();
    }

    // The characters of the first face in `path`, read the way the host reads the file.
    const FcCharSet* fileCharset(const std::string& path) {
        auto found = charsets.find(path);
        if (found != charsets.end()) return found->second;
        FcCharSet* charset = nullptr;
        if (!library && FT_Init_FreeType(&library) != 0) library = nullptr;
        FT_Face face = nullptr;
        if (library && !path.empty() && FT_New_Face(library, path.c_str(), 0, &face) == 0) {
            charset = FcFreeTypeCharSet(face, nullptr);
            FT_Done_Face(face);
        }
        if (!charset) charset = FcCharSetCreate();
        return charsets.emplace(path, charset).first->second;
    }

    const HostFace& hostFace(const std::string& name) {
        auto found = faces.find(name);
        if (found != faces.end()) return found->second;
        FontFace asked = font;
        asked.face = name;
        const HostFontFile file = hostFontFile(asked, pixelSize);
        HostFace face;
        face.family = file.family;
        face.charset = fileCharset(file.path);
        return faces.emplace(name, face).first->second;
    }

    static size_t covered(const FcCharSet* charset, const std::vector<char32_t>& chars) {
        size_t count = 0;
        for (const char32_t c : chars) count += charset && FcCharSetHasChar(charset, c) ? 1 : 0;
        return count;
    }

    // fontconfig's fonts for the user's face, best first, ranked with the row's characters
    // and language.
    FcFontSet* sortedFonts(const std::vector<char32_t>& chars, const std::string& language) {
        FcPattern* pattern = hostPattern(font, pixelSize);
        if (!pattern) return nullptr;
        if (!language.empty()) FcPatternAddString(pattern, FC_LANG, fc(language));
        if (FcCharSet* charset = FcCharSetCreate()) {
            for (const char32_t c : chars) FcCharSetAddChar(charset, c);
            FcPatternAddCharSet(pattern, FC_CHARSET, charset);
            FcCharSetDestroy(charset);  // the pattern holds its own reference
        }
        substitute(pattern);
        FcResult result = FcResultNoMatch;
        FcFontSet* fonts = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
        FcPatternDestroy(pattern);
        return fonts;
    }

    // The face that draws most of `chars` (all, when one does), the user's on a tie. Notes the
    // characters that no installed font has.
    std::string search(std::vector<char32_t>& chars, const std::string& language) {
        FcFontSet* fonts = sortedFonts(chars, language);
        if (!fonts) return font.face;
        std::vector<const FcCharSet*> charsets(static_cast<size_t>(fonts->nfont), nullptr);
        for (int i = 0; i < fonts->nfont; ++i) {
            FcCharSet* charset = nullptr;
            if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &charset) == FcResultMatch) {
                charsets[static_cast<size_t>(i)] = charset;
            }
        }
        auto anyFontHas = [&](char32_t c) {
            return std::any_of(charsets.begin(), charsets.end(), [c](const FcCharSet* charset) {
                return charset && FcCharSetHasChar(charset, c);
            });
        };
        for (const char32_t c : chars) {
            if (!anyFontHas(c)) inNoFont.insert(c);
        }
        chars.erase(std::remove_if(chars.begin(), chars.end(),
                                   [&](char32_t c) { return inNoFont.count(c) > 0; }),
                    chars.end());

        std::string best = font.face;
        size_t bestCount = covered(hostFace(font.face).charset, chars);
        for (int i = 0; i < fonts->nfont && bestCount < chars.size(); ++i) {
            // The font's own characters first: only a font that would do better is opened.
            if (covered(charsets[static_cast<size_t>(i)], chars) <= bestCount) continue;
            const std::string family = stringOf(fonts->fonts[i], FC_FAMILY);
            if (family.empty()) continue;
            const size_t count = covered(hostFace(family).charset, chars);
            if (count > bestCount) {
                best = family;
                bestCount = count;
            }
        }
        FcFontSetDestroy(fonts);
        return best;
    }
};

FaceFinder::FaceFinder() : impl_(std::make_unique<Impl>()) {}
FaceFinder::~FaceFinder() = default;

void FaceFinder::useFont(const FontFace& font, int pixelSize) {
    if (font == impl_->font && pixelSize == impl_->pixelSize) return;
    impl_->forget();
    impl_->font = font;
    impl_->pixelSize = pixelSize;
}

void FaceFinder::forget() { impl_->forget(); }

FaceChoice FaceFinder::faceFor(const std::string& row, const std::string& language) {
    Impl& impl = *impl_;
    std::vector<char32_t> chars;  // each character once, in the row's order
    for (const char32_t c : codePoints(row)) {
        if (needsGlyph(c) && std::find(chars.begin(), chars.end(), c) == chars.end()) {
            chars.push_back(c);
        }
    }
    const std::string lang = fontconfigLanguage(language);
    // What can be drawn at all, and the answer kept for its scripts.
    auto drawableNow = [&] {
        std::vector<char32_t> drawable;
        for (const char32_t c : chars) {
            if (!impl.inNoFont.count(c)) drawable.push_back(c);
        }
        return drawable;
    };
    auto keyOf = [&](const std::vector<char32_t>& drawable, std::string* scripts) {
        std::set<std::string> names;
        for (const char32_t c : drawable) names.insert(scriptOf(c).name);
        for (const std::string& name : names) *scripts += (scripts->empty() ? "" : ", ") + name;
        return lang + "|" + *scripts;
    };
    std::vector<char32_t> drawable = drawableNow();
    std::string scripts;
    std::string key = keyOf(drawable, &scripts);

    FaceChoice choice;
    auto answer = impl.answers.find(key);
    if (answer != impl.answers.end() &&
        Impl::covered(impl.hostFace(answer->second).charset, drawable) == drawable.size()) {
        choice.face = answer->second;
    } else if (Impl::covered(impl.hostFace(impl.font.face).charset, drawable) == drawable.size()) {
        choice.face = impl.font.face;
    } else {
        choice.face = impl.search(drawable, lang);
        scripts.clear();
        key = keyOf(drawable, &scripts);  // less what no font has
        answer = impl.answers.find(key);
    }
    choice.family = impl.hostFace(choice.face).family;
    if (!drawable.empty() && (answer == impl.answers.end() || answer->second != choice.face)) {
        impl.answers[key] = choice.face;
        if (choice.family.empty() || choice.family == choice.face) {
            logInfoTag("Render", "Row face for %s: %s", scripts.c_str(), choice.face.c_str());
        } else {
            logInfoTag("Render", "Row face for %s: %s (%s)", scripts.c_str(), choice.face.c_str(),
                       choice.family.c_str());
        }
    }

    const FcCharSet* charset = impl.hostFace(choice.face).charset;
    for (const char32_t c : chars) {
        if (charset && FcCharSetHasChar(charset, c)) continue;
        const Script* script = &scriptOf(c);
        const bool named = std::any_of(choice.missing.begin(), choice.missing.end(),
                                       [&](const Script* s) { return std::strcmp(s->name, script->name) == 0; });
        if (!named) choice.missing.push_back(script);
    }
    return choice;
}

}  // namespace obs_sayline::platform

#endif
