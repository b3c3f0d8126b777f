// YouTube's clock in the reply to a caption post.

#include "fuzz_support.h"
#include "sinks/youtube/caption_wire.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzz::bytes(data, size);
    fuzz::noThrow("parseCaptionTime", [&] {
        const auto parsed = parseCaptionTime(body);
        if (!parsed) return;
        // A time that was read must read back the same once written in the posts' form.
        const std::string written = formatCaptionTime(*parsed);
        const auto again = parseCaptionTime(written);
        if (!again || *again != *parsed) fuzz::fail("parseCaptionTime", "round trip: " + written);
    });
    return 0;
}
