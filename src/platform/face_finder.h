#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host_text_source.h"
#include "platform/text_scripts.h"

namespace obs_sayline::platform {

// The face a row is given to the host text source with.
struct FaceChoice {
    std::string face;    // the name the host text source is given
    std::string family;  // what that name resolves to on this machine ("Nimbus Sans" for "Arial")
    // Scripts of the row that the face cannot draw (no installed font has them, or none has
    // them together with the rest of the row): those characters are left out, the rest is
    // drawn.
    std::vector<const Script*> missing;
};

// Chooses, row by row, a face that draws every character, since the host's FreeType text
// source draws one face and has no fallback of its own: the user's face when the file the host
// loads for it covers the row; otherwise fontconfig's best match for that face that does,
// looked up with the same configuration the host uses, and checked against the file the host
// would load for the name found. Where no installed font covers some characters, the face that
// covers most of them. Answers are kept per script (and language), so repeated rows cost a
// few charset look-ups. Where the host text source falls back by itself (GDI+), the user's
// face comes back unchanged.
//
// Not synchronised: one thread at a time. Never on the graphics or audio thread: the first
// answer for a script may read font files.
class FaceFinder {
public:
    FaceFinder();
    ~FaceFinder();
    FaceFinder(const FaceFinder&) = delete;
    FaceFinder& operator=(const FaceFinder&) = delete;

    // The user's font and the pixel size rows are drawn at; answers kept for another font or
    // size are forgotten.
    void useFont(const FontFace& font, int pixelSize);
    // The face for one row. `language` is a hint, as the services and settings name languages
    // ("ko", "ko-KR", "korean"); empty or "auto" for none.
    FaceChoice faceFor(const std::string& row, const std::string& language);
    // Forgets every answer: fonts may have been installed since.
    void forget();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#ifndef _WIN32
// The file the host's FreeType text source opens for `font` at `pixelSize`, as it asks
// fontconfig for it (family, style, weight and slant from the flags, size; always the file's
// first face), and the family fontconfig found. Empty when there is none.
struct HostFontFile {
    std::string path;
    std::string family;
};
HostFontFile hostFontFile(const FontFace& font, int pixelSize);
#endif

}  // namespace obs_sayline::platform
