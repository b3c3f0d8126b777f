#include "live/pause_chunker.h"

#include <algorithm>
#include <cmath>

#include "core/logger.h"

namespace obs_sayline {
namespace {

constexpr size_t kFrame = kDetectorFrameSamples;
constexpr uint64_t kFrameMs = 10;
constexpr size_t kPreRollFrames = kSpeechPreRollMs / kFrameMs;
constexpr size_t kTailFrames = kSpeechTailMs / kFrameMs;
constexpr size_t kQuietWindowFrames = 2;  // the longest-chunk cut looks for 20 ms
constexpr size_t kIdleKeepSamples = intakeSamples(1000);
constexpr size_t kMaxWaitingSamples = intakeSamples(30000);

size_t framesOf(int ms) { return static_cast<size_t>(std::max(ms, 0)) / kFrameMs; }

double secondsOf(const SpeechChunk& chunk) {
    return static_cast<double>(chunk.samples.size()) / kIntakeSampleRate;
}

}  // namespace

PauseChunker::PauseChunker(IChunkConsumer& consumer, const PauseCutting& cutting)
    : consumer_(consumer),
      pauseFrames_(std::max<size_t>(1, framesOf(cutting.pauseMs))),
      maxSamples_(std::max<size_t>(kRecentFrames, framesOf(cutting.maxChunkMs)) * kFrame) {
    // The most held at once: a longest chunk with its pre-roll and a pause not yet complete,
    // or a second of quiet.
    const size_t reserve = maxSamples_ + (pauseFrames_ + kPreRollFrames + 1) * kFrame;
    held_.samples.reserve(reserve);
    out_.samples.reserve(reserve);
    held_.loudnessGate = out_.loudnessGate = waiting_.loudnessGate = false;
}

void PauseChunker::feed(const float* samples, size_t count) {
    if (!waiting_.samples.empty()) offerWaiting();
    gatherer_.feed(samples, count, [this](const float* frame) { analyseFrame(frame); });
}

void PauseChunker::analyseFrame(const float* frame) {
    const FrameSound sound = detector_.analyse(frame);
    recent_[frames_ % kRecentFrames] = sound;
    if (held_.samples.empty()) heldStartFrame_ = frames_;
    held_.samples.insert(held_.samples.end(), frame, frame + kFrame);
    ++frames_;

    if (!inSpeech_) {
        if (!sound.sound) {
            if (held_.samples.size() >= kIdleKeepSamples) keepLastFrames(kPreRollFrames);
            return;
        }
        // Something begins: the chunk starts with up to 300 ms from before it.
        keepLastFrames(kPreRollFrames + 1);
        inSpeech_ = true;
        speechStartFrame_ = frames_ - 1;
        evidence_.clear();
    }
    evidence_.add(sound);
    quietFrames_ = sound.sound ? 0 : quietFrames_ + 1;
    if (quietFrames_ >= pauseFrames_) {
        endSpeech(ChunkCut::Pause);
    } else if (sound.sound && (frames_ - speechStartFrame_) * kFrame > maxSamples_) {
        // Only speech that goes on past the longest chunk is cut: an utterance shorter than
        // that waits for its pause and goes out whole.
        cutLongest();
    }
}

size_t PauseChunker::heldFrames() const { return held_.samples.size() / kFrame; }

void PauseChunker::keepLastFrames(size_t frames) {
    const size_t have = heldFrames();
    if (have <= frames) return;
    const size_t drop = have - frames;
    held_.samples.erase(held_.samples.begin(),
                        held_.samples.begin() + static_cast<long>(drop * kFrame));
    heldStartFrame_ += drop;
}

size_t PauseChunker::speechEndFrames() const {
    // Up to the last frame that stood out, and a little of the quiet after it.
    return heldFrames() - quietFrames_ + std::min(quietFrames_, kTailFrames);
}

void PauseChunker::endSpeech(ChunkCut cut) {
    split(speechEndFrames(), cut, evidence_.speechLike());
    inSpeech_ = false;
    evidence_.clear();
    keepLastFrames(kPreRollFrames);
}

void PauseChunker::cutLongest() {
    // Cut at the quietest 20 ms of the last second, between its two frames.
    const uint64_t first = frames_ - std::min<uint64_t>(kRecentFrames, heldFrames());
    float quietest = INFINITY;
    uint64_t cutFrame = frames_ - 1;
    for (uint64_t f = first; f + kQuietWindowFrames <= frames_; ++f) {
        float power = 0;
        for (size_t k = 0; k < kQuietWindowFrames; ++k) {
            power += std::pow(10.0f, recent_[(f + k) % kRecentFrames].levelDb / 10.0f);
        }
        if (power < quietest) {
            quietest = power;
            cutFrame = f + 1;
        }
    }
    split(static_cast<size_t>(cutFrame - heldStartFrame_), ChunkCut::Longest,
          evidence_.speechLike());

    // What follows the cut is the next chunk, judged on its own.
    speechStartFrame_ = heldStartFrame_;
    evidence_.clear();
    for (uint64_t f = heldStartFrame_; f < frames_; ++f) evidence_.add(recent_[f % kRecentFrames]);
    if (!evidence_.span()) {
        inSpeech_ = false;
        keepLastFrames(kPreRollFrames);
    }
}

void PauseChunker::split(size_t frames, ChunkCut cut, bool send) {
    const size_t samples = std::min(frames * kFrame, held_.samples.size());
    const uint64_t startFrame = heldStartFrame_;
    heldStartFrame_ += samples / kFrame;
    if (!send) {
        held_.samples.erase(held_.samples.begin(),
                            held_.samples.begin() + static_cast<long>(samples));
        return;
    }
    // The held buffer goes out whole; the rest is copied into the buffer out_ gives back.
    out_.samples.swap(held_.samples);
    if (held_.samples.capacity() < out_.samples.capacity()) {
        held_.samples.reserve(out_.samples.capacity());  // the first chunks only
    }
    held_.samples.assign(out_.samples.begin() + static_cast<long>(samples), out_.samples.end());
    out_.samples.resize(samples);
    out_.startMs = startFrame * kFrameMs;
    out_.leadMs = speechStartFrame_ > startFrame
                      ? std::min<uint64_t>(speechStartFrame_ - startFrame, frames) * kFrameMs
                      : 0;
    out_.cut = cut;
    handOn(out_);
}

void PauseChunker::handOn(SpeechChunk& chunk) {
    logDebugTag("VAD", "Speech chunk: %.2f s (%s)", secondsOf(chunk), chunkCutName(chunk.cut));
    if (!waiting_.samples.empty()) offerWaiting();
    if (waiting_.samples.empty()) {
        if (consumer_.offer(chunk)) return;
        // The queue is full: this one waits and is offered again with the next block.
        waiting_.samples.swap(chunk.samples);
        waiting_.startMs = chunk.startMs;
        waiting_.leadMs = chunk.leadMs;
        waiting_.cut = chunk.cut;
        return;
    }
    if (waiting_.samples.size() + chunk.samples.size() <= kMaxWaitingSamples) {
        // Still full: joined onto the waiting one, so nothing said is lost.
        waiting_.samples.insert(waiting_.samples.end(), chunk.samples.begin(), chunk.samples.end());
        waiting_.cut = chunk.cut;
    } else {
        logWarningTag("VAD", "Recognition is falling behind: %.2f s of speech dropped",
                      secondsOf(waiting_));
        waiting_.samples.swap(chunk.samples);
        waiting_.startMs = chunk.startMs;
        waiting_.leadMs = chunk.leadMs;
        waiting_.cut = chunk.cut;
    }
    chunk.samples.clear();
}

void PauseChunker::offerWaiting() { consumer_.offer(waiting_); }

SpeechChunk PauseChunker::takeLeftover() {
    SpeechChunk leftover;
    leftover.cut = ChunkCut::Stop;
    leftover.loudnessGate = false;
    // What was being said is kept with the partial frame; a stretch that has not (yet) passed
    // as speech is dropped.
    const bool speech = inSpeech_ && evidence_.speechLike();
    if (speech) {
        gatherer_.takePartial(held_.samples);
    }
    if (!waiting_.samples.empty()) offerWaiting();
    if (!waiting_.samples.empty()) {
        // Still refused: it goes first, with what was said since.
        leftover.samples.swap(waiting_.samples);
        leftover.startMs = waiting_.startMs;
        leftover.leadMs = waiting_.leadMs;
        if (speech) {
            leftover.samples.insert(leftover.samples.end(), held_.samples.begin(),
                                    held_.samples.end());
        }
    } else if (speech) {
        leftover.samples.swap(held_.samples);
        leftover.startMs = heldStartFrame_ * kFrameMs;
        if (speechStartFrame_ > heldStartFrame_) {
            leftover.leadMs = (speechStartFrame_ - heldStartFrame_) * kFrameMs;
        }
    }
    if (!leftover.samples.empty()) {
        logDebugTag("VAD", "Speech chunk: %.2f s (%s)", secondsOf(leftover),
                    chunkCutName(leftover.cut));
    }
    held_.samples.clear();
    gatherer_.reset();
    inSpeech_ = false;
    evidence_.clear();
    return leftover;
}

}  // namespace obs_sayline
