#include "support/test_audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace obs_sayline::test {
namespace {

constexpr size_t kFrame = 160;
constexpr const char* kIntakeFormat = "-r 16000 -c 1 -t f32";

// Raw 32-bit float samples from a shell command's standard output.
Sound readCommand(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run: " + command);
    Sound sound;
    float buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, sizeof(float), 4096, pipe)) > 0) {
        sound.insert(sound.end(), buffer, buffer + got);
    }
    if (pclose(pipe) != 0 || sound.empty()) throw std::runtime_error("failed: " + command);
    return sound;
}

std::string midi(int note) {
    static const char* names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return std::string(names[note % 12]) + std::to_string(note / 12 - 1);
}

}  // namespace

Sound spokenText(const std::string& text, const std::string& voice) {
    for (char c : text) {
        if (c == '\'' || c == '\\' || c == '"' || c == '`' || c == '$') {
            throw std::invalid_argument("unsafe text for the shell: " + text);
        }
    }
    return readCommand("espeak-ng -v " + voice + " --stdout '" + text + "' | sox -t wav - " +
                       kIntakeFormat + " -");
}

Sound synthesised(const std::string& synthArgs) {
    return readCommand(std::string("sox -n ") + kIntakeFormat + " - synth " + synthArgs);
}

Sound silence(size_t ms) { return Sound(ms * 16, 0.0f); }

Sound instrumentalMusic(size_t seconds, bool drums) {
    // Four bars of A minor, F, C, G, two seconds each, with six melody notes to a bar.
    const int roots[] = {57, 53, 48, 55};
    const int thirds[] = {3, 4, 4, 4};
    const int melody[] = {69, 72, 76, 74, 72, 69, 65, 69, 72, 67, 64, 67,
                          72, 74, 71, 67, 69, 76, 74, 72, 65, 69, 72, 77};
    Sound cycle;
    for (int bar = 0; bar < 4; ++bar) {
        const int r = roots[bar];
        Sound sound = atLevel(
            synthesised("2 sine " + midi(r) + " sine " + midi(r + thirds[bar]) + " sine " +
                        midi(r + 7) + " sine " + midi(r - 12) + " tremolo 4 20 fade 0.05 2 0.1"),
            -26);
        std::string notes = "sox -n " + std::string(kIntakeFormat) + " -";
        for (int n = 0; n < 6; ++n) {
            notes += std::string(n ? " :" : "") + " synth 0.333 pluck " + midi(melody[bar * 6 + n]);
        }
        sound = mixedWith(sound, atLevel(readCommand(notes), -22));
        if (drums) {
            // Kick on the beat, a hat on the off-beat.
            sound = mixedWith(
                sound,
                joined({atLevel(synthesised("0.12 sine 90-40 fade 0 0.12 0.1"), -20), silence(130),
                        atLevel(synthesised("0.04 whitenoise fade 0 0.04 0.03"), -30),
                        silence(210)}));
        }
        cycle.insert(cycle.end(), sound.begin(), sound.end());
    }
    Sound music(seconds * 16000);
    for (size_t i = 0; i < music.size(); ++i) music[i] = cycle[i % cycle.size()];
    return music;
}

Sound pluckedNotes(size_t seconds) {
    Sound line;
    for (const char* note : {"A4", "C5", "E5", "D5", "C5", "A4", "G4", "E4"}) {
        line = joined({line, synthesised(std::string("0.35 pluck ") + note), silence(450)});
    }
    Sound notes(seconds * 16000);
    for (size_t i = 0; i < notes.size(); ++i) notes[i] = line[i % line.size()];
    return notes;
}

Sound mainsHum(size_t seconds) {
    return synthesised(std::to_string(seconds) +
                       " sine 50 sine 100 sine 150 sine 250 square 50 vol 0.5");
}

Sound trimmed(const Sound& sound) {
    auto loud = [&](size_t frame) {
        double power = 0;
        for (size_t i = 0; i < kFrame; ++i)
            power += double(sound[frame * kFrame + i]) * sound[frame * kFrame + i];
        return power / kFrame > 1e-5;
    };
    const size_t frames = sound.size() / kFrame;
    size_t first = 0, end = frames;
    while (first < frames && !loud(first)) ++first;
    while (end > first && !loud(end - 1)) --end;
    return Sound(sound.begin() + first * kFrame, sound.begin() + end * kFrame);
}

float activeLevelDb(const Sound& sound) {
    double sum = 0;
    size_t counted = 0;
    for (size_t at = 0; at + kFrame <= sound.size(); at += kFrame) {
        double frame = 0;
        for (size_t i = 0; i < kFrame; ++i) frame += double(sound[at + i]) * sound[at + i];
        if (frame / kFrame < 1e-8) continue;  // below -80 dBFS: silence
        sum += frame;
        counted += kFrame;
    }
    if (counted == 0) return -120.0f;
    return static_cast<float>(10.0 * std::log10(sum / counted));
}

Sound atLevel(Sound sound, float db) {
    const float gain = std::pow(10.0f, (db - activeLevelDb(sound)) / 20.0f);
    for (float& s : sound) s *= gain;
    return sound;
}

Sound mixedWith(Sound base, const Sound& other) {
    if (other.empty()) return base;
    for (size_t i = 0; i < base.size(); ++i) base[i] += other[i % other.size()];
    return base;
}

Sound joined(std::initializer_list<Sound> parts) {
    Sound all;
    for (const Sound& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Sound syllables(size_t ms) {
    constexpr size_t kBurst = 200 * 16, kPeriod = 240 * 16, kRamp = 10 * 16;
    Sound s(ms * 16);
    for (size_t i = 0; i < s.size(); ++i) {
        const size_t at = i % kPeriod;
        float level = 0.003f;
        if (at < kBurst) {
            const size_t edge = std::min(at, kBurst - 1 - at);
            const float ramp = edge < kRamp ? 0.5f - 0.5f * std::cos(3.14159f * edge / kRamp) : 1;
            level = (i / kPeriod % 2 ? 0.1f : 0.3f) * ramp;
        }
        if (s.size() - i < kRamp)
            level *= 0.5f - 0.5f * std::cos(3.14159f * (s.size() - i) / kRamp);
        s[i] = level * std::sin(0.1178f * i) * (0.6f + 0.4f * std::sin(0.47f * i));
    }
    return s;
}


}  // namespace obs_sayline::test
