#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/language_tables.h"
#include "translation/translation_types.h"

// What the language-model providers (Gemini, OpenAI, Anthropic) share: the instruction text and
// the language checks. Not part of the provider interface.
namespace obs_sayline::translation_detail {

constexpr size_t kMaxKeepTerms = 100;
constexpr size_t kMaxKeepTermsBytes = 1000;

// The terms as they go into a prompt: control characters turned into blanks, trimmed, empty
// ones and repeats dropped, at most kMaxKeepTerms of them; a term that would take the list
// past kMaxKeepTermsBytes bytes is left out.
std::vector<std::string> boundedKeepTerms(const std::vector<std::string>& terms);

// Keep these terms exactly as written: "A", "B".  (empty when no term is left)
std::string keepTermsSentence(const std::vector<std::string>& terms);

// The system message of a chat model: translate from the source language (or whatever
// language the text is in, for an empty or "auto" source) to the target, answer with only the
// translation. The text itself goes as the user message.
std::string chatSystemPrompt(const TranslationRequest& request);

// Source languages offered by the language models ("auto" first); targets are the same
// without "auto". A model is asked for any target, listed or not.
const LanguageList& llmSourceLanguages();
LanguageList llmTargetLanguages();
// False only for an empty target; an unlisted one is logged at Debug under `logTag`.
bool llmSupportsTarget(const char* logTag, const std::string& target);

}  // namespace obs_sayline::translation_detail
