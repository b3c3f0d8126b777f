#include "sinks/captions/cea608_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace obs_sayline {
namespace {

std::string carried(const std::string& text) { return toCea608Characters(text).text; }

TEST(Cea608TextTest, accents_608_has_stay_others_become_their_base_letter) {
    EXPECT_EQ(carried("Ça va très bien, señor Müller: Straße, Øresund, «oui»"),
              "Ça va très bien, señor Müller: Straße, Øresund, «oui»");
    EXPECT_EQ(carried("Nguyễn Văn Thắng ở Đà Nẵng"), "Nguyen Van Thang o Dà Nang");
    EXPECT_EQ(carried("Łódź, Dvořák, Şişli, Ærø, cœur"), "Lódz, Dvorák, Sisli, AErø, coeur");
    EXPECT_EQ(carried("cafe\xCC\x81"), "cafe");  // a combining accent 608 cannot place
}

TEST(Cea608TextTest, symbols_get_plain_spellings_and_the_rest_is_dropped) {
    EXPECT_EQ(carried("Wait… “don't” – 5 €"), "Wait... “don’t” - 5 EUR");
    EXPECT_EQ(carried("  Hi \xF0\x9F\x91\x8B\tthere\n\xE3\x80\x80 friend  "), "Hi there friend");
    EXPECT_EQ(carried(std::string{'a', '\xFF', 'b', '\xC3'}), "ab");  // bytes that are not UTF-8
    EXPECT_EQ(carried("\xEF\xBC\xA8\xEF\xBD\x89!"), "Hi!");           // full-width forms
}

TEST(Cea608TextTest, scripts_608_cannot_carry_are_refused_whole) {
    for (const auto& [text, script] :
         std::vector<std::pair<std::string, std::string>>{{"안녕하세요 여러분", "Hangul"},
                                                          {"こんにちは", "Hiragana"},
                                                          {"你好", "Han"},
                                                          {"Привет", "Cyrillic"},
                                                          {"Hello 世界", "Han"}}) {
        const Cea608Characters result = toCea608Characters(text);
        EXPECT_EQ(result.refusedScript, script) << text;
        EXPECT_EQ(result.text, "") << text;
    }
    EXPECT_EQ(toCea608Characters("Plain English").refusedScript, "");
}

TEST(Cea608TextTest, rows_of_32_break_at_words_and_pair_into_captions) {
    EXPECT_EQ(
        cea608Captions("This subtitle is long enough that it needs more than two rows of "
                       "closed captions"),
        (std::vector<std::string>{"This subtitle is long enough\nthat it needs more than two rows",
                                  "of closed captions"}));
    EXPECT_EQ(cea608Captions("Short one"), std::vector<std::string>{"Short one"});
    EXPECT_EQ(cea608Captions(""), std::vector<std::string>{});
    // A word longer than a row is cut where the row is full.
    EXPECT_EQ(cea608Captions("Supercalifragilisticexpialidocious!!"),
              std::vector<std::string>{"Supercalifragilisticexpialidocio\nus!!"});
    // Rows count characters, not bytes.
    EXPECT_EQ(cea608Captions("àààààààààààààààààààààààààààààààà b"),
              std::vector<std::string>{"àààààààààààààààààààààààààààààààà\nb"});
}

TEST(Cea608TextTest, two_rows_past_the_hosts_128_bytes_go_out_as_two_captions) {
    std::string row;
    for (int i = 0; i < 32; ++i) row += "\xE2\x99\xAA";  // eighth note, 3 bytes each
    const std::vector<std::string> captions = cea608Captions(row + " " + row);
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions[0], row);
    EXPECT_EQ(captions[1], row);
    EXPECT_LE(captions[0].size(), kCaptionTextBytes);
}

}  // namespace
}  // namespace obs_sayline
