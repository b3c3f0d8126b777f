#pragma once

#include <map>
#include <string>

namespace obs_sayline {

// Stores one received header line: the name lower-cased, the value without leading blanks;
// a later line of the same name replaces the earlier one. Status lines ("HTTP...") and lines
// without ':' are ignored.
void parseResponseHeaderLine(const char* data, size_t size,
                             std::map<std::string, std::string>& headers);

}  // namespace obs_sayline
