// How well the pause chunker finds speech: sentences spoken by espeak-ng in four voices, alone
// and with noise, hum or music mixed under them at known levels, and half a minute of each
// background alone. Every chunk the chunker hands on is compared with where the speech really
// is. Prints one table; takes a few seconds.
//
//   miss         share of the speech (10 ms frames) that went out in no chunk
//   false alarm  share of the rest that went out, not counting the 300 ms before and the
//                700 ms after each sentence that a chunk takes by design
//   whole        sentences that went out in one chunk (not split, not joined to another)
//
// Usage: speech_detector_rates

#include <cstdio>
#include <string>
#include <vector>

#include "live/pause_chunker.h"
#include "support/test_audio.h"

using namespace obs_sayline;
using namespace obs_sayline::test;

namespace {

constexpr size_t kFrame = 160;
constexpr float kSpeechDb = -20;

struct Taker : IChunkConsumer {
    std::vector<SpeechChunk> chunks;
    bool idle() const override { return true; }
    bool offer(SpeechChunk& chunk) override {
        chunks.push_back(chunk);
        chunk.samples.clear();
        return true;
    }
};

std::vector<SpeechChunk> chunksOf(const Sound& sound) {
    Taker taker;
    PauseChunker chunker(taker, PauseCutting{500, 10000});
    for (size_t at = 0; at < sound.size(); at += 320) {
        chunker.feed(sound.data() + at, std::min<size_t>(320, sound.size() - at));
    }
    SpeechChunk last = chunker.takeLeftover();
    if (!last.samples.empty()) taker.chunks.push_back(last);
    return taker.chunks;
}

struct Sentence {
    size_t firstFrame, endFrame;  // where the clean speech is above -50 dBFS
};

struct Track {
    Sound speech;
    std::vector<Sentence> sentences;
};

Track speechTrack() {
    const char* texts[] = {
        "Good morning everyone, and welcome back to the stream.",
        "Today we are going to build a small wooden table.",
        "Can you hear me now?",
        "Okay, thanks.",
        "The quick brown fox jumps over the lazy dog.",
        "First, measure the legs twice, then cut them once.",
    };
    const char* voices[] = {"en-us", "en-gb", "en-us+f3", "en-gb-scotland"};
    Track track;
    track.speech = silence(1500);
    for (const char* voice : voices) {
        for (const char* text : texts) {
            Sound said = atLevel(spokenText(text, voice), kSpeechDb);
            Sentence s{SIZE_MAX, 0};
            for (size_t f = 0; f * kFrame + kFrame <= said.size(); ++f) {
                double power = 0;
                for (size_t i = 0; i < kFrame; ++i)
                    power += double(said[f * kFrame + i]) * said[f * kFrame + i];
                if (power / kFrame > 1e-5) {  // -50 dBFS
                    s.firstFrame = std::min(s.firstFrame, f);
                    s.endFrame = f + 1;
                }
            }
            const size_t base = track.speech.size() / kFrame;
            s.firstFrame += base;
            s.endFrame += base;
            track.sentences.push_back(s);
            track.speech.insert(track.speech.end(), said.begin(), said.end());
            const Sound gap = silence(1200);
            track.speech.insert(track.speech.end(), gap.begin(), gap.end());
        }
    }
    return track;
}

struct Rates {
    double miss = 0, falseAlarm = 0;
    int whole = 0, sentences = 0, chunks = 0;
};

Rates measure(const Track& track, const Sound& mixed) {
    const size_t frames = mixed.size() / kFrame;
    std::vector<int> sent(frames, 0);  // how many chunks hold each frame
    std::vector<SpeechChunk> chunks = chunksOf(mixed);
    for (const SpeechChunk& c : chunks) {
        const size_t first = c.startMs / 10;
        for (size_t f = first; f < first + c.samples.size() / kFrame && f < frames; ++f) ++sent[f];
    }
    std::vector<char> speech(frames, 0), allowed(frames, 0);
    Rates r;
    r.chunks = static_cast<int>(chunks.size());
    for (const Sentence& s : track.sentences) {
        for (size_t f = s.firstFrame; f < s.endFrame; ++f) speech[f] = 1;
        for (size_t f = s.firstFrame >= 30 ? s.firstFrame - 30 : 0;
             f < s.endFrame + 70 && f < frames; ++f) {
            allowed[f] = 1;
        }
        int overlapping = 0;
        for (const SpeechChunk& c : chunks) {
            const size_t first = c.startMs / 10, end = first + c.samples.size() / kFrame;
            if (first < s.endFrame && end > s.firstFrame) ++overlapping;
        }
        if (overlapping == 1) ++r.whole;
        ++r.sentences;
    }
    size_t speechFrames = 0, missed = 0, other = 0, alarms = 0;
    for (size_t f = 0; f < frames; ++f) {
        if (speech[f]) {
            ++speechFrames;
            if (!sent[f]) ++missed;
        } else if (!allowed[f]) {
            ++other;
            if (sent[f]) ++alarms;
        }
    }
    r.miss = speechFrames ? 100.0 * missed / speechFrames : 0;
    r.falseAlarm = other ? 100.0 * alarms / other : 0;
    return r;
}

}  // namespace

