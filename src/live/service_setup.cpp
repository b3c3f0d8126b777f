#include "live/service_setup.h"

#include "core/logger.h"
#include "net/endpoint.h"
#include "stt/deepgram_engine.h"
#include "stt/google_stt_engine.h"
#include "stt/stt_factory.h"
#include "stt/stt_service_client.h"
#include "stt/whisper_api_engine.h"
#include "translation/provider_factory.h"

namespace obs_sayline {
namespace {

// Engines that take the key from the source's settings, with their log lines.
template <typename Engine>
void handOverKey(ISttEngine& engine, const std::string& key, const char* configured,
                 const char* missing, const char* castFailed) {
    auto* keyed = dynamic_cast<Engine*>(&engine);
    if (key.empty()) {
        logWarning("%s", missing);
    } else if (keyed) {
        keyed->setApiKey(key);
        logInfo("%s", configured);
    } else {
        logWarning("%s", castFailed);
    }
}

// Server and model from the settings; the key hand-over follows.
void chooseWhisperServer(WhisperApiEngine& engine, const ServiceChoice& choice,
                         PreparedEngine& prepared) {
    engine.setModel(choice.whisperModel);
    if (choice.whisperServerUrl.empty()) return;
    const BaseUrlVerdict verdict = judgeServerUrl(choice.whisperServerUrl);
    if (!verdict.accepted) {
        prepared.serverRefusal = verdict.refusal;
        logWarningTag("STT", "Ignoring Server URL (whisper_base_url): %s; using the default server",
                      verdict.refusal.c_str());
        return;
    }
    engine.setServer(*verdict.accepted);
    prepared.customServer = *verdict.accepted;
}

// Whether the engine will find a key (its own, or its environment variable's).
bool engineHasKey(ISttEngine& engine) {
    if (auto* whisper = dynamic_cast<WhisperApiEngine*>(&engine)) return whisper->hasApiKey();
    if (auto* deepgram = dynamic_cast<DeepgramEngine*>(&engine)) return deepgram->hasApiKey();
    if (auto* google = dynamic_cast<GoogleSttEngine*>(&engine)) return google->hasApiKey();
    return true;
}

}  // namespace

PreparedEngine prepareSttEngine(const ServiceChoice& choice) {
    PreparedEngine prepared;
    if (choice.engine == SttEngineType::WhisperLocal) {
        // Not the factory's "unknown engine type": the user chose it from the list.
        logWarningTag("STT", "%s", kWhisperLocalUnavailable);
        return prepared;
    }
    auto engine = SttFactory::create(choice.engine);
    if (!engine) return prepared;
    prepared.name = engine->getName();

    SttEngineConfig config;
    config.engineType = choice.engine;
    config.language = choice.sourceLanguage;
    config.wordTimestamps = false;
    config.vocabulary = choice.vocabulary;
    config.profanityFilter = choice.serviceProfanityFilter;
    auto initialized = engine->initialize(config);
    if (!initialized) {
        logErrorTag("STT", "Failed to initialize STT engine: %s",
                    initialized.error().message.c_str());
        prepared.failed = true;
        prepared.failure = initialized.error().message;
        return prepared;
    }

    if (choice.engine == SttEngineType::WhisperApi) {
        auto* whisper = dynamic_cast<WhisperApiEngine*>(engine.get());
        if (whisper) chooseWhisperServer(*whisper, choice, prepared);
        if (prepared.customServer && choice.sttApiKey.empty()) {
            // Servers of one's own often want no key.
            logInfo("STT API key not set - none is sent to the server");
        } else {
            handOverKey<WhisperApiEngine>(*engine, choice.sttApiKey, "Whisper API key configured",
                                          "STT API key not set - check settings",
                                          "Failed to set API key - dynamic_cast failed");
        }
        if (whisper && prepared.customServer && prepared.customServer->privateNetwork &&
            whisper->hasApiKey()) {
            logWarningTag("STT",
                          "Server URL (whisper_base_url) is plain http:// to another computer: "
                          "the API key crosses the network unencrypted");
        }
    } else if (choice.engine == SttEngineType::Deepgram) {
        handOverKey<DeepgramEngine>(*engine, choice.sttApiKey, "Deepgram API key configured",
                                    "Deepgram API key not set - check settings",
                                    "Failed to set Deepgram API key - dynamic_cast failed");
    }
    // Servers of one's own often want no key.
    prepared.keyMissing = !prepared.customServer && !engineHasKey(*engine);
    logInfoTag("STT", "STT engine initialized: %s", engine->getName().c_str());
    prepared.engine = std::move(engine);
    return prepared;
}

std::vector<SetupProblem> setupProblems(const PreparedEngine& prepared) {
    std::vector<SetupProblem> problems;
    // The server the user named comes first: it may be why no key was given.
    if (!prepared.serverRefusal.empty()) {
        problems.push_back({StatusCode::ServerUrlRefused, prepared.name,
                            prepared.serverRefusal + "; using the default server"});
    }
    if (prepared.keyMissing) problems.push_back({StatusCode::ApiKeyMissing, prepared.name, {}});
    return problems;
}

StreamingSetup prepareStreaming(const ServiceChoice& choice, int pauseMs) {
    StreamingSetup streaming;
    streaming.baseUrl = resolveBaseUrl(endpoints::kDeepgramEnv, endpoints::kDeepgram);
    streaming.apiKey = choice.sttApiKey;
    streaming.language = choice.sourceLanguage;
    streaming.pauseMs = pauseMs;
    streaming.vocabulary = choice.vocabulary;
    streaming.profanityFilter = choice.serviceProfanityFilter;
    if (choice.sttApiKey.empty()) {
        logWarning("Deepgram API key not set - check settings");
    } else {
        logInfo("Deepgram API key configured");
    }
    logInfoTag("STT", "STT engine initialized: %s", "Deepgram (live streaming)");
    return streaming;
}

std::vector<SetupProblem> streamingSetupProblems(const ServiceChoice& choice) {
    if (!resolveApiKey(choice.sttApiKey, {"DEEPGRAM_API_KEY"}).empty()) return {};
    return {{StatusCode::ApiKeyMissing, "Deepgram", {}}};
}

PreparedTranslator prepareTranslation(const ServiceChoice& choice) {
    PreparedTranslator prepared;
    if (!choice.enableTranslation || choice.provider == ProviderType::None) return prepared;

    ProviderConfig config;
    config.type = choice.provider;
    const bool openAi = choice.provider == ProviderType::OpenAI;
    if (openAi || choice.provider == ProviderType::Anthropic)
        config.model = choice.translationModel;
    bool customServer = false;
    if (openAi && !choice.translationServerUrl.empty()) {
        const BaseUrlVerdict verdict = judgeServerUrl(choice.translationServerUrl);
        if (!verdict.accepted) {
            prepared.serverRefusal = verdict.refusal;
            logWarningTag("Translation",
                          "Ignoring Server URL (translation_base_url): %s; translation is off",
                          verdict.refusal.c_str());
            return prepared;
        }
        config.endpoint = verdict.accepted->url;
        customServer = true;
    }

    auto provider = ProviderFactory::create(choice.provider);
    if (!provider) {
        prepared.unavailable = true;
        return prepared;
    }
    prepared.name = provider->getName();
    auto initialized = provider->initialize(config);
    if (!initialized) {
        logErrorTag("Translation", "Failed to initialize translation provider: %s",
                    initialized.error().message.c_str());
        prepared.failed = true;
        prepared.failure = initialized.error().message;
        return prepared;
    }
    if (!choice.translationApiKey.empty()) {
        provider->setApiKey(choice.translationApiKey);
        logInfo("Translation API key configured");
    } else if (customServer) {
        // Servers of one's own often want no key.
        logInfo("Translation API key not set - none is sent to the server");
    } else {
        logWarning("Translation API key not set");
    }
    prepared.keyMissing = !customServer && !provider->hasApiKey();
    logInfoTag("Translation", "Translation provider initialized: %s", provider->getName());
    prepared.provider = std::move(provider);
    return prepared;
}

std::shared_ptr<ITranslationProvider> prepareTranslator(const ServiceChoice& choice) {
    return prepareTranslation(choice).provider;
}

std::vector<SetupProblem> setupProblems(const PreparedTranslator& prepared) {
    if (!prepared.serverRefusal.empty()) {
        return {{StatusCode::ServerUrlRefused, "Translation", prepared.serverRefusal}};
    }
    if (prepared.unavailable)
        return {{StatusCode::TranslationFailed, "The translation service", {}}};
    if (prepared.failed) return {{StatusCode::TranslationFailed, prepared.name, prepared.failure}};
    if (prepared.keyMissing) return {{StatusCode::ApiKeyMissing, prepared.name, {}}};
    return {};
}

}  // namespace obs_sayline
