#pragma once

// Decoding of what the engines put on the wire (WAV, base64, multipart), for the loopback
// servers of the STT tests.

#include <cstdint>
#include <string>
#include <vector>

namespace obs_sayline::test {

template <typename Bytes>
uint32_t readU16(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}

template <typename Bytes>
uint32_t readU32(const Bytes& b, size_t at) {
    return readU16(b, at) | readU16(b, at + 2) << 16;
}

// Strict RFC 4648 decoding; an empty vector plus ok=false on any malformed input.
inline std::vector<uint8_t> base64Decode(const std::string& text, bool* ok = nullptr) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::vector<uint8_t> out;
    bool valid = text.size() % 4 == 0;
    for (size_t i = 0; valid && i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++pad;
            } else if (pad > 0 || (v[k] = value(c)) < 0) {
                valid = false;
            }
        }
        if (!valid) break;
        uint32_t n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
        out.push_back(static_cast<uint8_t>(n >> 16));
        if (pad < 2) out.push_back(static_cast<uint8_t>(n >> 8));
        if (pad < 1) out.push_back(static_cast<uint8_t>(n));
    }
    if (ok) *ok = valid;
    if (!valid) out.clear();
    return out;
}

// One part of a multipart/form-data body as it came over the wire.
struct WirePart {
    std::string name;
    std::string filename;     // empty for a text part
    std::string contentType;  // empty when the part had none
    std::string content;
};

inline std::string headerParam(const std::string& header, const std::string& key) {
    const std::string needle = key + "=\"";
    auto at = header.find(needle);
    if (at == std::string::npos) return {};
    at += needle.size();
    return header.substr(at, header.find('"', at) - at);
}

// Splits a multipart body by the boundary from its Content-Type; ok=false when the framing is
// broken (missing boundary, missing blank line, missing closing delimiter).
inline std::vector<WirePart> parseMultipart(const std::string& contentType, const std::string& body,
                                            bool* ok) {
    *ok = false;
    std::vector<WirePart> parts;
    const std::string key = "boundary=";
    auto at = contentType.find(key);
    if (contentType.rfind("multipart/form-data", 0) != 0 || at == std::string::npos) return parts;
    std::string boundary = contentType.substr(at + key.size());
    if (!boundary.empty() && boundary.front() == '"')
        boundary = boundary.substr(1, boundary.size() - 2);
    const std::string delimiter = "--" + boundary;
    size_t pos = body.find(delimiter);
    if (pos != 0) return parts;
    while (true) {
        pos += delimiter.size();
        if (body.compare(pos, 2, "--") == 0) break;  // closing delimiter
        if (body.compare(pos, 2, "\r\n") != 0) return parts;
        pos += 2;
        const size_t headersEnd = body.find("\r\n\r\n", pos);
        if (headersEnd == std::string::npos) return parts;
        WirePart part;
        std::string headers = body.substr(pos, headersEnd - pos);
        size_t lineStart = 0;
        while (lineStart <= headers.size()) {
            size_t lineEnd = headers.find("\r\n", lineStart);
            if (lineEnd == std::string::npos) lineEnd = headers.size();
            std::string line = headers.substr(lineStart, lineEnd - lineStart);
            std::string lower;
            for (char c : line)
                lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower.rfind("content-disposition:", 0) == 0) {
                part.name = headerParam(line, "name");
                part.filename = headerParam(line, "filename");
            } else if (lower.rfind("content-type:", 0) == 0) {
                part.contentType = line.substr(line.find(':') + 1);
                part.contentType.erase(0, part.contentType.find_first_not_of(' '));
            }
            lineStart = lineEnd + 2;
        }
        const size_t contentStart = headersEnd + 4;
        const size_t next = body.find("\r\n" + delimiter, contentStart);
        if (next == std::string::npos) return parts;
        part.content = body.substr(contentStart, next - contentStart);
        parts.push_back(std::move(part));
        pos = next + 2;
    }
    *ok = true;
    return parts;
}

}  // namespace obs_sayline::test
