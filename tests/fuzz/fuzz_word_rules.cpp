// The streamer's word lists from a scene file, applied to text from a service: the input is
// replacements, hidden words and a recognised line, split at the first two NUL bytes.

#include "fuzz_support.h"
#include "live/text_fold.h"
#include "live/word_rules.h"

using namespace obs_sayline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = fuzz::bytes(data, size);
    const size_t first = input.find('\0');
    const size_t second = first == std::string::npos ? first : input.find('\0', first + 1);
    const std::string replacements = input.substr(0, first);
    const std::string hidden =
        first == std::string::npos ? "" : input.substr(first + 1, second - first - 1);
    const std::string text = second == std::string::npos ? input : input.substr(second + 1);

    fuzz::noThrow("WordRules", [&] {
        const auto terms = parseVocabulary(input);
        size_t chars = 0;
        for (const auto& term : terms) chars += utf8Length(term);
        if (terms.size() > kMaxVocabularyTerms || chars > kMaxVocabularyChars) {
            fuzz::fail("parseVocabulary", "over its bounds");
        }
        const WordRules rules = WordRules::parse(replacements, hidden);
        const std::string replaced = rules.apply(text);
        const std::string shown = rules.hide(replaced);
        // Hiding keeps every character's place; valid text stays valid.
        if (utf8Length(shown) != utf8Length(replaced)) fuzz::fail("hide", "changed the length");
        if (isValidUtf8(text) && !isValidUtf8(shown)) {
            fuzz::fail("WordRules", "made invalid UTF-8 of valid text");
        }
    });
    return 0;
}
