#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace obs_sayline {

constexpr const char* kTestCaptionText = "Sayline caption test";

// What YouTube made of a test caption.
struct TestCaptionAnswer {
    std::string refusal;  // the URL was refused, nothing was sent: why
    int32_t status = 0;   // YouTube's HTTP status; 0 when it did not answer
    std::string body;     // the reply's body (at most 256 bytes of it)
    std::string error;    // the transfer's failure when there was no answer
    int64_t roundTripMs = 0;
    // YouTube's clock minus this computer's, when the reply carried its time.
    std::optional<int64_t> clockOffsetMs;

    bool taken() const { return status >= 200 && status <= 299; }
};

struct TestCaptionOptions {
    int32_t timeoutMs = 10000;
    std::string caBundlePath;  // empty: the system's roots
};

// Posts one caption, kTestCaptionText timed now, to the caption URL as pasted, as a post of
// its own (seq 1, no retry), outside any running stream's count. Blocks for up to the timeout
// (sooner when the worker it runs on is cancelled): call it on a worker, never on the host's
// threads.
TestCaptionAnswer postTestCaption(const std::string& pastedUrl,
                                  const TestCaptionOptions& options = {});

}  // namespace obs_sayline
