// The Google Speech-to-Text engine's reading of a 2xx reply (with and without word times) and
// of an error reply.

#include "fuzz_support.h"
#include "stt/google_stt_engine.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzz::bytes(data, size);
    for (bool wordTimes : {false, true}) {
        fuzz::noThrow("parseGoogleSttReply", [&] {
            fuzz::expectResult("parseGoogleSttReply", parseGoogleSttReply(body, "ko-KR", wordTimes),
                               ErrorCode::SttRecognitionError);
        });
    }
    fuzz::noThrow("googleSttErrorMessage",
                  [&] { (void)googleSttErrorMessage(fuzz::errorStatus(size), body); });
    return 0;
}
