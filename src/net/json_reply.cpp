#include "net/json_reply.h"

#include <cmath>
#include <exception>
#include <limits>

namespace obs_sayline {

Result<nlohmann::json> parseJsonReply(const std::string& body) {
    if (body.empty()) return {ErrorCode::InvalidArgument, "Empty JSON string"};
    try {
        return nlohmann::json::parse(body);
    } catch (const nlohmann::json::parse_error& e) {
        return {ErrorCode::ConfigParseError,
                "JSON parse error at position " + std::to_string(e.byte) + ": " + e.what()};
    } catch (const std::exception& e) {
        return {ErrorCode::ConfigParseError, std::string("JSON parse error: ") + e.what()};
    }
}

std::optional<std::string> stringMember(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

int64_t secondsToMs(double seconds) noexcept {
    const double ms = seconds * 1000.0;
    if (std::isnan(ms)) return 0;
    // 2^63 is exactly representable; anything at or past it would overflow the conversion.
    constexpr double kLimit = 9223372036854775808.0;
    if (ms >= kLimit) return std::numeric_limits<int64_t>::max();
    if (ms <= -kLimit) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(ms);
}

}  // namespace obs_sayline
