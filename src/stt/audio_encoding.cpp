#include "stt/audio_encoding.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace obs_sayline {

namespace {

inline void putU16(uint8_t* p, uint32_t v) noexcept {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

inline void putU32(uint8_t* p, uint32_t v) noexcept {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    p[2] = static_cast<uint8_t>((v >> 16) & 0xFF);
    p[3] = static_cast<uint8_t>((v >> 24) & 0xFF);
}

// Little-endian 16-bit samples. With SSE2, four samples at a time: MINPS/MAXPS return their
// second operand when the first is NaN, which is exactly the scalar rule (NaN becomes 1.0), and
// CVTTPS2DQ truncates toward zero like the cast.
void writePcm16(const std::vector<float>& samples, uint8_t* out) noexcept {
    const float* in = samples.data();
    const size_t n = samples.size();
    size_t i = 0;
#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 minusOne = _mm_set1_ps(-1.0f);
    const __m128 scale = _mm_set1_ps(32767.0f);
    for (; i + 8 <= n; i += 8) {
        __m128 a = _mm_loadu_ps(in + i);
        __m128 b = _mm_loadu_ps(in + i + 4);
        a = _mm_max_ps(_mm_min_ps(a, one), minusOne);
        b = _mm_max_ps(_mm_min_ps(b, one), minusOne);
        const __m128i ia = _mm_cvttps_epi32(_mm_mul_ps(a, scale));
        const __m128i ib = _mm_cvttps_epi32(_mm_mul_ps(b, scale));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(ia, ib));
    }
#endif
    for (; i < n; ++i) {
        const auto v = static_cast<uint16_t>(sampleToPcm16(in[i]));
        out[2 * i] = static_cast<uint8_t>(v & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
}

// Header fields are 32-bit on the wire; the engines' size limits keep real chunks far below.
void writeWavHeader(const AudioChunk& chunk, uint8_t* p) noexcept {
    const auto dataBytes = static_cast<uint32_t>(chunk.samples.size() * 2);
    const auto channels = static_cast<uint32_t>(chunk.channels);
    const auto rate = static_cast<uint32_t>(chunk.sampleRate);
    std::memcpy(p + 0, "RIFF", 4);
    putU32(p + 4, 36 + dataBytes);
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, "fmt ", 4);
    putU32(p + 16, 16);
    putU16(p + 20, 1);
    putU16(p + 22, channels);
    putU32(p + 24, rate);
    putU32(p + 28, rate * channels * 2);
    putU16(p + 32, channels * 2);
    putU16(p + 34, 16);
    std::memcpy(p + 36, "data", 4);
    putU32(p + 40, dataBytes);
}

template <typename Bytes>
Bytes encodeWavAs(const AudioChunk& chunk) {
    Bytes out;
    out.resize(static_cast<size_t>(wavSizeForSamples(chunk.samples.size())));
    auto* p = reinterpret_cast<uint8_t*>(&out[0]);
    writeWavHeader(chunk, p);
    writePcm16(chunk.samples, p + kWavHeaderBytes);
    return out;
}

}  // namespace

double audioDurationMs(const AudioChunk& chunk) noexcept {
    if (chunk.sampleRate < 1) return 0.0;
    const size_t frames =
        chunk.channels < 1 ? 0 : chunk.samples.size() / static_cast<size_t>(chunk.channels);
    return static_cast<double>(frames) * 1000.0 / static_cast<double>(chunk.sampleRate);
}

std::vector<uint8_t> encodeWav(const AudioChunk& chunk) {
    return encodeWavAs<std::vector<uint8_t>>(chunk);
}

std::string encodeWavString(const AudioChunk& chunk) { return encodeWavAs<std::string>(chunk); }

std::vector<uint8_t> encodePcm16(const AudioChunk& chunk) {
    std::vector<uint8_t> out(chunk.samples.size() * 2);
    if (!out.empty()) writePcm16(chunk.samples, out.data());
    return out;
}

}  // namespace obs_sayline
