#pragma once

// What every reply-parser target checks: whatever the bytes, the parser comes back with a
// Result (a failure with the parser's own code), and nothing thrown leaves it. A breach aborts,
// which libFuzzer reports as a crash with the input that caused it. (The message of a failure
// may be empty: a service's own error text is passed on as it is.)

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "core/result.h"

namespace obs_sayline::fuzz {

[[noreturn]] inline void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

template <typename Call>
void noThrow(const char* what, Call&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        fail(what, std::string("threw ") + e.what());
    } catch (...) {
        fail(what, "threw a non-standard exception");
    }
}

template <typename T>
void expectResult(const char* what, const Result<T>& result, ErrorCode failureCode) {
    if (result.isSuccess()) return;
    if (result.error().code != failureCode) {
        fail(what, "failed with code " + std::to_string(static_cast<int>(result.error().code)) +
                       ": " + result.error().message);
    }
}

inline std::string bytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// An error status for the non-2xx rules, spread over 400..599 by the input.
inline int32_t errorStatus(size_t size) { return 400 + static_cast<int32_t>(size % 200); }

}  // namespace obs_sayline::fuzz
