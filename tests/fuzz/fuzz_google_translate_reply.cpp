// The Google Translate provider's reading of a 2xx reply and of an error reply.

#include "fuzz_support.h"
#include "translation/google_translate_provider.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HttpResponse response;
    response.statusCode = fuzz::errorStatus(size);
    response.body = fuzz::bytes(data, size);
    fuzz::noThrow("parseGoogleTranslateReply", [&] {
        fuzz::expectResult("parseGoogleTranslateReply", parseGoogleTranslateReply(response.body),
                           ErrorCode::TranslationFailed);
    });
    fuzz::noThrow("googleTranslateErrorMessage",
                  [&] { (void)googleTranslateErrorMessage(response); });
    return 0;
}
