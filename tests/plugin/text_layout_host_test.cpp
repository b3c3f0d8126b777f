// Where the subtitle lands in the box, read back from rendered frames: a short line centred, a
// long one wrapped inside the box.

#include <gtest/gtest.h>
#include <obs.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "host/harness/obs_host.h"
#include "plugin_host_support.h"

namespace obs_sayline::test {
namespace {

using std::chrono::seconds;

constexpr uint32_t kBoxHeight = 160;

// Leaves a text for the renderer as a recognition result would.
void showText(obs_source_t* source, const std::string& text) {
    recordOf(source)->sceneText->leave(text);
}

// Groups of consecutive rows with bright pixels: one per drawn line of text.
int litRowBands(const Frame& frame, uint32_t maxY) {
    int bands = 0;
    bool inBand = false;
    for (uint32_t y = 0; y < frame.height && y < maxY; ++y) {
        bool lit = false;
        for (uint32_t x = 0; x < frame.width && !lit; ++x) {
            const uint8_t* p = frame.pixel(x, y);
            lit = p[0] > 180 && p[1] > 180 && p[2] > 180;
        }
        if (lit && !inBand) ++bands;
        inBand = lit;
    }
    return bands;
}

class TextLayoutHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        obs_data_t* settings = obs_data_create();
        // Small enough that two lines fit the 160-pixel box unscaled.
        obs_data_set_int(settings, "font_size", 5);
        obs_data_set_int(settings, "subtitle_duration", 10000);
        source_ = obs_source_create("sayline_source", "layout", settings, nullptr);
        obs_data_release(settings);
        ASSERT_NE(source_, nullptr);
        scene_ = obs_scene_create("sayline layout scene");
        obs_scene_add(scene_, source_);
        obs_set_output_source(0, obs_scene_get_source(scene_));
    }
    void TearDown() override {
        obs_set_output_source(0, nullptr);
        obs_scene_release(scene_);
        obs_source_release(source_);
    }

    obs_source_t* source_ = nullptr;
    obs_scene_t* scene_ = nullptr;
};

TEST_F(TextLayoutHostTest, short_line_is_centred_and_long_line_wraps_inside_the_box) {
    showText(source_, "HI THERE");
    Frame last;
    auto shortFrame = FrameGrabber::waitFor(
        [](const Frame& f) { return brightPixels(f, f.height).count > 50; }, seconds(5), &last);
    ASSERT_TRUE(shortFrame.has_value()) << "nothing drawn";
    const PixelBox shortBox = brightPixels(*shortFrame, shortFrame->height);
    EXPECT_LT(shortBox.bottom, kBoxHeight);
    const int leftMargin = static_cast<int>(shortBox.left);
    const int rightMargin = static_cast<int>(shortFrame->width - 1 - shortBox.right);
    EXPECT_LE(std::abs(leftMargin - rightMargin), 8)
        << "text spans " << shortBox.left << ".." << shortBox.right;
    EXPECT_GT(leftMargin, 300);  // a short line, not a box-wide texture
    EXPECT_EQ(litRowBands(*shortFrame, shortFrame->height), 1);

    // Far wider than the box unwrapped: drawn on several lines, all inside the box.
    showText(source_,
             "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG AND THEN RUNS BACK HOME AGAIN "
             "BEFORE THE SUN SETS OVER THE HILLS");
    auto longFrame = FrameGrabber::waitFor(
        [](const Frame& f) { return litRowBands(f, f.height) >= 2; }, seconds(5), &last);
    ASSERT_TRUE(longFrame.has_value()) << "never drawn on more than one line";
    const PixelBox longBox = brightPixels(*longFrame, longFrame->height);
    EXPECT_LT(longBox.bottom, kBoxHeight);
    EXPECT_GT(longBox.bottom - longBox.top, 1.5 * (shortBox.bottom - shortBox.top));
    EXPECT_LT(longBox.right, longFrame->width);

    // The next short text is unwrapped again, so it is centred again.
    showText(source_, "BYE");
    auto againFrame = FrameGrabber::waitFor(
        [](const Frame& f) {
            const PixelBox box = brightPixels(f, f.height);
            return box.count > 20 && litRowBands(f, f.height) == 1;
        },
        seconds(5), &last);
    ASSERT_TRUE(againFrame.has_value());
    const PixelBox againBox = brightPixels(*againFrame, againFrame->height);
    const int againLeft = static_cast<int>(againBox.left);
    const int againRight = static_cast<int>(againFrame->width - 1 - againBox.right);
    EXPECT_LE(std::abs(againLeft - againRight), 8)
        << "text spans " << againBox.left << ".." << againBox.right;
}

