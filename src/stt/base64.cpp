#include "stt/base64.h"

namespace obs_sayline {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string base64Encode(const uint8_t* data, size_t size) {
    std::string out;
    out.resize((size + 2) / 3 * 4);
    char* o = out.empty() ? nullptr : &out[0];
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        *o++ = kAlphabet[(v >> 18) & 0x3F];
        *o++ = kAlphabet[(v >> 12) & 0x3F];
        *o++ = kAlphabet[(v >> 6) & 0x3F];
        *o++ = kAlphabet[v & 0x3F];
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
