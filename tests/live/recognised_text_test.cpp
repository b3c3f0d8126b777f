// What becomes of recognised text: the phantom filter and the display text.

#include "live/recognised_text.h"

#include <gtest/gtest.h>

namespace obs_sayline {
namespace {

TEST(PhantomFilterTest, drops_empty_unsure_and_invented_phrases_byte_wise) {
    EXPECT_TRUE(isPhantomResult("", 1.0f));
    EXPECT_TRUE(isPhantomResult("real words", 0.149f));
    EXPECT_FALSE(isPhantomResult("real words", 0.15f));

    EXPECT_TRUE(isPhantomResult("Thanks for watching and see you", 0.9f));
    EXPECT_FALSE(isPhantomResult("thanks for watching", 0.9f));  // case matters
    EXPECT_TRUE(isPhantomResult("자막 제공", 0.9f));
    EXPECT_TRUE(isPhantomResult("오늘 자막 제공은 누구입니다", 0.9f));
    EXPECT_FALSE(isPhantomResult("자막", 0.9f));  // shorter than any phrase it starts

    ASSERT_EQ(phantomPhrases().size(), 21u);
    EXPECT_EQ(phantomPhrases().front(), "시청해주셔서 감사합니다");
    EXPECT_EQ(phantomPhrases()[12], "MBC 뉴스");
    EXPECT_EQ(phantomPhrases().back(), "Subtitles by");
}

TEST(DisplayTextTest, translation_replaces_or_follows_the_original) {
    EXPECT_EQ(composeDisplayText("안녕", "Hello", true, true), "안녕\nHello");
    EXPECT_EQ(composeDisplayText("안녕", "Hello", true, false), "Hello");
    EXPECT_EQ(composeDisplayText("안녕", "", true, true), "안녕");
    EXPECT_EQ(composeDisplayText("안녕", "Hello", false, true), "안녕");
}

}  // namespace
}  // namespace obs_sayline
