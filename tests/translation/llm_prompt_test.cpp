#include "translation/llm_prompt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace obs_sayline {
namespace {

using namespace translation_detail;

TEST(LlmPromptTest, keep_terms_are_cleaned_and_bounded) {
    EXPECT_EQ(boundedKeepTerms({" a ", "", "\t", "a", "b\r\nc", "\x7f"}),
              (std::vector<std::string>{"a", "b  c"}));
    EXPECT_EQ(keepTermsSentence({"  "}), "");

    std::vector<std::string> many;
    for (int i = 0; i < 150; ++i) many.push_back("t" + std::to_string(i));
    const auto byCount = boundedKeepTerms(many);
    ASSERT_EQ(byCount.size(), kMaxKeepTerms);
    EXPECT_EQ(byCount.back(), "t99");

    // A term that does not fit in the byte budget is left out; shorter ones after it still go.
    EXPECT_EQ(boundedKeepTerms({std::string(600, 'x'), std::string(401, 'y'), "z"}),
              (std::vector<std::string>{std::string(600, 'x'), "z"}));
}

}  // namespace
}  // namespace obs_sayline
