#include "plugin/source_lifecycle.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <set>

#include "core/logger.h"
#include "plugin/callback_guard.h"
#include "plugin/source_capture.h"
#include "plugin/source_log.h"
#include "plugin/source_settings.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

std::atomic<bool> shuttingDown{false};

// Every record the host holds, so that its shutdown can reach them all.
std::mutex recordsMutex;
std::set<SubtitleSourceData*> records;  // guarded by recordsMutex

}  // namespace

bool hostShuttingDown() { return shuttingDown.load(); }
void resetHostShutdown() { shuttingDown.store(false); }

void subtitle_source_free_type_data(void*) {
    guardCallback("subtitle_source_free_type_data", [] {
        shuttingDown.store(true);
        logDebug("Host is shutting down");
        // Sources still held are destroyed after the modules are unloaded; the private text
        // sources must go while their own module (the host's text plug-in) is still there.
        {
            std::lock_guard<std::mutex> lock(recordsMutex);
            for (SubtitleSourceData* record : records) {
                record->rows->close(true);
                record->statusOverlay.release();
            }
        }
        obs_wait_for_destroy_queue();
    });
}

const char* subtitle_source_get_name(void*) {
    return guardCallback("subtitle_source_get_name", kSourceDisplayName, [] {
        injectFault(Fault::Name);
        return kSourceDisplayName;
    });
}

void* subtitle_source_create(obs_data_t* settings, obs_source_t* source) {
    return guardCallback("subtitle_source_create", static_cast<void*>(nullptr), [&]() -> void* {
        SubtitleSourceData* data = nullptr;
        try {
            armFaultsFromEnvironment();
            injectFault(Fault::Create);
            data = new SubtitleSourceData(source);
        } catch (const std::exception& e) {
            logErrorTag("Plugin", "Failed to create subtitle source: %s", e.what());
            return nullptr;
        } catch (...) {
            logErrorTag("Plugin", "Failed to create subtitle source: %s", "unknown exception");
            return nullptr;
        }
        {
            std::lock_guard<std::mutex> lock(recordsMutex);
            records.insert(data);
        }
        if (settings) subtitle_source_update(data, settings);
        return data;
    });
}

void subtitle_source_destroy(void* data) {
    guardCallback("subtitle_source_destroy", [&] {
        if (!data) return;
        auto* record = static_cast<SubtitleSourceData*>(data);
        {
            std::lock_guard<std::mutex> lock(recordsMutex);
            records.erase(record);
        }
        try {
            injectFault(Fault::Destroy);
        } catch (...) {
            // The record is freed whatever happens: the host forgets it after this call.
            delete record;
            throw;
        }
        delete record;
    });
}

uint32_t subtitle_source_get_width(void* data) {
    return guardCallback("subtitle_source_get_width", kDefaultSourceWidth, [&] {
        injectFault(Fault::Size);
        return data ? static_cast<SubtitleSourceData*>(data)->width.load() : kDefaultSourceWidth;
    });
}

uint32_t subtitle_source_get_height(void* data) {
    return guardCallback("subtitle_source_get_height", kDefaultSourceHeight, [&] {
        return data ? static_cast<SubtitleSourceData*>(data)->height.load()
                    : kDefaultSourceHeight;
    });
}

void subtitle_source_activate(void* data) {
    guardCallback("subtitle_source_activate", [&] {
        if (!data) {
            logError("Activate called without a source record");
            return;
        }
        injectFault(Fault::Activate);
        auto& record = *static_cast<SubtitleSourceData*>(data);
        logSource(LogLevel::Info, record.source, "shown - starting capture");
        record.sinks->sourceActivated();
        startCapture(record);
    });
}

void subtitle_source_deactivate(void* data) {
    guardCallback("subtitle_source_deactivate", [&] {
        if (!data) return;
        injectFault(Fault::Deactivate);
        auto& record = *static_cast<SubtitleSourceData*>(data);
        logSource(LogLevel::Info, record.source, "hidden");
        stopCapture(record);
        record.sinks->sourceDeactivated();
    });
}

}  // namespace obs_sayline
