#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace obs_sayline {

// How each speech service takes the streamer's vocabulary (SttEngineConfig::vocabulary, the
// terms as parseVocabulary cleaned them), within what the service accepts. Terms are taken in
// order and never cut; the first one that does not fit ends the list.

// A high estimate of the tokens a byte-level BPE tokenizer makes of the text: ASCII letters
// and digits count one token per two (about twice what English text takes), other ASCII
// characters but the blank one each, and every byte of a non-ASCII character one, the most
// such a tokenizer can make of it.
size_t estimateTokens(std::string_view text);

struct VocabularyFit {
    std::string text;  // what goes into the request; empty when no term fits
    size_t sent = 0;   // terms in it
    size_t left = 0;   // terms over the service's limit
};

// Whisper reads only the last 224 tokens of a prompt; the vocabulary keeps well inside that.
constexpr size_t kWhisperPromptTokens = 200;
// Deepgram refuses a request whose keyterms hold more than 500 tokens in all.
constexpr size_t kDeepgramKeytermTokens = 500;
// Google refuses a request with a phrase over 100 characters.
constexpr size_t kGooglePhraseChars = 100;

// The "prompt" part of a Whisper upload: "Vocabulary: Sayline, Kkachi, Seoul Tower."
VocabularyFit whisperVocabularyPrompt(const std::vector<std::string>& terms,
                                      size_t maxTokens = kWhisperPromptTokens);

// Keyterms are a Nova-3 feature; other models refuse the parameter.
bool deepgramTakesKeyterms(const std::string& model);
// What Deepgram's query (pre-recorded and live) gets besides its own parameters:
// "&profanity_filter=true" when asked, then "&keyterm=<term, URL-escaped>" for each term
// that fits (none unless the model takes keyterms).
VocabularyFit deepgramVocabularyQuery(const std::string& model,
                                      const std::vector<std::string>& terms, bool profanityFilter);

// The phrases of Google's speech context: the terms of at most kGooglePhraseChars characters
// (a longer one is skipped, not the end of the list).
std::vector<std::string> googleSpeechPhrases(const std::vector<std::string>& terms,
                                             size_t* skipped = nullptr);

}  // namespace obs_sayline
