#include "sinks/youtube/caption_split.h"

#include <algorithm>
#include <cstddef>

#include "core/utf8_text.h"

namespace obs_sayline {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Blank runs and line breaks as single blanks, none at the ends.
std::string normalised(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool blank = false;
    for (char c : text) {
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

bool startsWith(const std::string& text, size_t pos, const char* prefix) {
    return text.compare(pos, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Byte length of the sentence end at `pos`: a CJK full stop, question or exclamation mark (no
// blank needed after it), or 0 for anything else.
size_t fullWidthEnd(const std::string& text, size_t pos) {
    for (const char* mark : {"\xE3\x80\x82", "\xEF\xBC\x81", "\xEF\xBC\x9F", "\xE2\x80\xA6"}) {
        if (startsWith(text, pos, mark)) return 3;
    }
    return 0;
}

// Byte length of a closing quote or bracket at `pos` that belongs to the sentence before it.
size_t closerLength(const std::string& text, size_t pos) {
    const char c = text[pos];
    if (c == '"' || c == '\'' || c == ')') return 1;
    for (const char* mark :
         {"\xE2\x80\x9D", "\xE2\x80\x99", "\xE3\x80\x8D", "\xE3\x80\x8F", "\xEF\xBC\x89"}) {
        if (startsWith(text, pos, mark)) return 3;
    }
    return 0;
}

struct Sentence {
    std::string text;
    std::string separator;  // what stood before it: a blank, or nothing after a CJK full stop
};

std::vector<Sentence> sentences(const std::string& text) {
    std::vector<Sentence> out;
    std::string separator;
    size_t start = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        size_t end = 0;  // one past the sentence's last byte, when it ends here
        if (const size_t mark = fullWidthEnd(text, pos)) {
            end = pos + mark;
        } else if (c == '.' || c == '!' || c == '?') {
            end = pos + 1;
        }
        if (end == 0) {
            ++pos;
            continue;
        }
        while (end < text.size() && closerLength(text, end) > 0) end += closerLength(text, end);
        const bool blankAfter = end < text.size() && text[end] == ' ';
        // "3.5" and "e.g.x" go on; a Latin sentence ends only before a blank or at the end.
        if (!blankAfter && end < text.size() && !fullWidthEnd(text, pos)) {
            pos = end;
            continue;
        }
        out.push_back({text.substr(start, end - start), separator});
        separator = blankAfter ? " " : "";
        start = blankAfter ? end + 1 : end;
        pos = start;
    }
    if (start < text.size()) out.push_back({text.substr(start), separator});
    return out;
}

std::vector<std::string> rows(const std::string& text) {
    std::vector<std::string> out;
    const std::string broken = breakLines(text, kYouTubeRowChars);
    size_t start = 0;
    for (;;) {
        const size_t end = broken.find('\n', start);
        const std::string row = broken.substr(start, end == std::string::npos ? end : end - start);
        if (!row.empty()) out.push_back(row);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

}  // namespace

std::vector<CaptionPiece> splitCaption(const std::string& text) {
    std::vector<std::vector<std::string>> captions;
    // The caption being filled, as flowing text, while another sentence may still join it.
    std::string open;
    auto closeOpen = [&] {
        if (!open.empty()) captions.push_back(rows(open));
        open.clear();
    };
    for (const Sentence& sentence : sentences(normalised(text))) {
        if (!open.empty()) {
            const std::string joined = open + sentence.separator + sentence.text;
            if (rows(joined).size() <= kYouTubeCaptionRows) {
                open = joined;
                continue;
            }
            closeOpen();
        }
        // A long sentence fills whole captions; its last rows stay open for the next one.
        const std::vector<std::string> sentenceRows = rows(sentence.text);
        if (sentenceRows.empty()) continue;
        const size_t whole = (sentenceRows.size() - 1) / kYouTubeCaptionRows * kYouTubeCaptionRows;
        size_t consumed = 0;  // bytes of the sentence in whole captions
        for (size_t i = 0; i < whole; i += kYouTubeCaptionRows) {
            captions.emplace_back(
                sentenceRows.begin() + static_cast<std::ptrdiff_t>(i),
                sentenceRows.begin() + static_cast<std::ptrdiff_t>(i + kYouTubeCaptionRows));
            for (size_t k = i; k < i + kYouTubeCaptionRows; ++k) {
                consumed = sentence.text.find(sentenceRows[k], consumed) + sentenceRows[k].size();
            }
        }
        // Rows are the sentence's own text, broken at single blanks or inside a word.
        const size_t rest = sentence.text.find(sentenceRows[whole], consumed);
        open = sentence.text.substr(rest == std::string::npos ? consumed : rest);
    }
    closeOpen();

    std::vector<CaptionPiece> pieces;
    size_t startChar = 0;
    for (const auto& captionRows : captions) {
        CaptionPiece piece;
        piece.startChar = startChar;
        for (const auto& row : captionRows) {
            if (!piece.text.empty()) piece.text += '\n';
            piece.text += row;
            piece.chars += longestLineChars(row);
        }
        startChar += piece.chars;
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

}  // namespace obs_sayline
