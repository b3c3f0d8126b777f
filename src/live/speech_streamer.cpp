#include "live/speech_streamer.h"

#include <algorithm>

namespace obs_sayline {
namespace {

constexpr uint64_t kFrameMs = 10;

}  // namespace

SpeechStreamer::SpeechStreamer(IChunkConsumer& consumer, int pauseMs)
    : consumer_(consumer),
      pauseFrames_(std::max<size_t>(1, static_cast<size_t>(std::max(pauseMs, 0)) / kFrameMs)),
      tailFrames_(std::min<size_t>(kSpeechTailMs / kFrameMs, pauseFrames_)) {
    piece_.samples.reserve(kPieceSamples);
    piece_.loudnessGate = false;
}

void SpeechStreamer::feed(const float* samples, size_t count) {
    gatherer_.feed(samples, count, [this](const float* frame) { analyseFrame(frame); });
}

void SpeechStreamer::analyseFrame(const float* frame) {
    const FrameSound sound = detector_.analyse(frame);
    quietFrames_ = sound.sound ? 0 : quietFrames_ + 1;
    if (sending_) {
        append(frame);
        if (quietFrames_ >= tailFrames_) {
            // The tail is out; the quiet after it is kept back as the next lead-in.
            if (!piece_.samples.empty()) sendPiece(ChunkCut::Pause);
            sending_ = false;
        }
    } else {
        keepLead(frame);
        if (sound.sound) {
            sendLead();
            sending_ = true;
            utterance_ = true;
        }
    }
    ++frames_;
    if (utterance_ && quietFrames_ >= pauseFrames_) {
        utterance_ = false;
        consumer_.speechPaused();
    }
}

void SpeechStreamer::append(const float* frame) {
    if (piece_.samples.empty()) piece_.startMs = frames_ * kFrameMs;
    piece_.samples.insert(piece_.samples.end(), frame, frame + kFrame);
    if (piece_.samples.size() >= kPieceSamples) sendPiece(ChunkCut::Full);
}

void SpeechStreamer::sendPiece(ChunkCut cut) {
    piece_.cut = cut;
    if (!consumer_.offer(piece_)) piece_.samples.clear();
}

void SpeechStreamer::keepLead(const float* frame) {
    constexpr size_t capacity = kLeadFrames + 1;
    size_t slot;
    if (leadFrames_ == capacity) {
        slot = leadStart_;
        leadStart_ = (leadStart_ + 1) % capacity;
    } else {
        slot = (leadStart_ + leadFrames_) % capacity;
        ++leadFrames_;
    }
    std::copy(frame, frame + kFrame, lead_.begin() + static_cast<long>(slot * kFrame));
}

void SpeechStreamer::sendLead() {
    // The newest kept frame is the one being analysed (frames_ not yet counted).
    constexpr size_t capacity = kLeadFrames + 1;
    const uint64_t first = frames_ + 1 - leadFrames_;
    const size_t count = leadFrames_;
    for (size_t i = 0; i < count; ++i) {
        const float* frame = lead_.data() + ((leadStart_ + i) % capacity) * kFrame;
        if (piece_.samples.empty()) piece_.startMs = (first + i) * kFrameMs;
        piece_.samples.insert(piece_.samples.end(), frame, frame + kFrame);
        if (piece_.samples.size() >= kPieceSamples) sendPiece(ChunkCut::Full);
    }
    leadStart_ = 0;
    leadFrames_ = 0;
}

SpeechChunk SpeechStreamer::takeLeftover() {
    SpeechChunk leftover;
    leftover.cut = ChunkCut::Stop;
    leftover.loudnessGate = false;
    if (sending_) {
        if (piece_.samples.empty()) piece_.startMs = frames_ * kFrameMs;
        gatherer_.takePartial(piece_.samples);
        leftover.startMs = piece_.startMs;
        leftover.samples.swap(piece_.samples);
    }
    piece_.samples.clear();
    gatherer_.reset();
    sending_ = false;
    utterance_ = false;
    leadStart_ = leadFrames_ = 0;
    return leftover;
}

}  // namespace obs_sayline
