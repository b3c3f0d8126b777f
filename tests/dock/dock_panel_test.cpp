#include "dock/dock_panel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QPushButton>

#include <memory>
#include <utility>
#include <vector>

namespace obs_sayline {
namespace {

// One application for the process, on Qt's offscreen platform (the test's environment).
QApplication& application() {
    static int argc = 1;
    static char name[] = "dock_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

DockSourceRow row(uintptr_t source, std::string name, std::string speaker = "") {
    DockSourceRow r;
    r.source = source;
    r.name = std::move(name);
    r.speaker = std::move(speaker);
    r.status = "Status: Listening";
    r.mark = StatusMark::Working;
    return r;
}

DockLine line(uintptr_t source, std::string original, bool interim = false) {
    DockLine l;
    l.source = source;
    l.time = "09:30:00";
    l.original = std::move(original);
    l.interim = interim;
    return l;
}

TEST(DockPanelTest, ShowsRowsTranscriptAndCopies) {
    application();
    std::vector<std::pair<uintptr_t, bool>> pauses;
    std::vector<uintptr_t> clears;
    DockActions actions;
    actions.setPaused = [&](uintptr_t source, bool paused) { pauses.emplace_back(source, paused); };
    actions.clear = [&](uintptr_t source) { clears.push_back(source); };
    DockPanel panel(actions);

    DockModel model;
    model.setSources({row(1, "Subtitles", "Alice"), row(2, "Guest")});
    model.add(line(1, "Hello there"));
    model.add(line(2, "and wel", true));
    panel.showModel(model);
    EXPECT_TRUE(panel.rowText(0).contains("Subtitles"));
    EXPECT_TRUE(panel.rowText(0).contains("Alice"));
    EXPECT_TRUE(panel.rowText(0).contains("Status: Listening"));
    EXPECT_FALSE(panel.rowText(1).contains("&mdash;"));
    EXPECT_EQ(panel.transcriptPlainText(), QString("09:30:00 Subtitles: Hello there\nGuest: and wel"));

    // The buttons ask for the source of their row; a paused source offers "Resume".
    panel.pauseButton(1)->click();
    panel.clearButton(0)->click();
    ASSERT_EQ(pauses.size(), 1u);
    EXPECT_EQ(pauses[0], std::make_pair(uintptr_t{2}, true));
    EXPECT_EQ(clears, std::vector<uintptr_t>{1});
    auto paused = row(2, "Guest");
    paused.paused = true;
    model.setSources({row(1, "Subtitles", "Alice"), paused});
    panel.showModel(model);
    EXPECT_EQ(panel.pauseButton(1)->text(), QString("Dock.Resume"));
    panel.pauseButton(1)->click();
    EXPECT_EQ(pauses.back(), std::make_pair(uintptr_t{2}, false));

    // The finished line replaces the grey words; "Copy" takes the finished lines.
    model.add(line(2, "and welcome"));
    panel.showModel(model);
    EXPECT_EQ(panel.transcriptPlainText(),
              QString("09:30:00 Subtitles: Hello there\n09:30:00 Guest: and welcome"));
    panel.copyButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString("09:30:00 Subtitles: Hello there\n09:30:00 Guest: and welcome\n"));

    // A source removed: its row goes, what it said stays.
    model.setSources({row(1, "Subtitles", "Alice")});
    panel.showModel(model);
    EXPECT_EQ(panel.pauseButton(1), nullptr);
    EXPECT_TRUE(panel.transcriptPlainText().contains("Guest: and welcome"));
}

}  // namespace
}  // namespace obs_sayline
