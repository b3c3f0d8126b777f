#include "translation/provider_factory.h"

#include <map>
#include <mutex>
#include <utility>

#include "core/logger.h"
#include "translation/anthropic_provider.h"
#include "translation/deepl_provider.h"
#include "translation/gemini_provider.h"
#include "translation/google_translate_provider.h"
#include "translation/openai_provider.h"

namespace obs_sayline {

namespace {

constexpr const char* kTag = "ProviderFactory";

struct Entry {
    ProviderCreator creator;
    ProviderInfo info;
};

struct Registry {
    std::mutex mutex;
    std::map<int32_t, Entry> entries;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

ProviderInfo info(ProviderType type, const char* name, const char* description,
                  bool supportsStreaming, bool flag4) {
    ProviderInfo row;
    row.type = type;
    row.category = providerCategory(type);
    row.name = name;
    row.description = description;
    row.requiresApiKey = true;
    row.supportsStreaming = supportsStreaming;
    row.flag3 = false;
    row.flag4 = flag4;
    return row;
}

void registerBuiltIns() {
    ProviderFactory::registerProvider(
        ProviderType::DeepL, [] { return std::make_shared<DeepLProvider>(); },
        info(ProviderType::DeepL, "DeepL",
             "DeepL API - High-quality translation, best for Korean-English", false, true));
    ProviderFactory::registerProvider(
        ProviderType::GoogleTranslate, [] { return std::make_shared<GoogleTranslateProvider>(); },
        info(ProviderType::GoogleTranslate, "Google Translate",
             "Google Translate API - 100+ languages including Vietnamese, Indonesian", false,
             false));
    ProviderFactory::registerProvider(
        ProviderType::Gemini, [] { return std::make_shared<GeminiProvider>(); },
        info(ProviderType::Gemini, "Google Gemini",
             "Google Gemini LLM - Context-aware translation with streaming support", true, false));
    // Also the provider of local model servers (Ollama, llama.cpp's server) through a server
    // URL: they speak the same chat completions request.
    ProviderFactory::registerProvider(
        ProviderType::OpenAI, [] { return std::make_shared<OpenAiProvider>(); },
        info(ProviderType::OpenAI, "OpenAI GPT",
             "OpenAI chat completions - GPT models, or any compatible server of your own", false,
             false));
    ProviderFactory::registerProvider(
        ProviderType::Anthropic, [] { return std::make_shared<AnthropicProvider>(); },
        info(ProviderType::Anthropic, "Anthropic Claude", "Anthropic Messages API - Claude models",
             false, false));
    logDebugTag(kTag, "Built-in translation providers registered");
}

}  // namespace

std::shared_ptr<ITranslationProvider> ProviderFactory::create(ProviderType type) {
    static std::once_flag builtIns;
    std::call_once(builtIns, registerBuiltIns);

    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.entries.find(static_cast<int32_t>(type));
    if (it == reg.entries.end()) {
        logWarningTag(kTag, "Unknown provider type: %d", static_cast<int>(type));
        return nullptr;
    }
    logDebugTag(kTag, "Creating translation provider: %s", it->second.info.name.c_str());
    return it->second.creator();
}

bool ProviderFactory::registerProvider(ProviderType type, ProviderCreator creator,
                                       ProviderInfo info) {
    if (!creator) {
        logErrorTag(kTag, "Cannot register provider with null creator");
        return false;
    }
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    const auto key = static_cast<int32_t>(type);
    if (reg.entries.count(key) != 0) {
        logWarningTag(kTag, "Provider type %d already registered, replacing", key);
    }
    const std::string name = info.name;
    reg.entries[key] = Entry{std::move(creator), std::move(info)};
    logDebugTag(kTag, "Registered translation provider: %s", name.c_str());
    return true;
}

}  // namespace obs_sayline
