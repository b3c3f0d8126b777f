#include "output/subtitle_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace obs_sayline {
namespace {

SubtitleEntry entry(std::string original, std::string translated = "") {
    SubtitleEntry e;
    e.originalText = std::move(original);
    e.translatedText = std::move(translated);
    return e;
}

const std::string kTemplate = "{original}";

TEST(SubtitleTextTest, fixed_template_shows_the_original_and_never_expands_inserted_text) {
    SubtitleStyle style;
    EXPECT_EQ(buildSubtitleText({entry("Hello", "Bonjour")}, style, kTemplate), "Hello");
    EXPECT_EQ(buildSubtitleText({entry("say {original}")}, style, kTemplate), "say {original}");
    EXPECT_EQ(buildSubtitleText({entry("a {translation} {newline} b", "X")}, style, kTemplate),
              "a {translation} {newline} b");
    EXPECT_EQ(buildSubtitleText({entry("one"), entry("two")}, style, kTemplate), "one\ntwo");
    EXPECT_EQ(buildSubtitleText({}, style, kTemplate), "");
}

TEST(SubtitleTextTest, other_templates_fill_every_placeholder_once) {
    SubtitleStyle style;
    EXPECT_EQ(
        buildSubtitleText({entry("Hi", "Salut")}, style, "{original}{newline}({translation})"),
        "Hi\n(Salut)");
    EXPECT_EQ(buildSubtitleText({entry("{translation}", "T")}, style, "{original}|{translation}"),
              "{translation}|T");
}

TEST(SubtitleTextTest, unchanged_template_falls_back_to_the_style_composition) {
    SubtitleStyle style;
    const std::string plain = "no placeholders";
    EXPECT_EQ(buildSubtitleText({entry("Hi", "Salut")}, style, plain), "Hi\nSalut");
    style.showOriginal = false;
    EXPECT_EQ(buildSubtitleText({entry("Hi", "Salut")}, style, plain), "Salut");
    style.showOriginal = true;
    style.showTranslation = false;
    EXPECT_EQ(buildSubtitleText({entry("Hi", "Salut")}, style, plain), "Hi");
    style.showTranslation = true;
    EXPECT_EQ(buildSubtitleText({entry("", "Salut")}, style, plain), "Salut");
    // The original that equals the template also counts as "nothing replaced".
    EXPECT_EQ(buildSubtitleText({entry("{original}", "T")}, style, kTemplate), "{original}\nT");
}

TEST(SubtitleTextTest, long_text_is_cut_to_4096_bytes_on_a_character_boundary) {
    SubtitleStyle style;
    bool truncated = false;
    std::string text =
        buildSubtitleText({entry(std::string(5000, 'a'))}, style, kTemplate, &truncated);
    EXPECT_TRUE(truncated);
    EXPECT_EQ(text.size(), 4096u);

    // 4095 ASCII bytes, then a three-byte character across the limit: it goes whole.
    std::string mixed = std::string(4095, 'a') + "\xEA\xB0\x80" + "tail";
    text = buildSubtitleText({entry(mixed)}, style, kTemplate, &truncated);
    EXPECT_TRUE(truncated);
    EXPECT_EQ(text, std::string(4095, 'a'));

    text = buildSubtitleText({entry(std::string(4096, 'b'))}, style, kTemplate, &truncated);
    EXPECT_FALSE(truncated);
    EXPECT_EQ(text.size(), 4096u);
}

TEST(SubtitleTextTest, colours_swap_red_and_blue_for_the_host) {
    EXPECT_EQ(argbToHostColor(0xFF00FF00u), 0xFF00FF00u);  // green stays
    EXPECT_EQ(argbToHostColor(0xFFFF0000u), 0xFF0000FFu);  // red moves to the low byte
    EXPECT_EQ(argbToHostColor(0x80123456u), 0x80563412u);
}

TEST(SubtitleTextTest, style_lands_in_the_text_source_keys) {
    SubtitleStyle style;
    style.fontFamily = "DejaVu Sans";
    style.fontSize = 36;
    style.textColor = 0xFFFF0000u;
    style.outlineWidth = 0;
    obs_data_t* settings = obs_data_create();
    applyStyleToSettings(style, settings);
    obs_data_t* font = obs_data_get_obj(settings, "font");
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(obs_data_get_string(font, "face"), "DejaVu Sans");
    EXPECT_EQ(obs_data_get_int(font, "size"), 36);
    EXPECT_EQ(obs_data_get_int(font, "flags"), 0);
    obs_data_release(font);
#ifdef _WIN32
    EXPECT_EQ(obs_data_get_int(settings, "color"), 0xFF0000FF);
    EXPECT_EQ(obs_data_get_int(settings, "align"), 0);
#else
    EXPECT_EQ(obs_data_get_int(settings, "color1"), 0xFF0000FF);
    EXPECT_EQ(obs_data_get_int(settings, "color2"), 0xFF0000FF);
#endif
    EXPECT_FALSE(obs_data_get_bool(settings, "outline"));
    style.outlineWidth = 3;
    applyStyleToSettings(style, settings);
    EXPECT_TRUE(obs_data_get_bool(settings, "outline"));
    obs_data_release(settings);
}

TEST(SubtitleTextTest, status_line_is_one_json_object) {
    EXPECT_EQ(rendererStatusJson("Sayline", 3, 1, 2, true),
              "{\"sourceName\":\"Sayline\",\"showCount\":3,\"updateCount\":1,\"clearCount\":2,"
              "\"isVisible\":true}");
    // A quote in a user-chosen name must not break the line.
    EXPECT_EQ(rendererStatusJson("my \"subs\"", 0, 0, 0, false),
              "{\"sourceName\":\"my \\\"subs\\\"\",\"showCount\":0,\"updateCount\":0,"
              "\"clearCount\":0,\"isVisible\":false}");
}

}  // namespace
}  // namespace obs_sayline
