#pragma once

// Counts heap allocations made by the benchmark's own thread (the audio thread's stand-in)
// while `countHere` is set; other threads' allocations are their own business. Replaces the
// global operator new, so include it in one source file of a benchmark only.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

// The counting operator new hands out malloc memory, which the matching delete frees; once
// inlined, GCC cannot pair them and would warn.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

std::atomic<uint64_t> allocations{0};
thread_local bool countHere = false;

}  // namespace

void* operator new(std::size_t size) {
    if (countHere) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
