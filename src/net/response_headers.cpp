#include "net/response_headers.h"

namespace obs_sayline {

void parseResponseHeaderLine(const char* data, size_t size,
                             std::map<std::string, std::string>& headers) {
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.empty() || line.compare(0, 4, "HTTP") == 0) return;

    size_t colon = line.find(':');
    if (colon == std::string::npos) return;

    std::string name = line.substr(0, colon);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    std::string value = line.substr(colon + 1);
    size_t start = value.find_first_not_of(" \t");
    // A value made only of blanks and tabs is kept as it arrived.
    if (start != std::string::npos) value.erase(0, start);
    headers[name] = std::move(value);
}

}  // namespace obs_sayline
