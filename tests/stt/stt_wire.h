#pragma once

// Decoding of what the engines put on the wire, for the loopback servers of the STT tests.

#include <cstdint>
#include <string>
#include <vector>

namespace obs_sayline::test {

template <typename Bytes>
uint32_t readU16(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}

template <typename Bytes>
uint32_t readU32(const Bytes& b, size_t at) {
    return readU16(b, at) | readU16(b, at + 2) << 16;
}

// Strict RFC 4648 decoding; an empty vector plus ok=false on any malformed input.
inline std::vector<uint8_t> base64Decode(const std::string& text, bool* ok = nullptr) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::vector<uint8_t> out;
    bool valid = text.size() % 4 == 0;
    for (size_t i = 0; valid && i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++pad;
            } else if (pad > 0 || (v[k] = value(c)) < 0) {
                valid = false;
            }
        }
        if (!valid) break;
        uint32_t n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
        out.push_back(static_cast<uint8_t>(n >> 16));
        if (pad < 2) out.push_back(static_cast<uint8_t>(n >> 8));
        if (pad < 1) out.push_back(static_cast<uint8_t>(n));
    }
    if (ok) *ok = valid;
    if (!valid) out.clear();
    return out;
}

// Checks a WAV file the way a service would before decoding it: RIFF/WAVE framing, a PCM format
// block with 16 bits per sample and consistent rates, and a data block that fills the rest of
// the file. Returns what is wrong, or "" when the file is sound.
template <typename Bytes>
std::string wavProblems(const Bytes& wav, uint32_t expectRate, uint32_t expectChannels) {
    auto text = [&](size_t at) { return std::string(wav.begin() + at, wav.begin() + at + 4); };
    if (wav.size() < 44) return "shorter than a WAV header";
    if (text(0) != "RIFF" || text(8) != "WAVE") return "not RIFF/WAVE";
    if (readU32(wav, 4) != wav.size() - 8) return "RIFF length does not match the file";
    if (text(12) != "fmt " || readU32(wav, 16) != 16) return "bad format block";
    if (readU16(wav, 20) != 1) return "not PCM";
    if (readU16(wav, 34) != 16) return "not 16-bit";
    if (readU16(wav, 22) != expectChannels) return "wrong channel count";
    if (readU32(wav, 24) != expectRate) return "wrong sample rate";
    if (readU32(wav, 28) != expectRate * expectChannels * 2) return "wrong byte rate";
    if (readU16(wav, 32) != expectChannels * 2) return "wrong block alignment";
    if (text(36) != "data" || readU32(wav, 40) != wav.size() - 44) return "bad data block";
    return "";
}

// The 16-bit samples of a PCM byte string.
template <typename Bytes>
std::vector<int16_t> pcmSamples(const Bytes& pcm, size_t offset = 0) {
    std::vector<int16_t> out;
    for (size_t i = offset; i + 1 < pcm.size(); i += 2) {
        out.push_back(static_cast<int16_t>(readU16(pcm, i)));
    }
    return out;
}

}  // namespace obs_sayline::test
