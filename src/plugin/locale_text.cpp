#include "plugin/locale_text.h"

#include <atomic>

namespace obs_sayline {
namespace {
std::atomic<lookup_t*> currentLookup{nullptr};
}  // namespace

const char* localText(const char* key) {
    const char* out = key;
    if (lookup_t* lookup = currentLookup.load()) text_lookup_getstr(lookup, key, &out);
    return out;
}

void setLocaleLookup(lookup_t* lookup) { currentLookup.store(lookup); }

}  // namespace obs_sayline
