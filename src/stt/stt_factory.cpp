#include "stt/stt_factory.h"

#include <map>
#include <mutex>
#include <utility>

#include "core/logger.h"
#include "stt/deepgram_engine.h"
#include "stt/google_stt_engine.h"
#include "stt/whisper_api_engine.h"

namespace obs_sayline {

namespace {

constexpr const char* kTag = "SttFactory";

struct Registration {
    SttEngineCreator creator;
    SttEngineInfo info;
};

struct Registry {
    std::mutex mutex;
    std::map<SttEngineType, Registration> entries;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

SttEngineInfo builtInInfo(SttEngineType type, const char* name, const char* description) {
    SttEngineInfo info;
    info.type = type;
    info.name = name;
    info.description = description;
    info.requiresApiKey = true;
    info.supportsStreaming = false;
    info.runsLocally = false;
    return info;
}

void registerBuiltIns() {
    SttFactory::registerEngine(
        SttEngineType::WhisperApi, [] { return std::make_shared<WhisperApiEngine>(); },
        builtInInfo(SttEngineType::WhisperApi, "Whisper API",
                    "OpenAI Whisper API - Cloud-based speech recognition with high accuracy"));
    SttFactory::registerEngine(
        SttEngineType::GoogleStt, [] { return std::make_shared<GoogleSttEngine>(); },
        builtInInfo(SttEngineType::GoogleStt, "Google Speech-to-Text",
                    "Google Cloud Speech-to-Text API v1 - High accuracy with wide language "
                    "support"));
    SttFactory::registerEngine(
        SttEngineType::Deepgram, [] { return std::make_shared<DeepgramEngine>(); },
        builtInInfo(SttEngineType::Deepgram, "Deepgram",
                    "Deepgram Speech-to-Text API (Nova-3) - Fast, high-accuracy cloud "
                    "recognition"));
    logDebugTag(kTag, "Built-in STT engines registered");
}

}  // namespace

std::shared_ptr<ISttEngine> SttFactory::create(SttEngineType type) {
    static std::once_flag builtInsOnce;
    std::call_once(builtInsOnce, registerBuiltIns);

    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.entries.find(type);
    if (it == reg.entries.end()) {
        logWarningTag(kTag, "Unknown STT engine type: %d", static_cast<int>(type));
        return nullptr;
    }
    logDebugTag(kTag, "Creating STT engine: %s", it->second.info.name.c_str());
    return it->second.creator();
}

bool SttFactory::registerEngine(SttEngineType type, SttEngineCreator creator,
                                const SttEngineInfo& info) {
    if (!creator) {
        logErrorTag(kTag, "Cannot register engine with null creator");
        return false;
    }
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (reg.entries.count(type) != 0) {
        logWarningTag(kTag, "Engine type %d already registered, replacing", static_cast<int>(type));
    }
    reg.entries[type] = Registration{std::move(creator), info};
    logDebugTag(kTag, "Registered STT engine: %s", info.name.c_str());
    return true;
}

}  // namespace obs_sayline
