// The shared JSON reader of every service reply.

#include "fuzz_support.h"
#include "net/json_reply.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzz::bytes(data, size);
    fuzz::noThrow("parseJsonReply", [&] {
        auto parsed = parseJsonReply(body);
        if (parsed.isError()) {
            const ErrorCode expected =
                body.empty() ? ErrorCode::InvalidArgument : ErrorCode::ConfigParseError;
            fuzz::expectResult("parseJsonReply", parsed, expected);
            return;
        }
        if (body.empty()) fuzz::fail("parseJsonReply", "accepted an empty body");
        const nlohmann::json& doc = parsed.value();
        if (!doc.is_object()) return;
        for (const auto& member : doc.items()) {
            (void)stringMember(doc, member.key().c_str());
            if (member.value().is_number()) (void)secondsToMs(member.value().get<double>());
        }
    });
    return 0;
}
