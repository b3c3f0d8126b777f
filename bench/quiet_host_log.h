#pragma once

// Stands in for the host's log handler: formats each line as the host would, then drops it,
// so a benchmark pays for logging without printing.

#include <benchmark/benchmark.h>
#include <util/base.h>

#include <cstdarg>
#include <cstdio>

namespace obs_sayline::bench {

inline void quietLogHandler(int, const char* format, va_list args, void*) {
    char buffer[4096];
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(buffer, sizeof(buffer), format, copy);
    va_end(copy);
    benchmark::DoNotOptimize(buffer);
}

inline void quietHostLog() { base_set_log_handler(&quietLogHandler, nullptr); }

}  // namespace obs_sayline::bench
