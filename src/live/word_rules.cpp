#include "live/word_rules.h"

#include <algorithm>
#include <utility>

#include "live/text_fold.h"

namespace obs_sayline {
namespace {

using Pattern = WordRules::Pattern;

// A line of a list setting: trimmed, every run of blanks or control characters one space.
std::string cleanLine(std::string_view line) {
    std::string out;
    bool blank = false;
    for (unsigned char c : line) {
        if (c <= ' ' || c == 0x7F) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += static_cast<char>(c);
    }
    return out;
}

template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (!visit(text.substr(0, end))) return;
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

bool seen(const std::vector<std::u32string>& folded, const std::u32string& key) {
    return std::find(folded.begin(), folded.end(), key) != folded.end();
}

Pattern makePattern(const std::string& text) {
    Pattern p;
    p.folded = foldedText(text);
    p.inside = std::any_of(p.folded.begin(), p.folded.end(), isUnspacedScript);
    p.wordAtStart = isWordCharacter(p.folded.front());
    p.wordAtEnd = isWordCharacter(p.folded.back());
    return p;
}

// A character that continues a word of a spaced script: a match may not stop next to it.
bool joinsWord(char32_t cp) { return isWordCharacter(cp) && !isUnspacedScript(cp); }

bool isHorizontalSpace(char32_t cp) { return isTextSpace(cp) && !isLineBreak(cp); }

// Punctuation that closes what comes before it: a removed word's blank does not stay before it.
bool isClosingPunctuation(char32_t cp) {
    switch (cp) {
        case ',':
        case '.':
        case '!':
        case '?':
        case ';':
        case ':':
        case ')':
        case ']':
        case '}':
        case 0x00BB:
        case 0x037E:
        case 0x060C:
        case 0x061B:
        case 0x061F:
        case 0x0964:
        case 0x0965:
        case 0x2019:
        case 0x201D:
        case 0x2026:
        case 0x3001:
        case 0x3002:
        case 0x300D:
        case 0x300F:
        case 0xFF01:
        case 0xFF09:
        case 0xFF0C:
        case 0xFF0E:
        case 0xFF1A:
        case 0xFF1B:
        case 0xFF1F:
            return true;
        default:
            return false;
    }
}

// Punctuation that only separates: pointless at the start of a line or twice in a row.
bool isSeparatingPunctuation(char32_t cp) {
    return cp == ',' || cp == ';' || cp == ':' || cp == 0x060C || cp == 0x061B || cp == 0x3001 ||
           cp == 0xFF0C || cp == 0xFF1A || cp == 0xFF1B;
}

// Bytes of the match of `p` at `at`, 0 when it does not match there. `before` is the character
// before `at` (a blank at the start).
size_t matchLength(const Pattern& p, std::string_view text, size_t at, char32_t before) {
    size_t pos = at;
    for (char32_t want : p.folded) {
        if (pos >= text.size()) return 0;
        const Utf8Char c = decodeUtf8(text, pos);
        const bool same = want == U' ' ? isHorizontalSpace(c.cp) : foldCase(c.cp) == want;
        if (!same) return 0;
        pos += c.length;
    }
    if (!p.inside) {
        if (p.wordAtStart && joinsWord(before)) return 0;
        if (p.wordAtEnd && pos < text.size() && joinsWord(decodeUtf8(text, pos).cp)) return 0;
    }
    return pos - at;
}

// Rewrites every match of the entries' patterns (tried in order at each place, leftmost place
// first). `emit(out, entry, matchStart, matchEnd)` appends what stands for the match and
// returns where the text goes on. Nothing is allocated when nothing matches.
template <typename Entry, typename PatternOf, typename Emit>
std::string rewrite(std::string text, const std::vector<Entry>& entries, PatternOf patternOf,
                    Emit emit) {
    if (entries.empty() || text.empty()) return text;
    std::string out;
    bool changed = false;
    size_t copied = 0;
    size_t at = 0;
    char32_t before = U' ';
    while (at < text.size()) {
        const Utf8Char here = decodeUtf8(text, at);
        const char32_t first = isHorizontalSpace(here.cp) ? U' ' : foldCase(here.cp);
        const Entry* hit = nullptr;
        size_t length = 0;
        for (const Entry& entry : entries) {
            const Pattern& p = patternOf(entry);
            if (p.folded.front() != first) continue;
            length = matchLength(p, text, at, before);
            if (length > 0) {
                hit = &entry;
                break;
            }
        }
        if (!hit) {
            before = here.cp;
            at += here.length;
            continue;
        }
        if (!changed) {
            out.reserve(text.size());
            changed = true;
        }
        out.append(text, copied, at - copied);
        at = emit(out, *hit, text, at, at + length);
        copied = at;
        before = at > 0 ? decodeUtf8Before(text, at).cp : U' ';
    }
    if (!changed) return text;
    out.append(text, copied, std::string::npos);
    return out;
}

// Where the blanks at the end of `out` begin.
size_t trailingBlanks(const std::string& out) {
    size_t from = out.size();
    while (from > 0) {
        const Utf8Char c = decodeUtf8Before(out, from);
        if (!isHorizontalSpace(c.cp)) break;
        from -= c.length;
    }
    return from;
}

// After a removed word (ending at `end`): which blank or separator goes with it, so the line
// reads as if the word had never been said. Returns where the text goes on.
size_t tidyRemoval(std::string& out, const std::string& text, size_t end) {
    const auto charAt = [&](size_t i) -> char32_t {
        return i < text.size() ? decodeUtf8(text, i).cp : U'\n';
    };
    const auto skipBlanks = [&](size_t i) {
        while (i < text.size() && isHorizontalSpace(charAt(i))) i += decodeUtf8(text, i).length;
        return i;
    };
    const bool lineStart = out.empty() || isLineBreak(decodeUtf8Before(out, out.size()).cp);
    const size_t blanksFrom = trailingBlanks(out);
    const bool blankBefore = !lineStart && blanksFrom < out.size();
    const char32_t next = charAt(end);

    if (lineStart) {
        // "um, hello" -> "hello"
        size_t at = skipBlanks(end);
        if (isSeparatingPunctuation(charAt(at))) at = skipBlanks(at + decodeUtf8(text, at).length);
        return at;
    }
    if (blankBefore && isHorizontalSpace(next)) return skipBlanks(end);  // "a um b" -> "a b"
    if (blankBefore && (isLineBreak(next) || isClosingPunctuation(next))) {
        out.resize(blanksFrom);  // "said um." -> "said."
        // "a, um, b" -> "a, b"
        if (isSeparatingPunctuation(next) && !out.empty() &&
            decodeUtf8Before(out, out.size()).cp == next) {
            return end + decodeUtf8(text, end).length;
        }
    }
    return end;
}

}  // namespace

std::vector<std::string> parseVocabulary(std::string_view text) {
    std::vector<std::string> terms;
    std::vector<std::u32string> keys;
    size_t chars = 0;
    forEachLine(text, [&](std::string_view line) {
        std::string term = cleanLine(line);
        if (term.empty() || !isValidUtf8(term)) return true;
        std::u32string key = foldedText(term);
        if (seen(keys, key)) return true;
        if (terms.size() == kMaxVocabularyTerms || chars + key.size() > kMaxVocabularyChars) {
            return false;
        }
        chars += key.size();
        keys.push_back(std::move(key));
        terms.push_back(std::move(term));
        return true;
    });
    return terms;
}

WordRules WordRules::parse(std::string_view replacements, std::string_view hiddenWords) {
    WordRules rules;
    std::vector<std::u32string> keys;
    forEachLine(replacements, [&](std::string_view line) {
        const size_t arrow = line.find("=>");
        if (arrow == std::string_view::npos) return true;
        std::string from = cleanLine(line.substr(0, arrow));
        std::string to = cleanLine(line.substr(arrow + 2));
        if (from.empty() || !isValidUtf8(from) || !isValidUtf8(to) ||
            utf8Length(from) > kMaxRuleChars || utf8Length(to) > kMaxRuleChars) {
            return true;
        }
        Pattern pattern = makePattern(from);
        if (seen(keys, pattern.folded)) return true;
        keys.push_back(pattern.folded);
        rules.replacements_.push_back({std::move(pattern), std::move(to)});
        return rules.replacements_.size() < kMaxReplacementRules;
    });
    keys.clear();
    forEachLine(hiddenWords, [&](std::string_view line) {
        const std::string word = cleanLine(line);
        if (word.empty() || !isValidUtf8(word) || utf8Length(word) > kMaxRuleChars) return true;
        Pattern pattern = makePattern(word);
        if (seen(keys, pattern.folded)) return true;
        keys.push_back(pattern.folded);
        rules.hidden_.push_back(std::move(pattern));
        return rules.hidden_.size() < kMaxHiddenWords;
    });
    std::stable_sort(rules.replacements_.begin(), rules.replacements_.end(),
                     [](const Replacement& a, const Replacement& b) {
                         return a.pattern.folded.size() > b.pattern.folded.size();
                     });
    std::stable_sort(
        rules.hidden_.begin(), rules.hidden_.end(),
        [](const Pattern& a, const Pattern& b) { return a.folded.size() > b.folded.size(); });
    return rules;
}

std::string WordRules::apply(std::string text) const {
    return rewrite(
        std::move(text), replacements_,
        [](const Replacement& r) -> const Pattern& { return r.pattern; },
        [](std::string& out, const Replacement& r, const std::string& source, size_t, size_t end) {
            if (r.with.empty()) return tidyRemoval(out, source, end);
            out += r.with;
            return end;
        });
}

std::string WordRules::hide(std::string text) const {
    return rewrite(
        std::move(text), hidden_, [](const Pattern& p) -> const Pattern& { return p; },
        [](std::string& out, const Pattern& p, const std::string& source, size_t start,
           size_t end) {
            out.append(source, start, decodeUtf8(source, start).length);
            out.append(p.folded.size() - 1, '*');
            return end;
        });
}

}  // namespace obs_sayline
