#pragma once

#include <util/text-lookup.h>

namespace obs_sayline {

// The module's own texts (property labels, list items, buttons), from data/locale/<locale>.ini
// through the host's text lookup, so a translator adds a language without touching code.

// The text for `key` in the current locale (en-US where the locale has none); the key itself
// when no locale is loaded or the key is unknown.
const char* localText(const char* key);

// The lookup the module loaded for the host's locale (null: none). Not owned.
void setLocaleLookup(lookup_t* lookup);

}  // namespace obs_sayline
