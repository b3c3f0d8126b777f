// The Deepgram engine's reading of a 2xx reply and of an error reply.

#include "fuzz_support.h"
#include "stt/deepgram_engine.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzz::bytes(data, size);
    fuzz::noThrow("parseDeepgramReply", [&] {
        fuzz::expectResult("parseDeepgramReply", parseDeepgramReply(body),
                           ErrorCode::SttRecognitionError);
    });
    fuzz::noThrow("deepgramErrorMessage",
                  [&] { (void)deepgramErrorMessage(fuzz::errorStatus(size), body); });
    return 0;
}
