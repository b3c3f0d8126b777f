#include "stt/stt_statistics.h"

#include <gtest/gtest.h>

namespace obs_sayline {
namespace {

TEST(SttStatistics, text_has_fixed_member_order_and_one_decimal) {
    SttStatistics stats;
    EXPECT_EQ(
        stats.toText(),
        R"({"requests":0,"successes":0,"errors":0,"averageLatencyMs":0.0,"successRate":0.0})");
    for (int i = 0; i < 4; ++i) stats.countRequest();
    for (int i = 0; i < 3; ++i) stats.countSuccess();
    stats.countError();
    stats.addLatency(2000);
    stats.addLatency(530);
    EXPECT_EQ(
        stats.toText(),
        R"({"requests":4,"successes":3,"errors":1,"averageLatencyMs":632.5,"successRate":75.0})");
    EXPECT_EQ(stats.toText(R"("engine":"x",)").rfind(R"({"engine":"x","requests":4,)", 0), 0u);
}

}  // namespace
}  // namespace obs_sayline
