#include "stt/base64.h"

#include <array>
#include <cstring>

namespace obs_sayline {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Both output characters for every 12-bit value, so three input bytes take two look-ups.
struct PairTable {
    std::array<char, 2 * 4096> chars{};
    constexpr PairTable() {
        for (int v = 0; v < 4096; ++v) {
            chars[2 * v] = kAlphabet[v >> 6];
            chars[2 * v + 1] = kAlphabet[v & 0x3F];
        }
    }
};
constexpr PairTable kPairs{};

}  // namespace

std::string base64Encode(const uint8_t* data, size_t size) {
    std::string out;
    out.resize((size + 2) / 3 * 4);
    char* o = out.empty() ? nullptr : &out[0];
    const char* pairs = kPairs.chars.data();
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        std::memcpy(o, pairs + 2 * (v >> 12), 2);
        std::memcpy(o + 2, pairs + 2 * (v & 0xFFF), 2);
        o += 4;
    }
    const size_t rest = size - i;
    if (rest == 1) {
        const uint32_t v = uint32_t{data[i]} << 16;
        *o++ = kAlphabet[(v >> 18) & 0x3F];
        *o++ = kAlphabet[(v >> 12) & 0x3F];
        *o++ = '=';
        *o++ = '=';
    } else if (rest == 2) {
        const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8);
        *o++ = kAlphabet[(v >> 18) & 0x3F];
        *o++ = kAlphabet[(v >> 12) & 0x3F];
        *o++ = kAlphabet[(v >> 6) & 0x3F];
        *o++ = '=';
    }
    return out;
}

}  // namespace obs_sayline
