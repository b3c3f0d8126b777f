// The Gemini provider's reading of a 2xx reply and of an error reply. translateStream delivers
// the same reply in one piece, so there is no separate streaming reader.

#include "fuzz_support.h"
#include "translation/gemini_provider.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HttpResponse response;
    response.statusCode = fuzz::errorStatus(size);
    response.body = fuzz::bytes(data, size);
    fuzz::noThrow("parseGeminiReply", [&] {
        fuzz::expectResult("parseGeminiReply",
                           parseGeminiReply(response.body, "ko", GeminiProvider::kDefaultModel),
                           ErrorCode::TranslationFailed);
    });
    fuzz::noThrow("geminiErrorMessage", [&] { (void)geminiErrorMessage(response); });
    return 0;
}
