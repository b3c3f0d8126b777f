// Streaming speech as it is heard: which audio goes out, in which pieces, and when a pause is
// announced (synthetic syllables, exact to the 10 ms frame).

#include "live/speech_streamer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/test_audio.h"

namespace obs_sayline {
namespace {

struct Listener : IChunkConsumer {
    std::vector<SpeechChunk> pieces;
    std::vector<size_t> pausesAfter;  // pieces received when each pause came
    bool idle() const override { return true; }
    bool offer(SpeechChunk& chunk) override {
        pieces.push_back(chunk);
        chunk.samples.clear();
        return true;
    }
    void speechPaused() override { pausesAfter.push_back(pieces.size()); }
    size_t samples() const {
        size_t n = 0;
        for (const auto& p : pieces) n += p.samples.size();
        return n;
    }
};

class SpeechStreamerTest : public ::testing::Test {
protected:
    void feed(const test::Sound& sound) {
        for (size_t at = 0; at < sound.size(); at += 160) {
            streamer_.feed(sound.data() + at, std::min<size_t>(160, sound.size() - at));
        }
    }
    Listener listener_;
    SpeechStreamer streamer_{listener_, 500};
};

TEST_F(SpeechStreamerTest, speech_goes_out_in_100_ms_pieces_from_its_lead_in_to_its_tail) {
    feed(test::joined({test::silence(1000), test::syllables(1500), test::silence(490)}));
    EXPECT_TRUE(listener_.pausesAfter.empty());
    feed(test::silence(10));  // the pause is complete
    ASSERT_EQ(listener_.pausesAfter, std::vector<size_t>{listener_.pieces.size()});

    // 300 ms before the first sound to 200 ms after the last, in order and without gaps.
    ASSERT_FALSE(listener_.pieces.empty());
    EXPECT_EQ(listener_.pieces.front().startMs, 700u);
    EXPECT_EQ(listener_.pieces.back().endMs(), 2700u);
    for (size_t i = 0; i + 1 < listener_.pieces.size(); ++i) {
        EXPECT_EQ(listener_.pieces[i].samples.size(), SpeechStreamer::kPieceSamples) << i;
        EXPECT_EQ(listener_.pieces[i].endMs(), listener_.pieces[i + 1].startMs) << i;
    }

    // Silence sends nothing, however long.
    const size_t sent = listener_.pieces.size();
    feed(test::silence(5000));
    EXPECT_EQ(listener_.pieces.size(), sent);
    EXPECT_EQ(listener_.pausesAfter.size(), 1u);
}

TEST_F(SpeechStreamerTest, a_gap_shorter_than_the_pause_keeps_the_utterance_and_its_lead_in) {
    feed(test::joined({test::silence(1000), test::syllables(1000), test::silence(450),
                       test::syllables(1000), test::silence(600)}));
    EXPECT_EQ(listener_.pausesAfter.size(), 1u);
    // The gap's first 200 ms went out as the tail and its last 250 ms as the next lead-in:
    // everything from 700 ms to 200 ms after the end, without a hole.
    EXPECT_EQ(listener_.samples(), intakeSamples(3450 + 200 - 700));
    EXPECT_EQ(listener_.pieces.back().endMs(), 3650u);
}

TEST_F(SpeechStreamerTest, a_stop_takes_what_is_being_said_and_nothing_in_a_pause) {
    feed(test::joined({test::silence(1000), test::syllables(420)}));
    feed(test::Sound(100, 0.2f));  // and part of a frame
    const SpeechChunk leftover = streamer_.takeLeftover();
    EXPECT_EQ(leftover.cut, ChunkCut::Stop);
    EXPECT_EQ(leftover.startMs, listener_.pieces.back().endMs());
    EXPECT_EQ(listener_.samples() + leftover.samples.size(), intakeSamples(720) + 100);

    SpeechStreamer quiet(listener_, 500);
    test::Sound pause = test::silence(2000);
    quiet.feed(pause.data(), pause.size());
    EXPECT_TRUE(quiet.takeLeftover().samples.empty());
}

}  // namespace
}  // namespace obs_sayline
