#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace obs_sayline {

// Standard alphabet with "=" padding (RFC 4648).
std::string base64Encode(const uint8_t* data, size_t size);
inline std::string base64Encode(const std::vector<uint8_t>& data) {
    return base64Encode(data.data(), data.size());
}

}  // namespace obs_sayline
