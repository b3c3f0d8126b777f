#pragma once

// Sound for tests of the speech detector and the chunkers: speech spoken by espeak-ng and
// noise, hum and music made by sox, all as 16 kHz mono float (the live path's intake).

#include <cstddef>
#include <string>
#include <vector>

namespace obs_sayline::test {

using Sound = std::vector<float>;

// espeak-ng speaking `text` (letters, digits, blanks and punctuation only).
Sound spokenText(const std::string& text, const std::string& voice = "en-us");
// sox's synth with the given arguments (what follows "synth"), e.g. "30 pinknoise".
Sound synthesised(const std::string& synthArgs);
Sound silence(size_t ms);
// Synthetic syllables: 200 ms bursts of a two-tone sound, louder and softer in turn, with 40 ms
// of a faint hum between them; every edge rises or falls over 10 ms, so timing is exact to the
// frame.
Sound syllables(size_t ms);

// Instrumental music: a chord pad, a bass line and a plucked melody; with drums when asked.
Sound instrumentalMusic(size_t seconds, bool drums);
// A plucked melody, each note dying away into a rest before the next.
Sound pluckedNotes(size_t seconds);
// Mains hum: 50 Hz and its harmonics.
Sound mainsHum(size_t seconds);

// Without the frames (10 ms) under -50 dBFS at either end.
Sound trimmed(const Sound& sound);
// Root mean square over the frames (10 ms) that are not silent, in dBFS.
float activeLevelDb(const Sound& sound);
// The sound scaled so that activeLevelDb comes to `db`.
Sound atLevel(Sound sound, float db);
// Adds `other` (looped as needed) under the whole of `base`.
Sound mixedWith(Sound base, const Sound& other);
Sound joined(std::initializer_list<Sound> parts);

}  // namespace obs_sayline::test
