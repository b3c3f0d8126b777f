#pragma once

// How much memory this test process holds, read from /proc.

#include <malloc.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace obs_sayline::test {

// Growth a bounded operation may show: the sanitizers inflate what it touches.
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer quarantines freed blocks, so every buffer used stays resident.
constexpr long kMemoryGrowthBound = 64L << 20;
// A whole host at work frees far more: its quarantine holds up to 256 MB of it. A runaway
// text kept whole costs more still (the host once grew by 380 MB for one subtitle).
constexpr long kHostMemoryGrowthBound = 192L << 20;
#elif defined(__SANITIZE_THREAD__)
// ThreadSanitizer's shadow takes four times the memory touched.
constexpr long kMemoryGrowthBound = 96L << 20;
constexpr long kHostMemoryGrowthBound = kMemoryGrowthBound;
#else
constexpr long kMemoryGrowthBound = 16L << 20;
constexpr long kHostMemoryGrowthBound = kMemoryGrowthBound;
#endif

// Resident set of this process in bytes, after the allocator has handed back what it only
// keeps cached (so that what is measured is memory still in use).
inline long residentBytes() {
    malloc_trim(0);
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Restarts the kernel's peak resident count (VmHWM); false where that is not allowed.
inline bool resetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

// The peak resident set since resetPeakResident(): a buffer filled whole and then freed would
// not show in the resident set afterwards.
inline long peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) * 1024;
    }
    return 0;
}

}  // namespace obs_sayline::test
