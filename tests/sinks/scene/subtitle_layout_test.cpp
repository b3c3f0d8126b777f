// Laying out a subtitle for the box (rows, breaks, parts in time) and placing a part's rows,
// with a 40 px font whose characters are all 10 px wide.

#include "sinks/scene/subtitle_layout.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sinks/scene/subtitle_layout.h"

namespace obs_sayline {
namespace {

class EvenFont final : public IRowMeasure {
public:
    RowSize measure(const std::string& row, const std::string&) override {
        RowSize size;
        size.width = static_cast<int>(row.size()) * 10 + 4;
        size.baseline = 40;
        size.ascent = 30;
        size.descent = 10;
        return size;
    }
    int fontSize() override { return 40; }
};

std::vector<std::string> rowTexts(const SubtitlePart& part) {
    std::vector<std::string> texts;
    for (const LaidOutRow& row : part.rows) texts.push_back(row.text);
    return texts;
}

// The words of every row of every part, in reading order, that start with `prefix`.
std::vector<std::string> wordsInOrder(const SubtitleLayout& layout, char prefix) {
    std::vector<std::string> words;
    for (const SubtitlePart& part : layout.parts) {
        for (const LaidOutRow& row : part.rows) {
            std::istringstream in(row.text);
            for (std::string word; in >> word;) {
                if (word[0] == prefix) words.push_back(word);
            }
        }
    }
    return words;
}

std::string numbered(char prefix, int count, std::vector<std::string>* words) {
    std::string line;
    for (int i = 1; i <= count; ++i) {
        const std::string word = prefix + std::to_string(i);
        words->push_back(word);
        line += (i > 1 ? " " : "") + word;
    }
    return line;
}

TEST(SubtitleLayoutTest, each_language_stays_one_row_when_that_draws_largest) {
    EvenFont font;
    const SubtitleLayout layout =
        layoutSubtitle("Good evening\nSelamat malam", LayoutBox{1000, 160, 0}, font);
    ASSERT_EQ(layout.parts.size(), 1u);
    EXPECT_EQ(rowTexts(layout.parts[0]),
              (std::vector<std::string>{"Good evening", "Selamat malam"}));
    EXPECT_FLOAT_EQ(layout.parts[0].scale, 1.0f);  // never enlarged
}

TEST(SubtitleLayoutTest, a_line_breaks_at_the_space_that_keeps_its_wider_row_narrowest) {
    EvenFont font;
    // One row 174 px wide would be drawn at 100/174; two rows fit unscaled.
    const SubtitleLayout tall = layoutSubtitle("aaaa bb cccccc dd", LayoutBox{100, 200, 0}, font);
    ASSERT_EQ(tall.parts.size(), 1u);
    EXPECT_EQ(rowTexts(tall.parts[0]), (std::vector<std::string>{"aaaa bb", "cccccc dd"}));

    // In a flat box two rows would have to shrink more than one row does.
    const SubtitleLayout flat = layoutSubtitle("aaaa bb cccccc dd", LayoutBox{120, 50, 0}, font);
    ASSERT_EQ(flat.parts.size(), 1u);
    EXPECT_EQ(rowTexts(flat.parts[0]), (std::vector<std::string>{"aaaa bb cccccc dd"}));
}

TEST(SubtitleLayoutTest, only_a_word_too_wide_for_any_readable_row_is_cut) {
    EvenFont font;
    // Rows must stay 40 px high (a quarter of the box), so unscaled: nothing wider than the box
    // fits; the long word is cut, the short one never.
    const std::string longWord(50, 'x');
    const SubtitleLayout layout = layoutSubtitle("tiny " + longWord, LayoutBox{200, 160, 0}, font);
    std::string rejoined;
    bool tinyWhole = false;
    for (const SubtitlePart& part : layout.parts) {
        EXPECT_GE(part.scale * 40.0f, 40.0f);
        for (const LaidOutRow& row : part.rows) {
            EXPECT_LE(row.size.width * part.scale, 200.5f) << row.text;
            std::istringstream in(row.text);
            for (std::string word; in >> word;) {
                if (word == "tiny") {
                    tinyWhole = true;
                } else {
                    rejoined += word;
                }
            }
        }
    }
    EXPECT_TRUE(tinyWhole);
    EXPECT_EQ(rejoined, longWord);
}

// Line `index` in face "face<index>"; face2 is twice as wide.
class FacePerLine final : public IRowMeasure {
public:
    std::string lineFace(const std::string&, size_t index) override {
        return "face" + std::to_string(index);
    }
    RowSize measure(const std::string& row, const std::string& face) override {
        RowSize size = even_.measure(row, face);
        if (face == "face2") size.width *= 2;
        return size;
    }
    int fontSize() override { return 40; }

private:
    EvenFont even_;
};

TEST(SubtitleLayoutTest, every_row_is_measured_and_drawn_in_the_face_of_its_line) {
    FacePerLine faces;
    // The empty line still counts as a line.
    std::vector<std::string> words;
    const std::string text = "aaaa bbbb\n\n" + numbered('c', 40, &words);
    const SubtitleLayout layout = layoutSubtitle(text, LayoutBox{400, 160, 0}, faces);
    ASSERT_FALSE(layout.parts.empty());
    size_t secondLineRows = 0;
    for (const SubtitlePart& part : layout.parts) {
        for (const LaidOutRow& row : part.rows) {
            const bool second = row.text[0] == 'c';
            const int even = static_cast<int>(row.text.size()) * 10 + 4;
            EXPECT_EQ(row.face, second ? "face2" : "face0") << row.text;
            EXPECT_EQ(row.size.width, second ? even * 2 : even) << row.text;
            secondLineRows += second ? 1 : 0;
        }
    }
    EXPECT_GE(secondLineRows, 2u);
    EXPECT_EQ(wordsInOrder(layout, 'c'), words);
}

TEST(SubtitleLayoutTest, text_too_long_for_readable_rows_is_shown_in_parts_keeping_word_order) {
    EvenFont font;
    std::vector<std::string> first;
    std::vector<std::string> second;
    const std::string text = numbered('a', 30, &first) + "\n" + numbered('b', 30, &second);
    const SubtitleLayout layout = layoutSubtitle(text, LayoutBox{400, 160, 0}, font);
    ASSERT_GE(layout.parts.size(), 2u);
    for (const SubtitlePart& part : layout.parts) {
        EXPECT_GE(part.scale * 40.0f, 40.0f);
        EXPECT_LE(part.rows.size(), 3u);  // a fourth would not fit the box unscaled
    }
    EXPECT_EQ(wordsInOrder(layout, 'a'), first);
    EXPECT_EQ(wordsInOrder(layout, 'b'), second);

    // A short text needs no parts.
    EXPECT_EQ(layoutSubtitle("a1 a2\nb1 b2", LayoutBox{400, 160, 0}, font).parts.size(), 1u);
}

TEST(PartPlacementTest, rows_are_centred_on_their_own_widths_and_the_background_wraps_them) {
    EvenFont font;
    const SubtitleLayout layout =
        layoutSubtitle("a long first row\nshort", LayoutBox{1000, 160, 10}, font);
    ASSERT_EQ(layout.parts.size(), 1u);
    const SubtitlePart& part = layout.parts[0];
    const std::vector<uint32_t> widths = {700, 300};  // as the host reports them
    const PartPlacement placed = placePart(part, widths, LayoutBox{1000, 160, 10});
    // 980 px wide and 140 px high inside the margin: 700 px and an 84 px stack fit unscaled.
    EXPECT_FLOAT_EQ(placed.scale, 1.0f);
    ASSERT_EQ(placed.rows.size(), 2u);
    EXPECT_FLOAT_EQ(placed.rows[0].x, 150.0f);
    EXPECT_FLOAT_EQ(placed.rows[1].x, 350.0f);
    // Baselines one band and the gap apart, the band centred: 84 px from y = 38.
    EXPECT_FLOAT_EQ(placed.rows[0].y + 40.0f, 38.0f + 30.0f);
    EXPECT_FLOAT_EQ(placed.rows[1].y - placed.rows[0].y, 44.0f);
    EXPECT_FLOAT_EQ(placed.left, 140.0f);
    EXPECT_FLOAT_EQ(placed.right, 860.0f);
    EXPECT_FLOAT_EQ(placed.top, 28.0f);
    EXPECT_FLOAT_EQ(placed.bottom, 132.0f);

    // Wider than the box: shrunk to fit inside the margin, background held to the box.
    const PartPlacement shrunk = placePart(part, {1960, 300}, LayoutBox{1000, 160, 10});
    EXPECT_FLOAT_EQ(shrunk.scale, 0.5f);
    EXPECT_FLOAT_EQ(shrunk.rows[0].x, 10.0f);
    EXPECT_FLOAT_EQ(shrunk.left, 0.0f);
    EXPECT_FLOAT_EQ(shrunk.right, 1000.0f);
}

TEST(DisplayTimeTest, parts_share_the_display_time) {
    EXPECT_EQ(partDurationMs(3000, 1, 0), 3000);
    EXPECT_EQ(partDurationMs(3000, 2, 0), 1500);
    EXPECT_EQ(partDurationMs(1000, 3, 0), 333);
    EXPECT_EQ(partDurationMs(1000, 3, 2), 334);  // the last takes what is left
}

}  // namespace
}  // namespace obs_sayline