// A Sayline source drawn alone on channel 0 of a canvas of the given size.
struct ShownSource {
    ShownSource(int fontSize, uint32_t canvasWidth, uint32_t canvasHeight) {
        EXPECT_TRUE(ObsHost::instance().resetCanvas(canvasWidth, canvasHeight));
        obs_data_t* settings = obs_data_create();
        obs_data_set_int(settings, "font_size", fontSize);
        obs_data_set_int(settings, "subtitle_duration", 10000);
        source = obs_source_create("sayline_source", "sized", settings, nullptr);
        obs_data_release(settings);
        obs_set_output_source(0, source);
    }
    ~ShownSource() {
        obs_set_output_source(0, nullptr);
        obs_source_release(source);
        ObsHost::instance().resetCanvas(kHostCanvasWidth, kHostCanvasHeight);
    }
    obs_source_t* source = nullptr;
};

constexpr const char* kWiderThanTheBox =
    "EVERY SIZE THE SHEET OFFERS KEEPS THE HOST DRAWING, EVEN WHEN A SUBTITLE IS FAR WIDER "
    "THAN THE BOX AND HAS TO BE BROKEN INTO ROWS OR SHRUNK";

TEST(TextSizeHostTest, every_offered_font_size_keeps_drawing_inside_the_box) {
    for (const uint32_t canvasWidth : {1280u, 1920u}) {
        const uint32_t canvasHeight = canvasWidth * 9 / 16;
        for (const int fontSize : {5, 48, 49, 60, 72}) {
            SCOPED_TRACE("canvas " + std::to_string(canvasWidth) + ", font size " +
                         std::to_string(fontSize));
            ShownSource shown(fontSize, canvasWidth, canvasHeight);
            showText(shown.source, kWiderThanTheBox);
            Frame last;
            auto drawn = FrameGrabber::waitFor(
                [](const Frame& f) { return brightPixels(f, f.height).count > 200; }, seconds(5),
                &last);
            ASSERT_TRUE(drawn.has_value()) << "nothing drawn";
            // Frames keep coming while the text stays up, and it stays inside the box.
            for (int i = 0; i < 3; ++i) {
                auto frame = FrameGrabber::next(seconds(5));
                ASSERT_TRUE(frame.has_value()) << "the host stopped drawing";
                EXPECT_EQ(frame->width, canvasWidth);
                const PixelBox box = brightPixels(*frame, frame->height);
                EXPECT_GT(box.count, 200);
                EXPECT_LT(box.bottom, kBoxHeight);
            }
        }
    }
}

TEST(TextSizeHostTest, many_different_characters_over_time_are_all_still_drawn) {
    ShownSource shown(24, kHostCanvasWidth, kHostCanvasHeight);
    // Far more characters beyond basic Latin than the host source can keep glyphs for at
    // once, forty at a time, as a long session would show them.
    std::vector<std::string> texts;
    std::string text;
    int inText = 0;
    for (char32_t c = 0x100; c < 0x100 + 480; ++c) {
        char utf8[3] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)),
                        0};
        text += utf8;
        if (++inText == 40) {
            texts.push_back(text);
            text.clear();
            inText = 0;
        }
    }
    for (const std::string& each : texts) {
        showText(shown.source, each);
        auto drawn = FrameGrabber::waitFor(
            [](const Frame& f) { return brightPixels(f, f.height).count > 500; }, seconds(5));
        ASSERT_TRUE(drawn.has_value()) << "a subtitle went blank: " << each;
    }
}

}  // namespace
}  // namespace obs_sayline::test
