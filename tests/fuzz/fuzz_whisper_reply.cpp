// The Whisper API engine's reading of a 2xx reply and of an error reply.

#include "fuzz_support.h"
#include "stt/whisper_api_engine.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzz::bytes(data, size);
    fuzz::noThrow("parseWhisperReply", [&] {
        fuzz::expectResult("parseWhisperReply", parseWhisperReply(body),
                           ErrorCode::SttRecognitionError);
    });
    fuzz::noThrow("whisperErrorMessage",
                  [&] { (void)whisperErrorMessage(fuzz::errorStatus(size), body); });
    return 0;
}
