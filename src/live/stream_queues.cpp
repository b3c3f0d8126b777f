#include "live/stream_queues.h"

#include "stt/audio_encoding.h"

namespace obs_sayline {

StreamOutbox::StreamOutbox(size_t holdBytes) : holdBytes_(holdBytes) {
    for (Slot& slot : slots_) slot.pcm.reserve(kSlotBytes);
}

StreamOutbox::Slot& StreamOutbox::nextSlotLocked(size_t bytes) {
    while (count_ > 0 && (count_ == kSlots || heldBytes_ + bytes > holdBytes_)) {
        Slot& oldest = slots_[head_];
        dropped_.fetch_add(oldest.pcm.size());
        heldBytes_ -= oldest.pcm.size();
        oldest.pcm.clear();
        head_ = (head_ + 1) % kSlots;
        --count_;
    }
    Slot& slot = slots_[(head_ + count_) % kSlots];
    ++count_;
    held_.store(count_);
    return slot;
}

bool StreamOutbox::pushAudio(const SpeechChunk& chunk) {
    const size_t samples = chunk.samples.size();
    if (samples == 0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (finishing_ || closed_) return false;
    Slot& slot = nextSlotLocked(samples * 2);
    slot.pause = false;
    slot.startMs = chunk.startMs;
    slot.pcm.resize(samples * 2);  // within the reserved buffer for every piece
    for (size_t i = 0; i < samples; ++i) {
        const auto value = static_cast<uint16_t>(sampleToPcm16(chunk.samples[i]));
        slot.pcm[2 * i] = static_cast<char>(value & 0xFF);
        slot.pcm[2 * i + 1] = static_cast<char>(value >> 8);
    }
    heldBytes_ += slot.pcm.size();
    return true;
}

bool StreamOutbox::pushPause() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finishing_ || closed_) return false;
    Slot& slot = nextSlotLocked(0);
    slot.pause = true;
    slot.pcm.clear();
    return true;
}

void StreamOutbox::finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
}

StreamOutbox::Entry StreamOutbox::take(std::string& pcm, uint64_t& startMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == 0) return Entry::None;
    Slot& slot = slots_[head_];
    head_ = (head_ + 1) % kSlots;
    --count_;
    held_.store(count_);
    if (slot.pause) return Entry::Pause;
    heldBytes_ -= slot.pcm.size();
    startMs = slot.startMs;
    pcm.swap(slot.pcm);
    return Entry::Audio;
}

void StreamOutbox::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    for (; count_ > 0; --count_) {
        slots_[head_].pcm.clear();
        head_ = (head_ + 1) % kSlots;
    }
    heldBytes_ = 0;
    held_.store(0);
}

bool StreamOutbox::finishing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finishing_;
}

void LineQueue::push(Item item) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        items_.push_back(std::move(item));
    }
    changed_.notify_all();
}

void LineQueue::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

std::optional<LineQueue::Item> LineQueue::next(std::chrono::milliseconds wait, bool& ended) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return !items_.empty() || closed_; });
    ended = items_.empty() && closed_;
    if (items_.empty()) return std::nullopt;
    Item item = std::move(items_.front());
    items_.pop_front();
    working_ = true;
    return item;
}

void LineQueue::done() {
    std::lock_guard<std::mutex> lock(mutex_);
    working_ = false;
}

bool LineQueue::busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return working_ || !items_.empty();
}

}  // namespace obs_sayline
