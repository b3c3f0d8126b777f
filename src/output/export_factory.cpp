#include "output/export_factory.h"

#include <map>
#include <mutex>
#include <utility>

#include "core/logger.h"
#include "output/srt_exporter.h"
#include "output/vtt_exporter.h"

namespace obs_sayline {

namespace {

constexpr const char* kTag = "ExportFactory";

struct Registration {
    ExportFactory::Creator creator;
    ExportFormatInfo info;
};

struct Registry {
    std::mutex mutex;
    std::map<ExportFormat, Registration> entries;
    bool builtinsRegistered = false;
};

// Locks the registry, registering the built-ins on first use.
std::unique_lock<std::mutex> lockRegistry(Registry*& out) {
    static Registry registry;
    out = &registry;
    std::unique_lock<std::mutex> lock(registry.mutex);
    if (!registry.builtinsRegistered) {
        registry.builtinsRegistered = true;
        registry.entries[ExportFormat::Srt] = {
            [] { return std::make_shared<SrtExporter>(); },
            {"SubRip (SRT)", "Standard subtitle format, widely supported by media players", "srt",
             "text/plain"}};
        registry.entries[ExportFormat::WebVtt] = {
            [] { return std::make_shared<VttExporter>(); },
            {"WebVTT", "Web Video Text Tracks format for HTML5 video", "vtt", "text/vtt"}};
        logDebugTag(kTag, "Built-in subtitle exporters registered");
    }
    return lock;
}

}  // namespace

std::shared_ptr<ISubtitleExporter> ExportFactory::create(ExportFormat format) {
    Creator creator;
    {
        Registry* registry = nullptr;
        auto lock = lockRegistry(registry);
        auto it = registry->entries.find(format);
        if (it == registry->entries.end()) {
            logWarningTag(kTag, "Unknown export format: %d", static_cast<int>(format));
            return nullptr;
        }
        logDebugTag(kTag, "Creating subtitle exporter: %s", it->second.info.name.c_str());
        creator = it->second.creator;
    }
    // Outside the lock: a creator may itself use the factory.
    return creator();
}

bool ExportFactory::registerExporter(ExportFormat format, Creator creator, ExportFormatInfo info) {
    Registry* registry = nullptr;
    auto lock = lockRegistry(registry);
    if (!creator) {
        logErrorTag(kTag, "Cannot register exporter with null creator");
        return false;
    }
    if (registry->entries.count(format) != 0) {
        logWarningTag(kTag, "Export format %d already registered, replacing",
                      static_cast<int>(format));
    }
    const std::string name = info.name;
    registry->entries[format] = {std::move(creator), std::move(info)};
    logDebugTag(kTag, "Registered subtitle exporter: %s", name.c_str());
    return true;
}

std::optional<ExportFormatInfo> ExportFactory::getFormatInfo(ExportFormat format) {
    Registry* registry = nullptr;
    auto lock = lockRegistry(registry);
    auto it = registry->entries.find(format);
    if (it == registry->entries.end()) return std::nullopt;
    return it->second.info;
}

std::vector<ExportFormat> ExportFactory::getAvailableFormats() {
    Registry* registry = nullptr;
    auto lock = lockRegistry(registry);
    std::vector<ExportFormat> formats;
    for (const auto& [format, registration] : registry->entries) formats.push_back(format);
    return formats;
}

}  // namespace obs_sayline
