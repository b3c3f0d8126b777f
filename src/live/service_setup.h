#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "live/source_status.h"
#include "live/streaming_recognition.h"
#include "net/endpoint.h"
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
    std::string name;                    // the engine's, when there is one of that kind
    std::string failure;                 // why initialisation failed
    // Neither the settings nor the engine's environment variable has a key, and the server
    // wants one (a server of one's own may not).
    bool keyMissing = false;
    // Whisper API: the server URL of the settings when accepted, else why it was refused
    // (logged; the default server is used then).
    std::optional<AcceptedBaseUrl> customServer;
    std::string serverRefusal;
};

// Creates, initialises and keys the speech engine. A Whisper server URL that is refused is
// logged with a Warning naming the setting (never its value) and the default server kept; a key
// that would travel as plain http to another machine gets one Warning. Whisper Local, which
// this build does not have, is a Warning that says what to choose instead.
PreparedEngine prepareSttEngine(const ServiceChoice& choice);
// What the status should say of a prepared engine: a missing key, a refused server URL.
std::vector<SetupProblem> setupProblems(const PreparedEngine& prepared);

// Deepgram's live recognition for the choice: its key (reported as the engines' keys are),
// the service base and the language, cut at pauses of `pauseMs`.
StreamingSetup prepareStreaming(const ServiceChoice& choice, int pauseMs);
// A missing key of the live recognition (neither the settings nor DEEPGRAM_API_KEY has one).
std::vector<SetupProblem> streamingSetupProblems(const ServiceChoice& choice);

struct PreparedTranslator {
    // null when translation is off, none is chosen, the factory has none of that kind, the
    // server URL was refused, or initialisation failed
    std::shared_ptr<ITranslationProvider> provider;
    bool failed = false;        // initialisation failed (logged)
    std::string serverRefusal;  // why the server URL was refused (logged)
    std::string name;           // the provider's, when there is one of that kind
    std::string failure;        // why initialisation failed
    bool unavailable = false;   // a provider was chosen that this build does not have
    bool keyMissing = false;    // as PreparedEngine::keyMissing
};

// Creates, initialises and keys the translation provider. A translation server URL that is
// refused is logged with a Warning naming the setting (never its value) and leaves no provider:
// the text is not sent to a service the user did not name.
PreparedTranslator prepareTranslation(const ServiceChoice& choice);
// prepareTranslation's provider.
std::shared_ptr<ITranslationProvider> prepareTranslator(const ServiceChoice& choice);
// What the status should say of a prepared provider: a missing key, a refused server URL, a
// provider that did not start or does not exist.
std::vector<SetupProblem> setupProblems(const PreparedTranslator& prepared);

}  // namespace obs_sayline
