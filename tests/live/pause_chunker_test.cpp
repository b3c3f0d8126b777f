// Cutting at pauses: where chunks start and end, what is dropped, and a full queue. Timing is
// checked on synthetic syllables (tone bursts, exact to the frame); espeak-ng speech and sox
// noise and music check that real sound is told apart.

#include "live/pause_chunker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/host_log_capture.h"
#include "support/test_audio.h"

namespace obs_sayline {
namespace {

using test::Sound;

struct Taker : IChunkConsumer {
    std::vector<SpeechChunk> chunks;
    bool refusing = false;
    bool idle() const override { return chunks.empty(); }
    bool offer(SpeechChunk& chunk) override {
        if (refusing) return false;
        chunks.push_back(chunk);
        chunk.samples.clear();
        return true;
    }
};

class PauseChunkerTest : public ::testing::Test {
protected:
    std::vector<SpeechChunk> cut(const Sound& sound, PauseCutting cutting = {500, 10000}) {
        chunker_ = std::make_unique<PauseChunker>(taker_, cutting);
        feed(sound);
        return taker_.chunks;
    }
    void feed(const Sound& sound) {
        for (size_t at = 0; at < sound.size(); at += 160) {
            chunker_->feed(sound.data() + at, std::min<size_t>(160, sound.size() - at));
        }
    }

    Taker taker_;
    std::unique_ptr<PauseChunker> chunker_;
};

TEST_F(PauseChunkerTest, a_chunk_takes_300_ms_before_the_speech_and_goes_after_the_pause) {
    test::HostLogCapture::instance().clear();
    const Sound speech = test::joined({test::silence(1000), test::syllables(1500)});
    ASSERT_TRUE(cut(test::joined({speech, test::silence(490)})).empty());
    feed(test::silence(10));  // the pause is complete
    ASSERT_EQ(taker_.chunks.size(), 1u);
    const SpeechChunk& chunk = taker_.chunks[0];
    EXPECT_EQ(chunk.startMs, 700u);
    EXPECT_EQ(chunk.endMs(), 2500u + 200u);  // and 200 ms of the pause
    EXPECT_EQ(chunk.cut, ChunkCut::Pause);
    EXPECT_FALSE(chunk.loudnessGate);
    EXPECT_TRUE(test::HostLogCapture::instance().contains(
        "[obs-sayline] [VAD] Speech chunk: 2.00 s (pause)"));
}

TEST_F(PauseChunkerTest, speech_that_runs_on_is_cut_at_its_quietest_20_ms_and_goes_on) {
    // 2.8 s of speech with 50 ms of silence 1.5 s in, inside the last second before 2 s; the
    // gaps between syllables are quiet, but not as quiet.
    const Sound speech =
        test::joined({test::silence(1000), test::syllables(1500), test::silence(50), test::syllables(1250)});
    const auto chunks = cut(test::joined({speech, test::silence(600)}), {500, 2000});
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].startMs, 700u);
    EXPECT_GT(chunks[0].endMs(), 2500u);
    EXPECT_LT(chunks[0].endMs(), 2550u);
    EXPECT_EQ(chunks[0].cut, ChunkCut::Longest);
    EXPECT_EQ(chunks[1].startMs, chunks[0].endMs());
    EXPECT_EQ(chunks[1].endMs(), 3800u + 200u);
    EXPECT_EQ(chunks[1].cut, ChunkCut::Pause);
}

TEST_F(PauseChunkerTest, an_utterance_shorter_than_the_longest_chunk_goes_out_in_one) {
    for (size_t ms : {1700, 1950, 1990}) {
        taker_.chunks.clear();
        const auto chunks = cut(
            test::joined({test::silence(1000), test::syllables(ms), test::silence(600)}), {500, 2000});
        ASSERT_EQ(chunks.size(), 1u) << ms;
        EXPECT_LE(chunks[0].startMs, 1000u);
        EXPECT_GE(chunks[0].endMs(), 1000u + ms) << ms;
    }
}

