// The module's exported entry points. Everything else lives in the static library.
#include <obs-module.h>

#include "plugin/host_log_backend.h"
#include "plugin/module_lifecycle.h"

// obs_module_set_pointer, obs_current_module and obs_module_ver (LIBOBS_API_VER of the headers
// we build against; a host older than that refuses the module).
OBS_DECLARE_MODULE()
// obs_module_set_locale, obs_module_free_locale, obs_module_get_string and obs_module_text.
OBS_MODULE_USE_DEFAULT_LOCALE(obs_sayline::kModuleName, "en-US")

const char* obs_module_name(void) { return obs_sayline::kModuleName; }

const char* obs_module_description(void) { return obs_sayline::kModuleDescription; }

bool obs_module_load(void) { return obs_sayline::onModuleLoad(); }

void obs_module_unload(void) { obs_sayline::onModuleUnload(); }