int main() {
    const Track track = speechTrack();
    const size_t seconds = track.speech.size() / 16000 + 1;
    struct Background {
        const char* name;
        Sound sound;
    };
    const std::vector<Background> backgrounds = {
        {"white noise", synthesised(std::to_string(seconds) + " whitenoise")},
        {"pink noise", synthesised(std::to_string(seconds) + " pinknoise")},
        {"brown noise", synthesised(std::to_string(seconds) + " brownnoise")},
        {"mains hum", mainsHum(seconds)},
        {"music", instrumentalMusic(seconds, false)},
        {"music, drums", instrumentalMusic(seconds, true)},
    };

    std::printf("Speech: %zu sentences, 4 voices, at %.0f dBFS; pause 500 ms, longest 10 s\n\n",
                track.sentences.size(), kSpeechDb);
    std::printf("%-14s %6s %9s %12s %7s %7s\n", "background", "SNR dB", "miss %", "false al. %",
                "whole", "chunks");
    auto row = [&](const char* name, const char* snr, const Rates& r) {
        std::printf("%-14s %6s %9.1f %12.1f %4d/%-3d %6d\n", name, snr, r.miss, r.falseAlarm,
                    r.whole, r.sentences, r.chunks);
    };
    row("none", "-", measure(track, track.speech));
    for (const Background& b : backgrounds) {
        for (int snr : {20, 10, 5}) {
            Sound mixed = mixedWith(track.speech, atLevel(b.sound, kSpeechDb - snr));
            row(b.name, std::to_string(snr).c_str(), measure(track, mixed));
        }
    }

    std::printf("\nNo speech, 30 s each (chunks sent, seconds sent):\n");
    auto alone = [](const char* name, const Sound& sound) {
        const std::vector<SpeechChunk> chunks = chunksOf(sound);
        double secondsSent = 0;
        for (const SpeechChunk& c : chunks) secondsSent += c.samples.size() / 16000.0;
        std::printf("  %-34s %3zu chunks %6.2f s\n", name, chunks.size(), secondsSent);
    };
    Sound floor(30 * 16000);
    for (size_t i = 0; i < floor.size(); ++i) floor[i] = (i * 7919 % 200 - 100) * 1e-7f;
    alone("digital silence", silence(30000));
    alone("host mix floor (about -100 dBFS)", floor);
    alone("white noise -40 dBFS", atLevel(synthesised("30 whitenoise"), -40));
    alone("pink noise -40 dBFS", atLevel(synthesised("30 pinknoise"), -40));
    alone("mains hum -30 dBFS", atLevel(mainsHum(30), -30));
    alone("music -20 dBFS", atLevel(instrumentalMusic(30, false), -20));
    alone("music with drums -20 dBFS", atLevel(instrumentalMusic(30, true), -20));
    alone("plucked notes with rests -20 dBFS", atLevel(pluckedNotes(30), -20));
    alone("2 s silence, then pink noise -40",
          joined({silence(2000), atLevel(synthesised("28 pinknoise"), -40)}));
    alone("2 s silence, then music -20",
          joined({silence(2000), atLevel(instrumentalMusic(28, false), -20)}));
    alone("2 s silence, then music, drums -20",
          joined({silence(2000), atLevel(instrumentalMusic(28, true), -20)}));
    return 0;
}
