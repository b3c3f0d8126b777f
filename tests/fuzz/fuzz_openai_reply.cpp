// The OpenAI provider's reading of a 2xx chat completions reply (the same reader serves local
// servers of that request) and the error reading it shares with the Anthropic provider.

#include "fuzz_support.h"
#include "translation/openai_provider.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HttpResponse response;
    response.statusCode = fuzz::errorStatus(size);
    response.body = fuzz::bytes(data, size);
    fuzz::noThrow("parseOpenAiReply", [&] {
        auto result = parseOpenAiReply(response.body, "ko", OpenAiProvider::kDefaultModel);
        if (result.isError() && result.error().code == ErrorCode::TranslationFailed) return;
        fuzz::expectResult("parseOpenAiReply", result, ErrorCode::InvalidResponse);
    });
    fuzz::noThrow("chatServiceErrorMessage", [&] { (void)chatServiceErrorMessage(response); });
    return 0;
}
