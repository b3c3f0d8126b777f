// The scene text's own rules: a subtitle handed over once, lines cut to length, placement in
// the box, and display time.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/utf8_text.h"
#include "live/request_recognition.h"
#include "plugin/scripted_engine.h"
#include "sinks/scene/recorded_rows.h"
#include "sinks/scene/scene_text_sink.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

// The display text the tick would take next.
std::optional<std::string> takenText(SceneTextSink& scene) {
    std::optional<SubtitleLayout> taken = scene.takePending();
    if (!taken) return std::nullopt;
    return taken->text;
}

TEST(DisplayTextTest, a_result_is_handed_over_once_and_an_orphaned_source_drops_it) {
    SceneTextSink scene(std::make_shared<test::RecordedRows>());
    FinishedSubtitle one;
    one.text = one.original = "one";
    scene.deliver(one);
    FinishedSubtitle two;
    two.text = two.translation = "zwei";
    two.original = "two";
    scene.deliver(two);
    EXPECT_EQ(takenText(scene), std::optional<std::string>("zwei"));
    EXPECT_EQ(takenText(scene), std::nullopt);
    EXPECT_EQ(scene.originalText(), "two");

    scene.deliver(FinishedSubtitle{});  // nothing to show
    EXPECT_EQ(takenText(scene), std::nullopt);

    // A worker that finishes after its source is gone drops the result.
    auto sinks = std::make_shared<SubtitleSinks>();
    auto late = std::make_shared<SceneTextSink>(std::make_shared<test::RecordedRows>());
    sinks->add(late);
    SourceShared shared;
    shared.orphaned = true;
    RecognitionSetup setup;
    setup.engine = std::make_shared<test::ScriptedEngine>();
    SpeechChunk chunk;
    chunk.samples.assign(1600, 0.2f);
    HostLogCapture::instance().clear();
    recognizeChunk(shared, setup, *sinks, chunk);
    EXPECT_EQ(late->originalText(), "");
    EXPECT_EQ(takenText(*late), std::nullopt);
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [STT] Source is gone, result dropped"));
}

TEST(DisplayTextTest, lines_are_cut_at_the_longest_length_on_character_boundaries) {
    EXPECT_EQ(limitLineLength("abcdef\nxy", 3), "abc\nxy");
    EXPECT_EQ(limitLineLength("가나다라", 2), "가나");  // three bytes each, never split
    EXPECT_EQ(limitLineLength("ab\xE0\x80", 3), "ab\xE0");  // a broken character counts as one
    SceneTextSink scene(std::make_shared<test::RecordedRows>());
    scene.setMaxLineLength(50);
    FinishedSubtitle huge;
    huge.text = std::string(400 * 1024, 'w');
    scene.deliver(huge);
    EXPECT_EQ(takenText(scene), std::optional<std::string>(std::string(50, 'w')));
}

TEST(TextPlacementTest, large_texture_is_shrunk_to_fill_the_box) {
    const TextPlacement p = placeText(1920, 160, 3840, 320);
    EXPECT_TRUE(p.scaled);
    EXPECT_FLOAT_EQ(p.scale, 0.5f);
    EXPECT_FLOAT_EQ(p.x, 0.0f);
    EXPECT_FLOAT_EQ(p.y, 0.0f);
}

TEST(TextPlacementTest, small_texture_is_centred_unscaled) {
    const TextPlacement p = placeText(1920, 160, 800, 100);
    EXPECT_FALSE(p.scaled);
    EXPECT_FLOAT_EQ(p.x, 560.0f);
    EXPECT_FLOAT_EQ(p.y, 30.0f);
}

TEST(TextPlacementTest, texture_too_tall_only_is_scaled_by_height) {
    const TextPlacement p = placeText(1280, 160, 1284, 244);
    EXPECT_TRUE(p.scaled);
    EXPECT_FLOAT_EQ(p.scale, 160.0f / 244.0f);
    EXPECT_NEAR(p.x, (1280.0f - 1284.0f * p.scale) / 2, 1e-3);
    EXPECT_NEAR(p.y, 0.0f, 1e-3);
}

TEST(DisplayTimeTest, subtitle_expires_at_whole_milliseconds) {
    const auto t = std::chrono::steady_clock::time_point(std::chrono::seconds(100));
    EXPECT_FALSE(subtitleExpired(t, t + std::chrono::microseconds(2999999), 3000));
    EXPECT_TRUE(subtitleExpired(t, t + std::chrono::milliseconds(3000), 3000));
    // A second text at t + 2000 restarts the timer: still up at t + 4999.
    const auto second = t + std::chrono::milliseconds(2000);
    EXPECT_FALSE(subtitleExpired(second, t + std::chrono::milliseconds(4999), 3000));
    EXPECT_TRUE(subtitleExpired(second, t + std::chrono::milliseconds(5000), 3000));
}

}  // namespace
}  // namespace obs_sayline
