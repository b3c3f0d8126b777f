#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/endpoint.h"
#include "live/streaming_recognition.h"
#include "stt/stt_types.h"
#include "translation/translation_types.h"

namespace obs_sayline {

class ISttEngine;
class ITranslationProvider;

// The services a source asked for, with their keys (already cleaned).
struct ServiceChoice {
    SttEngineType engine = SttEngineType::None;
    std::string sttApiKey;
    // Whisper API only: another OpenAI-compatible server (empty: the default service, or its
    // environment override) and the model to ask it for (empty: the engine's default).
    std::string whisperServerUrl;
    std::string whisperModel;
    std::string sourceLanguage;
    // The streamer's words for the recogniser (parseVocabulary's list) and the service's own
    // profanity filter.
    std::vector<std::string> vocabulary;
    bool serviceProfanityFilter = false;
    bool enableTranslation = true;
    ProviderType provider = ProviderType::None;
    std::string translationApiKey;
    // OpenAI only: another server that speaks its chat completions (a local model server;
    // empty: the default service, or its environment override).
    std::string translationServerUrl;
    // OpenAI and Anthropic only: the model to ask for (empty: the provider's default).
    std::string translationModel;
};

struct PreparedEngine {
    std::shared_ptr<ISttEngine> engine;  // null when there is none of that kind, or it failed
    bool failed = false;                 // initialisation failed (logged)
    // Whisper API: the server URL of the settings when accepted, else why it was refused
    // (logged; the default server is used then).
    std::optional<AcceptedBaseUrl> customServer;
    std::string serverRefusal;
};

// Creates, initialises and keys the speech engine. A Whisper server URL that is refused is
// logged with a Warning naming the setting (never its value) and the default server kept; a key
// that would travel as plain http to another machine gets one Warning.
PreparedEngine prepareSttEngine(const ServiceChoice& choice);

// Deepgram's live recognition for the choice: its key (reported as the engines' keys are),
// the service base and the language, cut at pauses of `pauseMs`.
StreamingSetup prepareStreaming(const ServiceChoice& choice, int pauseMs);

struct PreparedTranslator {
    // null when translation is off, none is chosen, the factory has none of that kind, the
    // server URL was refused, or initialisation failed
    std::shared_ptr<ITranslationProvider> provider;
    bool failed = false;        // initialisation failed (logged)
    std::string serverRefusal;  // why the server URL was refused (logged)
};

// Creates, initialises and keys the translation provider. A translation server URL that is
// refused is logged with a Warning naming the setting (never its value) and leaves no provider:
// the text is not sent to a service the user did not name.
PreparedTranslator prepareTranslation(const ServiceChoice& choice);
// prepareTranslation's provider.
std::shared_ptr<ITranslationProvider> prepareTranslator(const ServiceChoice& choice);

}  // namespace obs_sayline
