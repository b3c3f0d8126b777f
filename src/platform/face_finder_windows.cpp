#ifdef _WIN32

#include "platform/face_finder.h"

namespace obs_sayline::platform {

// GDI+ falls back to other fonts by itself: the user's face is given as it is.
struct FaceFinder::Impl {
    FontFace font;
};

FaceFinder::FaceFinder() : impl_(std::make_unique<Impl>()) {}
FaceFinder::~FaceFinder() = default;

void FaceFinder::useFont(const FontFace& font, int) { impl_->font = font; }

void FaceFinder::forget() {}

FaceChoice FaceFinder::faceFor(const std::string&, const std::string&) {
    FaceChoice choice;
    choice.face = impl_->font.face;
    choice.family = impl_->font.face;
    return choice;
}

}  // namespace obs_sayline::platform

#endif
