#pragma once

#include <optional>
#include <string>

namespace obs_sayline {

struct SourceSharedState;

// The text a viewer sees for one result: the translation (under the recognised text when the
// original is shown too), or the recognised text alone when there is no translation.
std::string composeDisplayText(const std::string& recognised, const std::string& translated,
                               bool enableTranslation, bool showOriginal);

// Records the latest result and, when there is text, leaves its display text for the renderer
// and raises the dirty flag. A source that is gone drops the result. Returns true when a new
// display text was left.
bool publishSubtitle(SourceSharedState& shared, const std::string& recognised,
                     const std::string& translated, bool enableTranslation, bool showOriginal);

// For the renderer: the display text left since the last call, if any.
std::optional<std::string> takePendingSubtitle(SourceSharedState& shared);

}  // namespace obs_sayline
