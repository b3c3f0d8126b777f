#include "dock/dock_model.h"

#include <gtest/gtest.h>

#include <string>

namespace obs_sayline {
namespace {

DockSourceRow row(uintptr_t source, std::string name) {
    DockSourceRow r;
    r.source = source;
    r.name = std::move(name);
    r.status = "Status: Listening";
    r.mark = StatusMark::Working;
    return r;
}

DockLine line(uintptr_t source, std::string original, bool interim = false,
              std::string translation = "") {
    DockLine l;
    l.source = source;
    l.time = "12:00:01";
    l.original = std::move(original);
    l.translation = std::move(translation);
    l.interim = interim;
    return l;
}

TEST(DockModelTest, RowsFollowTheSourcesAndReportChanges) {
    DockModel model;
    EXPECT_TRUE(model.setSources({row(1, "Host"), row(2, "Guest")}));
    EXPECT_FALSE(model.setSources({row(1, "Host"), row(2, "Guest")}));
    auto paused = row(2, "Guest");
    paused.paused = true;
    paused.mark = StatusMark::Held;
    EXPECT_TRUE(model.setSources({row(1, "Host"), paused}));
    ASSERT_EQ(model.sources().size(), 2u);
    EXPECT_TRUE(model.sources()[1].paused);
    ASSERT_NE(model.source(1), nullptr);
    EXPECT_EQ(model.source(1)->name, "Host");
    EXPECT_EQ(model.source(3), nullptr);
}

TEST(DockModelTest, InterimWordsAreReplacedByTheFinishedLine) {
    DockModel model;
    model.setSources({row(1, "Host"), row(2, "Guest")});
    model.add(line(1, "good mor", true));
    model.add(line(2, "hi", true));
    model.add(line(1, "good morning every", true));
    ASSERT_EQ(model.interim().size(), 2u);
    EXPECT_EQ(model.interim()[0].original, "hi");
    EXPECT_EQ(model.interim()[1].original, "good morning every");

    const uint64_t before = model.transcriptRevision();
    model.add(line(1, "Good morning everyone", false, "여러분 좋은 아침입니다"));
    EXPECT_GT(model.transcriptRevision(), before);
    ASSERT_EQ(model.interim().size(), 1u);
    EXPECT_EQ(model.interim()[0].source, 2u);
    ASSERT_EQ(model.finished().size(), 1u);
    EXPECT_EQ(model.finished()[0].sourceName, "Host");
    EXPECT_EQ(model.transcriptText(),
              "12:00:01 Host: Good morning everyone\n    여러분 좋은 아침입니다\n");

    // An empty interim line (capture stopped) only takes the words down.
    model.add(line(2, "", true));
    EXPECT_TRUE(model.interim().empty());
    EXPECT_EQ(model.finished().size(), 1u);
}

TEST(DockModelTest, KeepsTheLastTwoHundredFinishedLines) {
    DockModel model;
    model.setSources({row(1, "Host")});
    for (int i = 0; i < 250; ++i) model.add(line(1, "line " + std::to_string(i)));
    ASSERT_EQ(model.finished().size(), DockModel::kTranscriptLimit);
    EXPECT_EQ(model.finished().front().original, "line 50");
    EXPECT_EQ(model.finished().back().original, "line 249");
}

TEST(DockModelTest, ARemovedSourceLosesItsRowAndWordsButKeepsWhatItSaid) {
    DockModel model;
    model.setSources({row(1, "Host"), row(2, "Guest")});
    model.add(line(2, "Thanks for having me"));
    model.add(line(2, "and now", true));
    model.setSources({row(1, "Host")});
    EXPECT_EQ(model.source(2), nullptr);
    EXPECT_TRUE(model.interim().empty());
    ASSERT_EQ(model.finished().size(), 1u);
    EXPECT_EQ(model.finished()[0].sourceName, "Guest");
    // A late line of the source that went: kept when finished, its interim words dropped.
    model.add(line(2, "one more", true));
    EXPECT_TRUE(model.interim().empty());
    model.add(line(2, "Bye"));
    EXPECT_EQ(model.finished().size(), 2u);
}

}  // namespace
}  // namespace obs_sayline
