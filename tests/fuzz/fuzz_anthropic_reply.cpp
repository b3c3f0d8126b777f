// The Anthropic provider's reading of a 2xx Messages reply (its error replies are read as the
// OpenAI target fuzzes them).

#include "fuzz_support.h"
#include "translation/anthropic_provider.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzz::bytes(data, size);
    fuzz::noThrow("parseAnthropicReply", [&] {
        auto result = parseAnthropicReply(body, "ko", AnthropicProvider::kDefaultModel);
        if (result.isError() && result.error().code == ErrorCode::TranslationFailed) return;
        fuzz::expectResult("parseAnthropicReply", result, ErrorCode::InvalidResponse);
    });
    return 0;
}
