#include "translation/translation_types.h"

namespace obs_sayline {

const char* providerTypeName(ProviderType type) noexcept {
    switch (type) {
        case ProviderType::None:
            return "none";
        case ProviderType::DeepL:
            return "deepl";
        case ProviderType::GoogleTranslate:
            return "google_translate";
        case ProviderType::OpenAI:
            return "openai";
        case ProviderType::Anthropic:
            return "anthropic";
        case ProviderType::Gemini:
            return "gemini";
        case ProviderType::Ollama:
            return "ollama";
        case ProviderType::LlamaCpp:
            return "llamacpp";
    }
    return "unknown";
}

ProviderCategory providerCategory(ProviderType type) noexcept {
    const auto value = static_cast<int32_t>(type);
    if (value >= 3 && value <= 5) return ProviderCategory::CloudLlm;
    if (value == 6 || value == 7) return ProviderCategory::LocalLlm;
    return ProviderCategory::MachineTranslation;
}

}  // namespace obs_sayline
