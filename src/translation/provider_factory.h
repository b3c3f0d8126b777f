#pragma once

#include <memory>

#include "translation/translation_provider.h"
#include "translation/translation_types.h"

namespace obs_sayline {

// Process-wide registry of provider creators keyed by type number. The built-in providers
// (DeepL, Google Translate, Gemini) are registered once, on the first create().
class ProviderFactory {
public:
    // A new, uninitialised provider, or an empty pointer when the type has no creator.
    static std::shared_ptr<ITranslationProvider> create(ProviderType type);
    // Stores (or replaces) the creator for a type; refuses an empty creator.
    static bool registerProvider(ProviderType type, ProviderCreator creator, ProviderInfo info);
};

}  // namespace obs_sayline
