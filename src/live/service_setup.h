#pragma once

#include <memory>
#include <string>

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
    std::string sourceLanguage;
    bool enableTranslation = true;
    ProviderType provider = ProviderType::None;
    std::string translationApiKey;
};

struct PreparedEngine {
    std::shared_ptr<ISttEngine> engine;  // null when there is none of that kind, or it failed
    bool failed = false;                 // initialisation failed (logged)
};

// Creates, initialises and keys the speech engine.
PreparedEngine prepareSttEngine(const ServiceChoice& choice);

// Deepgram's live recognition for the choice: its key (reported as the engines' keys are),
// the service base and the language, cut at pauses of `pauseMs`.
StreamingSetup prepareStreaming(const ServiceChoice& choice, int pauseMs);

// Creates, initialises and keys the translation provider; null when translation is off, none
// is chosen, the factory has none of that kind, or it failed (logged).
std::shared_ptr<ITranslationProvider> prepareTranslator(const ServiceChoice& choice);

}  // namespace obs_sayline
