#include "stt/vocabulary.h"

#include <utility>

#include "net/http_client.h"

namespace obs_sayline {
namespace {

bool isAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

size_t characters(std::string_view text) {
    size_t count = 0;
    for (unsigned char c : text) count += (c & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

bool endsSentence(const std::string& text) {
    const char last = text.back();
    return last == '.' || last == '!' || last == '?';
}

}  // namespace

size_t estimateTokens(std::string_view text) {
    size_t tokens = 0;
    size_t run = 0;  // ASCII letters and digits in a row
    for (unsigned char c : text) {
        if (isAsciiAlnum(c)) {
            ++run;
            continue;
        }
        tokens += (run + 1) / 2;
        run = 0;
        // A blank goes into the token of the word after it.
        if (c != ' ') ++tokens;
    }
    return tokens + (run + 1) / 2;
}

VocabularyFit whisperVocabularyPrompt(const std::vector<std::string>& terms, size_t maxTokens) {
    static constexpr std::string_view kLead = "Vocabulary: ";
    VocabularyFit fit;
    // The lead and the closing full stop; each term brings its separator (", ").
    size_t tokens = estimateTokens(kLead) + 1;
    std::string prompt(kLead);
    for (const std::string& term : terms) {
        const size_t cost = estimateTokens(term) + (fit.sent > 0 ? 1 : 0);
        if (term.empty() || tokens + cost > maxTokens) break;
        if (fit.sent > 0) prompt += ", ";
        prompt += term;
        tokens += cost;
        ++fit.sent;
    }
    fit.left = terms.size() - fit.sent;
    if (fit.sent == 0) return fit;
    if (!endsSentence(prompt)) prompt += '.';
    fit.text = std::move(prompt);
    return fit;
}

bool deepgramTakesKeyterms(const std::string& model) { return model.rfind("nova-3", 0) == 0; }

VocabularyFit deepgramVocabularyQuery(const std::string& model,
                                      const std::vector<std::string>& terms, bool profanityFilter) {
    VocabularyFit fit;
    if (profanityFilter) fit.text = "&profanity_filter=true";
    if (!deepgramTakesKeyterms(model)) {
        fit.left = terms.size();
        return fit;
    }
    size_t tokens = 0;
    for (const std::string& term : terms) {
        const size_t cost = estimateTokens(term);
        if (term.empty() || tokens + cost > kDeepgramKeytermTokens) break;
        fit.text += "&keyterm=" + HttpClient::urlEscape(term);
        tokens += cost;
        ++fit.sent;
    }
    fit.left = terms.size() - fit.sent;
    return fit;
}

std::vector<std::string> googleSpeechPhrases(const std::vector<std::string>& terms,
                                             size_t* skipped) {
    std::vector<std::string> phrases;
    for (const std::string& term : terms) {
        if (!term.empty() && characters(term) <= kGooglePhraseChars) phrases.push_back(term);
    }
    if (skipped) *skipped = terms.size() - phrases.size();
    return phrases;
}

}  // namespace obs_sayline
