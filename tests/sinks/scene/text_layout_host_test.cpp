// Where the subtitle lands in the box, read back from rendered frames: each row centred, rows
// as large as the box allows, long text in two rows or in parts, readable (by OCR), the
// background behind the rows only.

#include <gtest/gtest.h>
#include <obs.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/obs_host.h"
#include "plugin/plugin_host_support.h"

namespace obs_sayline::test {
namespace {

using std::chrono::seconds;

constexpr uint32_t kBoxHeight = 160;

// Leaves a text for the scene as a recognition result would, and returns once the video tick
// has written it into the rows and frames drawn before that have gone by (frames reach the
// test a few ticks late).
void showText(obs_source_t* source, const std::string& text) {
    recordOf(source)->scene->leave(text);
    EXPECT_TRUE(waitUntil([&] { return !recordOf(source)->scene->dirty(); }, seconds(5)));
    FrameGrabber::next(seconds(5), 4);
}

// Each group of consecutive pixel rows with bright pixels, above `maxY`: one per drawn row of
// text.
std::vector<PixelBox> rowBands(const Frame& frame, uint32_t maxY) {
    std::vector<PixelBox> bands;
    bool inBand = false;
    for (uint32_t y = 0; y < frame.height && y < maxY; ++y) {
        bool lit = false;
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint8_t* p = frame.pixel(x, y);
            if (p[0] <= 180 || p[1] <= 180 || p[2] <= 180) continue;
            if (!lit && !inBand) bands.emplace_back();
            lit = true;
            PixelBox& band = bands.back();
            ++band.count;
            band.left = std::min(band.left, x);
            band.right = std::max(band.right, x);
            band.top = std::min(band.top, y);
            band.bottom = std::max(band.bottom, y);
        }
        inBand = lit;
    }
    return bands;
}

int litRowBands(const Frame& frame, uint32_t maxY) {
    return static_cast<int>(rowBands(frame, maxY).size());
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
    using Configure = std::function<void(obs_data_t*)>;
    // Settings as `configure` leaves them (the defaults for what it does not set).
    ShownSource(uint32_t canvasWidth, uint32_t canvasHeight, const Configure& configure) {
        EXPECT_TRUE(ObsHost::instance().resetCanvas(canvasWidth, canvasHeight));
        obs_data_t* settings = obs_data_create();
        configure(settings);
        source = obs_source_create("sayline_source", "sized", settings, nullptr);
        obs_data_release(settings);
        obs_set_output_source(0, source);
    }
    ShownSource(int fontSize, uint32_t canvasWidth, uint32_t canvasHeight)
        : ShownSource(canvasWidth, canvasHeight, [fontSize](obs_data_t* settings) {
              obs_data_set_int(settings, "font_size", fontSize);
              obs_data_set_int(settings, "subtitle_duration", 10000);
          }) {}
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

constexpr const char* kTwoLanguages = "Good evening everyone\nSelamat malam semuanya";

void defaultSettings(obs_data_t*) {}

// The first frame that shows `rows` rows of text, once `source` has drawn rows (frames still
// on their way from an earlier test may show rows too).
std::optional<Frame> frameWithRows(obs_source_t* source, size_t rows) {
    SubtitleSourceData* data = recordOf(source);
    const bool drawn = waitUntil(
        [&] {
            bool shown = false;
            betweenVideoTicks([&] {  // the timeline is the video tick's
                const auto& drawn = data->scene->timeline().drawn;
                shown = drawn && !drawn->part.rows.empty();
            });
            return shown;
        },
        seconds(5));
    if (!drawn) return std::nullopt;
    return FrameGrabber::waitFor(
        [rows](const Frame& f) {
            return rowBands(f, f.height).size() == rows && brightPixels(f, f.height).count > 200;
        },
        seconds(5));
}

// Distance of a band's middle from the middle of the canvas (the box spans its width).
double offCentre(const PixelBox& band, const Frame& frame) {
    return std::abs(band.centreX() - (frame.width - 1) / 2.0);
}

TEST(ReadableLayoutHostTest, two_languages_are_two_centred_rows_as_large_as_the_box_allows) {
    for (const uint32_t canvasWidth : {1920u, 1280u}) {
        SCOPED_TRACE("canvas width " + std::to_string(canvasWidth));
        ShownSource shown(canvasWidth, canvasWidth * 9 / 16, defaultSettings);
        showText(shown.source, kTwoLanguages);
        auto frame = frameWithRows(shown.source, 2);
        ASSERT_TRUE(frame.has_value()) << "never drawn as two rows";
        const std::vector<PixelBox> bands = rowBands(*frame, frame->height);
        for (const PixelBox& band : bands) {
            EXPECT_LE(offCentre(band, *frame), 8.0) << band.left << ".." << band.right;
            EXPECT_GE(band.bottom - band.top + 1, 40u);
            EXPECT_LT(band.bottom, kBoxHeight);
        }
        // The rows were laid out with the widths the host text sources then reported.
        SubtitleSourceData* data = recordOf(shown.source);
        std::optional<SceneTimeline::Rows> drawn;
        betweenVideoTicks([&] { drawn = data->scene->timeline().drawn; });
        ASSERT_TRUE(drawn.has_value());
        const SubtitlePart part = drawn->part;
        ASSERT_EQ(part.rows.size(), 2u);
        for (size_t i = 0; i < part.rows.size(); ++i) {
            obs_source_t* row = data->rows->row(i)->acquire();
            EXPECT_EQ(obs_source_get_width(row), static_cast<uint32_t>(part.rows[i].size.width))
                << part.rows[i].text;
            obs_source_release(row);
        }
    }
}

TEST(ReadableLayoutHostTest, a_long_sentence_takes_at_most_two_readable_rows_at_a_time) {
    ShownSource shown(1920, 1080, [](obs_data_t* settings) {
        obs_data_set_int(settings, "subtitle_duration", 2000);
    });
    showText(shown.source,
             "The committee decided this morning that the new bridge across the river will open "
             "to traffic next spring after the final safety checks");
    // Every frame until it is gone: one or two rows (more only as successive parts).
    int shownFrames = 0;
    Frame last;
    auto gone = FrameGrabber::waitFor(
        [&](const Frame& f) {
            const std::vector<PixelBox> bands = rowBands(f, kBoxHeight);
            if (bands.empty()) return shownFrames > 0;
            ++shownFrames;
            EXPECT_LE(bands.size(), 2u);
            for (const PixelBox& band : bands) {
                EXPECT_GE(band.bottom - band.top + 1, 40u);
                EXPECT_LE(offCentre(band, f), 8.0);
            }
            return false;
        },
        seconds(30), &last);
    EXPECT_TRUE(gone.has_value()) << "not shown, or still shown after its display time";
}

// What the video tick has on screen: the part, and how many the subtitle has (none when no
// subtitle is up).
struct OnScreen {
    size_t part = 0;
    size_t parts = 0;
};

OnScreen onScreen(obs_source_t* source) {
    SubtitleSourceData* data = recordOf(source);
    OnScreen seen;
    betweenVideoTicks([&] {  // the timeline is the video tick's
        const SceneTimeline& timeline = data->scene->timeline();
        if (timeline.visible && timeline.subtitle) {
            seen.part = timeline.part;
            seen.parts = timeline.subtitle->parts.size();
        }
    });
    return seen;
}

TEST(ReadableLayoutHostTest, text_too_long_for_readable_rows_comes_in_parts_within_its_time) {
    using Clock = std::chrono::steady_clock;
    ShownSource shown(1920, 1080, [](obs_data_t* settings) {
        obs_data_set_int(settings, "subtitle_duration", 2000);
    });
    std::string unbroken;  // no space to break at: only parts keep its rows readable
    for (int i = 0; i < 20; ++i) unbroken += "Readability";
    recordOf(shown.source)->scene->leave(unbroken);  // timed from here, frames aside

    // Its parts in turn, within its display time.
    ASSERT_TRUE(waitUntil([&] { return onScreen(shown.source).parts > 0; }, seconds(5)));
    const Clock::time_point up = Clock::now();
    const size_t parts = onScreen(shown.source).parts;
    EXPECT_GE(parts, 2u);
    std::vector<size_t> seen;
    for (OnScreen now = onScreen(shown.source); now.parts > 0; now = onScreen(shown.source)) {
        if (seen.empty() || seen.back() != now.part) seen.push_back(now.part);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto upFor = Clock::now() - up;
    std::vector<size_t> inTurn(parts);
    for (size_t i = 0; i < parts; ++i) inTurn[i] = i;
    EXPECT_EQ(seen, inTurn);
    EXPECT_GE(upFor, std::chrono::milliseconds(1900));
    EXPECT_LT(upFor, std::chrono::milliseconds(3000));  // each part for 2 s would take 4 s

    // Each part's rows are drawn readable and centred.
    showText(shown.source, unbroken);
    auto frame = FrameGrabber::waitFor(
        [](const Frame& f) { return !rowBands(f, kBoxHeight).empty(); }, seconds(5));
    ASSERT_TRUE(frame.has_value());
    for (const PixelBox& band : rowBands(*frame, kBoxHeight)) {
        // Drawn at 40 px or more; the bright core of capitals and descenders a little less.
        EXPECT_GE(band.bottom - band.top + 1, 36u);
        EXPECT_LE(offCentre(band, *frame), 8.0);
    }
}

// The words of a text in lower case, without punctuation.
std::set<std::string> plainWords(const std::string& text) {
    std::set<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        std::string plain;
        for (const char c : word) {
            if (std::isalpha(static_cast<unsigned char>(c))) {
                plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        if (!plain.empty()) words.insert(plain);
    }
    return words;
}

// Words tesseract reads in the subtitle box of a frame.
std::set<std::string> ocrWords(const Frame& frame) {
    return plainWords(ocrText(frame, kBoxHeight, "eng"));
}

TEST(ReadableLayoutHostTest, ten_words_in_each_of_two_languages_read_back_by_ocr_in_every_frame) {
    ASSERT_EQ(std::system("tesseract --version >/dev/null 2>&1"), 0)
        << "tesseract is missing (scripts/deps.sh installs it)";
    const std::string text =
        "The weather will be sunny and warm across the country\n"
        "Cuaca akan cerah dan hangat di seluruh wilayah negeri ini";
    const std::set<std::string> expected = plainWords(text);
    ShownSource shown(1920, 1080, defaultSettings);
    showText(shown.source, text);
    // Every distinct picture shown until the subtitle is gone; at this size each shows all of
    // it (one part).
    std::vector<Frame> pictures;
    auto gone = FrameGrabber::waitFor(
        [&](const Frame& f) {
            if (brightPixels(f, kBoxHeight).count == 0) return !pictures.empty();
            const auto sameRows = [&](const Frame& seen) {
                return std::equal(seen.bgra.begin(), seen.bgra.begin() + f.width * kBoxHeight * 4,
                                  f.bgra.begin());
            };
            if (std::none_of(pictures.begin(), pictures.end(), sameRows)) pictures.push_back(f);
            return false;
        },
        seconds(30));
    ASSERT_TRUE(gone.has_value());
    ASSERT_FALSE(pictures.empty());
    for (const Frame& picture : pictures) {
        const std::set<std::string> read = ocrWords(picture);
        size_t found = 0;
        for (const std::string& word : expected) found += read.count(word);
        EXPECT_GE(found, expected.size() - 1) << "read: " << ::testing::PrintToString(read);
    }
}

// Pixels of the background colour below (opaque RGB 0, 128, 255).
bool isBackground(const uint8_t* p) { return p[0] > 220 && p[1] > 90 && p[1] < 170 && p[2] < 40; }

TEST(ReadableLayoutHostTest, background_covers_the_rows_with_a_margin_and_goes_with_them) {
    ShownSource shown(1920, 1080, [](obs_data_t* settings) {
        obs_data_set_bool(settings, "background_enabled", true);
        obs_data_set_int(settings, "background_color", 0xFFFF8000);  // 0xAABBGGRR
        obs_data_set_int(settings, "subtitle_duration", 1500);
    });
    showText(shown.source, kTwoLanguages);
    auto frame = frameWithRows(shown.source, 2);
    ASSERT_TRUE(frame.has_value());
    const PixelBox text = brightPixels(*frame, frame->height);
    PixelBox background;
    for (uint32_t y = 0; y < frame->height; ++y) {
        for (uint32_t x = 0; x < frame->width; ++x) {
            if (!isBackground(frame->pixel(x, y))) continue;
            background.left = std::min(background.left, x);
            background.right = std::max(background.right, x);
            background.top = std::min(background.top, y);
            background.bottom = std::max(background.bottom, y);
        }
    }
    // Around the rows with the padding (10 px by default), not across the whole box.
    EXPECT_LE(background.left + 6, text.left);
    EXPECT_GE(background.right, text.right + 6);
    EXPECT_LE(background.top + 4, text.top);
    EXPECT_GE(background.bottom, text.bottom + 4);
    EXPECT_LT(background.bottom, kBoxHeight);
    EXPECT_GT(background.left, 100u);
    EXPECT_TRUE(isBackground(frame->pixel(text.left - 4, (text.top + text.bottom) / 2)));

    // Once the subtitle's time is up, nothing is left of it, background included.
    auto cleared = FrameGrabber::waitFor(
        [](const Frame& f) {
            for (uint32_t y = 0; y < kBoxHeight; ++y) {
                for (uint32_t x = 0; x < f.width; x += 4) {
                    if (isBackground(f.pixel(x, y))) return false;
                }
            }
            return brightPixels(f, f.height).count == 0;
        },
        seconds(5));
    EXPECT_TRUE(cleared.has_value());
}

}  // namespace
}  // namespace obs_sayline::test
