// The face each row is drawn in, under the tests' own fontconfig configuration (FONTCONFIG_FILE,
// set by CTest): Arial is the Latin-only Nimbus Sans there, NanumGothic has Hangul, VL Gothic
// kana, and nothing has Devanagari.

#include "platform/face_finder.h"

#include <gtest/gtest.h>
#include <obs-properties.h>

#include <string>
#include <vector>

namespace obs_sayline::platform {
namespace {

std::vector<std::string> names(const std::vector<const Script*>& scripts) {
    std::vector<std::string> out;
    for (const Script* script : scripts) out.push_back(script->name);
    return out;
}

std::string fileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

class FaceFinderTest : public ::testing::Test {
protected:
    void SetUp() override { finder_.useFont({"Arial", "", 0}, 48); }
    FaceFinder finder_;
};

TEST_F(FaceFinderTest, each_script_gets_a_face_that_has_it_and_latin_keeps_the_users) {
    const FaceChoice latin = finder_.faceFor("Good evening, everyone!", "en");
    EXPECT_EQ(latin.face, "Arial");
    EXPECT_EQ(latin.family, "Nimbus Sans");
    EXPECT_TRUE(latin.missing.empty());

    // Korean with the Latin around it, hinted the way the services name the language.
    for (const char* language : {"ko", "ko-KR", "korean", ""}) {
        const FaceChoice korean = finder_.faceFor("안녕하세요 여러분, OBS 방송입니다", language);
        EXPECT_EQ(korean.face, "NanumGothic") << language;
        EXPECT_TRUE(korean.missing.empty()) << language;
    }

    const FaceChoice japanese = finder_.faceFor("こんにちは、皆さん。カタカナ", "ja");
    EXPECT_EQ(japanese.face, "VL Gothic");
    EXPECT_TRUE(japanese.missing.empty());

    // Latin beyond what Nimbus Sans has.
    const FaceChoice extended = finder_.faceFor("ǈǉǊǋǌ ɐɑɒɓ", "");
    EXPECT_NE(extended.family, "Nimbus Sans");
    EXPECT_TRUE(extended.missing.empty());
}

TEST_F(FaceFinderTest, the_language_decides_between_faces_that_both_have_the_characters) {
    // Both faces have these Han characters; each language gets its own.
    EXPECT_EQ(finder_.faceFor("日本語", "ja").face, "VL Gothic");
    EXPECT_EQ(finder_.faceFor("日本語", "ko").face, "NanumGothic");
}

TEST_F(FaceFinderTest, a_script_no_font_has_is_named_and_the_rest_keeps_a_face_that_has_it) {
    for (int twice = 0; twice < 2; ++twice) {
        const FaceChoice mixed = finder_.faceFor("नमस्ते world", "hi");
        EXPECT_EQ(mixed.face, "Arial");
        EXPECT_EQ(names(mixed.missing), std::vector<std::string>{"Devanagari"});
    }
    const FaceChoice withHangul = finder_.faceFor("नमस्ते 안녕", "");
    EXPECT_EQ(withHangul.face, "NanumGothic");
    EXPECT_EQ(names(withHangul.missing), std::vector<std::string>{"Devanagari"});
}

TEST(HostFontFileTest, style_flags_reach_the_match_as_the_host_asks_it) {
    EXPECT_EQ(fileName(hostFontFile({"Arial", "", 0}, 48).path), "NimbusSans-Regular.otf");
    EXPECT_EQ(fileName(hostFontFile({"Arial", "", OBS_FONT_BOLD}, 48).path),
              "NimbusSans-Bold.otf");
    FaceFinder bold;
    bold.useFont({"Arial", "", OBS_FONT_BOLD | OBS_FONT_ITALIC}, 48);
    const FaceChoice korean = bold.faceFor("안녕", "ko");
    EXPECT_EQ(korean.face.rfind("Nanum", 0), 0u) << korean.face;
    EXPECT_TRUE(korean.missing.empty());
}

}  // namespace
}  // namespace obs_sayline::platform
