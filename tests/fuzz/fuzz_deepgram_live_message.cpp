// The reading of one message of Deepgram's live stream.

#include "fuzz_support.h"
#include "stt/deepgram_live_protocol.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::bytes(data, size);
    fuzz::noThrow("parseDeepgramLiveMessage", [&] {
        fuzz::expectResult("parseDeepgramLiveMessage", parseDeepgramLiveMessage(text),
                           ErrorCode::SttRecognitionError);
    });
    return 0;
}
