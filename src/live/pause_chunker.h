#pragma once

#include <array>
#include <cstdint>

#include "live/chunker.h"
#include "live/speech_detector.h"

namespace obs_sayline {

// Speech goes on with this much of the quiet before its first sound (so the first syllable is
// whole) and of the quiet after its last.
constexpr uint64_t kSpeechPreRollMs = 300;
constexpr uint64_t kSpeechTailMs = 200;

// How speech is cut at pauses (the source's settings, already held to their ranges).
struct PauseCutting {
    int pauseMs = 0;     // a pause this long ends the chunk
    int maxChunkMs = 0;  // speech that runs on is cut at this length
};

// Cuts the intake where the speaker pauses, so each utterance goes out as soon as it ends and
// in one piece. A chunk starts up to 300 ms before its first sound (so the first syllable is
// whole) and is handed on after a pause of `pauseMs`, keeping 200 ms of that pause; speech that
// goes on past `maxChunkMs` is cut at the quietest 20 ms of its last second and goes on in the
// next chunk. Sound that does not pass as speech (under 250 ms, or noise, hum and music that
// merely began) is dropped.
//
// When the consumer's queue is full, the finished chunk waits here and is offered again with
// every block; a chunk finished while one waits is joined onto it (up to 30 s, else the older
// one is dropped with a warning), so speech is kept in order and the audio thread never waits.
// Buffers are reserved up front and rotate with the consumer's slots: after the first few
// chunks nothing allocates.
class PauseChunker final : public IChunker {
public:
    PauseChunker(IChunkConsumer& consumer, const PauseCutting& cutting);

    void feed(const float* samples, size_t count) override;
    SpeechChunk takeLeftover() override;
    size_t buffered() const override { return held_.samples.size() + waiting_.samples.size(); }

private:
    // What the last second of frames sounded like, for the longest-chunk cut.
    static constexpr size_t kRecentFrames = 100;

    void analyseFrame(const float* frame);
    size_t heldFrames() const;
    void keepLastFrames(size_t frames);
    size_t speechEndFrames() const;
    void endSpeech(ChunkCut cut);
    void cutLongest();
    // The first `frames` held frames go out as a chunk (or are dropped); the rest stay held.
    void split(size_t frames, ChunkCut cut, bool send);
    void handOn(SpeechChunk& chunk);
    void offerWaiting();

    IChunkConsumer& consumer_;
    size_t pauseFrames_;
    size_t maxSamples_;

    SpeechDetector detector_;
    SoundEvidence evidence_;

    FrameGatherer gatherer_;
    uint64_t frames_ = 0;  // whole frames analysed since start; the audio clock in frames

    // Audio from the chunk's start (or, between chunks, the last moments for the pre-roll),
    // always beginning on a frame boundary.
    SpeechChunk held_;
    uint64_t heldStartFrame_ = 0;
    bool inSpeech_ = false;
    uint64_t speechStartFrame_ = 0;  // first sound of this chunk, or where the last one was cut
    size_t quietFrames_ = 0;         // frames since the last one that stood out
    std::array<FrameSound, kRecentFrames> recent_{};

    SpeechChunk out_;      // the chunk being handed on
    SpeechChunk waiting_;  // refused by a full queue, offered again with every block
};

}  // namespace obs_sayline
