#pragma once

#include <cstddef>
#include <string>

namespace obs_sayline {

// The text a viewer sees for one result: the translation (under the recognised text when the
// original is shown too), or the recognised text alone when there is no translation.
std::string composeDisplayText(const std::string& recognised, const std::string& translated,
                               bool enableTranslation, bool showOriginal);

// Each line cut to at most `maxChars` characters, never inside a UTF-8 character. Bytes that
// are not valid UTF-8 count as one character each.
std::string limitLineLength(const std::string& text, size_t maxChars);

}  // namespace obs_sayline