TEST_F(PauseChunkerTest, blips_are_dropped_and_a_stop_sends_what_was_said) {
    EXPECT_TRUE(
        cut(test::joined({test::silence(1000), test::syllables(150), test::silence(1000)})).empty());

    feed(test::syllables(1000));
    feed(Sound(100, 0.2f));  // and part of a frame
    const SpeechChunk last = chunker_->takeLeftover();
    EXPECT_EQ(last.cut, ChunkCut::Stop);
    EXPECT_EQ(last.startMs, 2150u - 300u);
    EXPECT_EQ(last.samples.size(), 1300u * 16 + 100);
    EXPECT_TRUE(chunker_->takeLeftover().samples.empty());
}

TEST_F(PauseChunkerTest, a_full_queue_keeps_finished_chunks_in_order_and_never_loses_them) {
    taker_.refusing = true;
    const Sound twice = test::joined({test::silence(1000), test::syllables(800), test::silence(700),
                                      test::syllables(600), test::silence(700)});
    EXPECT_TRUE(cut(twice).empty());
    EXPECT_GT(chunker_->buffered(), 0u);

    taker_.refusing = false;
    feed(test::silence(10));  // offered again with the next block, both as one
    ASSERT_EQ(taker_.chunks.size(), 1u);
    EXPECT_EQ(taker_.chunks[0].startMs, 700u);
    EXPECT_EQ(taker_.chunks[0].samples.size(), (300u + 800 + 200 + 300 + 600 + 200) * 16);

    // Refused up to the stop: the stop hands it over with what was said since.
    taker_.refusing = true;
    feed(test::joined({test::syllables(500), test::silence(700), test::syllables(400)}));
    const SpeechChunk last = chunker_->takeLeftover();
    EXPECT_EQ(last.samples.size(), (300u + 500 + 200 + 300 + 400) * 16);
}

// Real speech: each sentence goes out whole, in its own chunk, also over low music or noise.
TEST_F(PauseChunkerTest, spoken_sentences_go_out_whole_one_chunk_each) {
    const Sound first =
        test::atLevel(test::trimmed(test::spokenText("Good morning, and welcome back.")), -20);
    const Sound second =
        test::atLevel(test::trimmed(test::spokenText("Today we build a table.")), -20);
    const Sound third =
        test::atLevel(test::trimmed(test::spokenText("Yes, exactly.", "en-us+f3")), -20);
    const Sound spoken = test::joined({test::silence(1500), first, test::silence(900), second,
                                       test::silence(900), third, test::silence(900)});
    const size_t starts[] = {1500, 2400 + first.size() / 16,
                             3300 + (first.size() + second.size()) / 16};
    const size_t lengths[] = {first.size() / 16, second.size() / 16, third.size() / 16};
    const Sound music = test::atLevel(test::instrumentalMusic(5, true), -35);
    const Sound noise = test::atLevel(test::synthesised("5 pinknoise"), -35);
    for (const Sound& under : {Sound{}, music, noise}) {
        taker_.chunks.clear();
        const auto chunks = cut(test::mixedWith(spoken, under));
        ASSERT_EQ(chunks.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_LE(chunks[i].startMs, starts[i]) << i;
            EXPECT_GE(chunks[i].endMs(), starts[i] + lengths[i]) << i;
            EXPECT_EQ(chunks[i].cut, ChunkCut::Pause);
        }
    }
}

TEST_F(PauseChunkerTest, nothing_is_sent_on_silence_noise_hum_or_music) {
    const std::pair<const char*, Sound> inputs[] = {
        {"silence", test::silence(30000)},
        {"noise", test::atLevel(test::synthesised("30 pinknoise"), -40)},
        {"white noise after silence",
         test::joined(
             {test::silence(2000), test::atLevel(test::synthesised("28 whitenoise"), -40)})},
        {"hum", test::atLevel(test::mainsHum(30), -30)},
        {"music", test::atLevel(test::instrumentalMusic(30, false), -20)},
        {"plucked notes", test::atLevel(test::pluckedNotes(30), -20)},
        {"music with drums after silence",
         test::joined(
             {test::silence(2000), test::atLevel(test::instrumentalMusic(28, true), -20)})},
    };
    for (const auto& [name, sound] : inputs) {
        EXPECT_TRUE(cut(sound).empty()) << name;
        EXPECT_TRUE(chunker_->takeLeftover().samples.empty()) << name;
    }
}

}  // namespace
}  // namespace obs_sayline
