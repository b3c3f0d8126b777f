#include "plugin/subtitle_handoff.h"

#include <mutex>

#include "core/logger.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {

std::string composeDisplayText(const std::string& recognised, const std::string& translated,
                               bool enableTranslation, bool showOriginal) {
    if (enableTranslation && !translated.empty()) {
        return showOriginal ? recognised + "\n" + translated : translated;
    }
    return recognised;
}

bool publishSubtitle(SourceSharedState& shared, const std::string& recognised,
                     const std::string& translated, bool enableTranslation, bool showOriginal) {
    std::lock_guard<std::mutex> lock(shared.textMutex);
    if (shared.orphaned.load()) {
        logDebugTag("STT", "Source is gone, result dropped");
        return false;
    }
    shared.originalText = recognised;
    shared.translatedText = translated;
    if (recognised.empty()) return false;
    shared.pendingText =
        composeDisplayText(recognised, translated, enableTranslation, showOriginal);
    shared.textDirty.exchange(true);
    return true;
}

std::optional<std::string> takePendingSubtitle(SourceSharedState& shared) {
    if (!shared.textDirty.exchange(false)) return std::nullopt;
    std::lock_guard<std::mutex> lock(shared.textMutex);
    return shared.pendingText;
}

}  // namespace obs_sayline
