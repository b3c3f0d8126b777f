#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace obs_sayline {

// One subtitle as the live path finishes it, for every sink: what to show, what it was made
// from, and where it sits on the audio clock (milliseconds of intake audio since capture
// start).
struct FinishedSubtitle {
    std::string text;         // the display text: translation, original above it, or original
    std::string original;     // what was recognised
    std::string translation;  // empty when not translated
    std::string sourceLanguage;  // as recognised (the engine's report, else the setting)
    std::string targetLanguage;  // empty when not translated
    uint64_t startMs = 0;
    uint64_t endMs = 0;
    // When its speech began on the system clock (zero: not known), for sinks that place it
    // beside other sources or on a service's clock.
    std::chrono::system_clock::time_point spokenAt{};
    int displayMs = 0;  // how long it stays up
    // A line still being spoken (streaming recognition): shown at once and replaced by the next
    // one, until the finished line comes. Sinks that keep what was said (captions, transcripts)
    // wait for the finished line. An empty interim line takes down the one being shown.
    bool interim = false;
    // Ready too long after its speech ended (recognition fell behind): not drawn, captioned or
    // posted, only written to transcripts, where its speech was. `behindMs`: how far the
    // capture's audio had gone past `endMs` when it was ready.
    bool late = false;
    uint64_t behindMs = 0;
    // Who said it, as the shared outputs of every source see it: the source's "Speaker name"
    // (empty: none given) and a number that tells its sources apart (0: not from a source).
    std::string speaker;
    uint64_t speakerId = 0;
};

// Where finished subtitles go (the scene text, captions, transcript files). Called on a
// recognition worker (streaming recognition delivers interim lines from its stream worker and
// finished ones from its line worker, so a sink may be called from two at once); a sink that
// needs another thread hands the subtitle over itself and never blocks the worker for long.
class ISubtitleSink {
public:
    virtual ~ISubtitleSink() = default;
    virtual const char* name() const = 0;
    virtual void deliver(const FinishedSubtitle& subtitle) = 0;
    // Capture stopped: take down whatever is showing.
    virtual void clear() {}
    // The host showed or hid the source (control thread). Sinks whose work spans the time a
    // source is on air (a transcript, a once-per-activation warning) start and end it here.
    virtual void sourceActivated() {}
    virtual void sourceDeactivated() {}
};

// The sinks of one source. Delivery goes to each in the order they were added; one that throws
// is logged and the others still get the subtitle.
class SubtitleSinks {
public:
    void add(std::shared_ptr<ISubtitleSink> sink);
    void remove(const std::shared_ptr<ISubtitleSink>& sink);
    void deliver(const FinishedSubtitle& subtitle) const;
    void clear() const;
    void sourceActivated() const;
    void sourceDeactivated() const;
    size_t size() const;

private:
    std::vector<std::shared_ptr<ISubtitleSink>> snapshot() const;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<ISubtitleSink>> sinks_;
};

}  // namespace obs_sayline
