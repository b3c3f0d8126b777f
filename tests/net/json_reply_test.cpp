#include "net/json_reply.h"

#include <gtest/gtest.h>

#include <limits>

namespace obs_sayline {
namespace {

TEST(JsonReply, empty_and_malformed_bodies_give_exact_messages) {
    auto empty = parseJsonReply("");
    ASSERT_TRUE(empty.isError());
    EXPECT_EQ(empty.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(empty.error().message, "Empty JSON string");

    auto bad = parseJsonReply("{\"text\": }");
    ASSERT_TRUE(bad.isError());
    EXPECT_EQ(bad.error().code, ErrorCode::ConfigParseError);
    EXPECT_EQ(bad.error().message.rfind(
                  "JSON parse error at position 10: [json.exception.parse_error.101]", 0),
              0u)
        << bad.error().message;

    auto good = parseJsonReply("{\"text\":\"hi\"}");
    ASSERT_TRUE(good.isSuccess());
    EXPECT_EQ(good.value()["text"], "hi");
}

TEST(JsonReply, string_member_only_reads_strings_of_objects) {
    auto doc = nlohmann::json::parse(R"({"a":"x","b":5})");
    EXPECT_EQ(stringMember(doc, "a").value_or("?"), "x");
    EXPECT_FALSE(stringMember(doc, "b").has_value());
    EXPECT_FALSE(stringMember(doc, "c").has_value());
    EXPECT_FALSE(stringMember(nlohmann::json("a"), "a").has_value());
}

TEST(JsonReply, seconds_truncate_to_milliseconds_and_saturate) {
    EXPECT_EQ(secondsToMs(2.5), 2500);
    EXPECT_EQ(secondsToMs(0.1234), 123);
    EXPECT_EQ(secondsToMs(-0.0015), -1);
    EXPECT_EQ(secondsToMs(1e300), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(secondsToMs(-1e300), std::numeric_limits<int64_t>::min());
}

}  // namespace
}  // namespace obs_sayline
