#pragma once

#include <util/text-lookup.h>

#include "plugin/locale_text.h"

namespace obs_sayline::test {

// Gives code under test the module's en-US texts, as the host's locale loading would.
inline void useModuleLocale() {
    static lookup_t* lookup = text_lookup_create(SAYLINE_MODULE_DATA_PATH "/locale/en-US.ini");
    setLocaleLookup(lookup);
}

}  // namespace obs_sayline::test
