#pragma once

#include <string>
#include <vector>

namespace obs_sayline {

// Fixed, ordered language code lists of the recognition engines and translation providers.
// Built once during static initialisation and never written afterwards, so any thread may
// read them without locking. Order matters: engines and providers report them as is.
using LanguageList = std::vector<std::string>;

namespace languages {

const LanguageList& whisper();          // 100 entries, "auto" first
const LanguageList& googleSpeech();     // 33 entries, "auto" first
const LanguageList& deepgram();         // 44 entries, "auto" first
const LanguageList& deeplSource();      // 30 entries, "auto" first
const LanguageList& deeplTarget();      // 35 entries, no "auto"
const LanguageList& googleTranslate();  // 135 entries, "auto" first
const LanguageList& gemini();           // 32 entries, "auto" first

// True when some entry equals code exactly (case-sensitive). An empty code is never a member.
bool contains(const LanguageList& list, const std::string& code);

// English name of a Gemini language code ("ko" -> "Korean"); any other code comes back unchanged.
std::string geminiLanguageName(const std::string& code);

}  // namespace languages
}  // namespace obs_sayline
