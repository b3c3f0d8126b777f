#include "plugin/source_lifecycle.h"

#include <exception>

#include "core/logger.h"
#include "plugin/source_settings.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {

const char* subtitle_source_get_name(void*) { return kSourceDisplayName; }

void* subtitle_source_create(obs_data_t* settings, obs_source_t* source) {
    logInfo("Sayline source create called");
    SubtitleSourceData* data = nullptr;
    try {
        data = new SubtitleSourceData(source);
    } catch (const std::exception& e) {
        logErrorTag("Plugin", "Failed to create subtitle source: %s", e.what());
        return nullptr;
    } catch (...) {
        logErrorTag("Plugin", "Failed to create subtitle source: %s", "unknown exception");
        return nullptr;
    }
    logInfo("Sayline source created successfully");

    if (settings) {
        logInfo("Applying saved settings in create...");
        subtitle_source_update(data, settings);
    }
    return data;
}

void subtitle_source_destroy(void* data) {
    if (!data) return;
    logInfo("Sayline source destroy called");
    delete static_cast<SubtitleSourceData*>(data);
    logInfo("Sayline source destroyed successfully");
}

uint32_t subtitle_source_get_width(void* data) {
    return data ? static_cast<SubtitleSourceData*>(data)->width.load() : kDefaultSourceWidth;
}

uint32_t subtitle_source_get_height(void* data) {
    return data ? static_cast<SubtitleSourceData*>(data)->height.load() : kDefaultSourceHeight;
}

}  // namespace obs_sayline
