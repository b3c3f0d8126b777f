#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace obs_sayline {

// The numbers are stored in source settings and used as factory keys: never renumber.
enum class ProviderType : int32_t {
    None = 0,
    DeepL = 1,
    GoogleTranslate = 2,
    OpenAI = 3,
    Anthropic = 4,
    Gemini = 5,
    Ollama = 6,
    LlamaCpp = 7,
};

enum class ProviderCategory : int32_t { MachineTranslation = 0, CloudLlm = 1, LocalLlm = 2 };

// "deepl", "google_translate", ...; "unknown" for any other value.
const char* providerTypeName(ProviderType type) noexcept;

// Derived from the type number, never stored.
ProviderCategory providerCategory(ProviderType type) noexcept;

struct ProviderConfig {
    ProviderType type = ProviderType::DeepL;
    // Non-empty: replaces the provider's built-in URL; for OpenAI the base URL of another
    // server, which gets the request path after its own.
    std::string endpoint;
    std::string model;          // non-empty: replaces the default model (the LLM providers)
    int32_t maxRetries = 3;     // kept only; each client's retry count is fixed at construction
    int32_t timeoutMs = 10000;  // > 0 replaces the provider's request timeout
    bool extraFlag = false;
};

struct TranslationRequest {
    std::string text;            // UTF-8; its byte length is what limits and statistics count
    std::string sourceLanguage;  // empty or "auto": let the service detect it
    std::string targetLanguage;
    std::string context;  // earlier subtitle text, shown to LLM providers only
    // Names and words the LLM providers are asked to keep exactly as written; the machine
    // translators ignore them. Bounded where the prompt is built.
    std::vector<std::string> keepTerms{};
};

struct TranslationResult {
    std::string translatedText;
    std::string detectedLanguage;
    float confidence = 0.0f;
    int64_t latencyMs = 0;
    int32_t promptTokens = 0;
    int32_t completionTokens = 0;
};

using TranslationStreamCallback = std::function<void(const TranslationResult&, bool isFinal)>;
// Stored for callers that want it; no provider invokes it.
using TranslationAuxCallback = std::function<void(const std::string&)>;

class ITranslationProvider;
using ProviderCreator = std::function<std::shared_ptr<ITranslationProvider>()>;

struct ProviderInfo {
    ProviderType type = ProviderType::None;
    ProviderCategory category = ProviderCategory::MachineTranslation;
    std::string name;
    std::string description;
    bool requiresApiKey = false;
    bool supportsStreaming = false;
    bool flag3 = false;  // stored only
    bool flag4 = false;  // stored only
};

}  // namespace obs_sayline
