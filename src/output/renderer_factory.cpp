#include "output/renderer_factory.h"

#include <map>
#include <mutex>
#include <utility>

#include "core/logger.h"
#include "output/text_source_renderer.h"

namespace obs_sayline {
namespace {

constexpr const char* kTag = "RendererFactory";

struct Registration {
    RendererFactory::Creator creator;
    RendererInfo info;
};

struct Registry {
    std::mutex mutex;
    std::map<int32_t, Registration> entries;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

bool store(int32_t type, RendererFactory::Creator creator, RendererInfo info) {
    if (!creator) {
        logErrorTag(kTag, "Cannot register renderer with null creator");
        return false;
    }
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (reg.entries.count(type)) {
        logWarningTag(kTag, "Renderer type %d already registered, replacing", type);
    }
    const std::string name = info.name;
    reg.entries[type] = Registration{std::move(creator), std::move(info)};
    logDebugTag(kTag, "Registered subtitle renderer: %s", name.c_str());
    return true;
}

void registerBuiltIns() {
    static std::once_flag once;
    std::call_once(once, [] {
        store(
            1, [] { return std::make_shared<TextSourceRenderer>(); },
            RendererInfo{1, "OBS Text Source",
                         "Renders subtitles using OBS text source - simple and reliable"});
        logDebugTag(kTag, "Built-in subtitle renderers registered");
    });
}

}  // namespace

std::shared_ptr<ISubtitleRenderer> RendererFactory::create(int32_t type) {
    registerBuiltIns();
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.entries.find(type);
    if (it == reg.entries.end()) {
        logWarningTag(kTag, "Unknown renderer type: %d", type);
        return nullptr;
    }
    logDebugTag(kTag, "Creating subtitle renderer: %s", it->second.info.name.c_str());
    return it->second.creator();
}

bool RendererFactory::registerRenderer(int32_t type, Creator creator, RendererInfo info) {
    // Built-ins first, so a kind registered before the first create() replaces the built-in
    // instead of being replaced by it.
    registerBuiltIns();
    return store(type, std::move(creator), std::move(info));
}

}  // namespace obs_sayline
