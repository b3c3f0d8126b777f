#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/result.h"

namespace obs_sayline {

// Parses a service reply (speech engines and translation providers alike). Empty body:
// InvalidArgument "Empty JSON string"; syntax error: ConfigParseError "JSON parse error at position
// <byte>: <explanation>"; anything else thrown while parsing: ConfigParseError "JSON parse error:
// <explanation>".
Result<nlohmann::json> parseJsonReply(const std::string& body);

// The member `key` of `object` when `object` is an object holding a string there.
std::optional<std::string> stringMember(const nlohmann::json& object, const char* key);

// Seconds (a reply's JSON number) to whole milliseconds, truncated toward zero. Values outside
// the 64-bit range saturate instead of overflowing.
int64_t secondsToMs(double seconds) noexcept;

}  // namespace obs_sayline
