// The module's exported entry points. Everything else lives in the static libraries (the dock in
// its own, the only one built with Qt).
#include <obs-module.h>

#include "dock/sayline_dock.h"
#include "plugin/callback_guard.h"
#include "plugin/host_log_backend.h"
#include "plugin/locale_text.h"
#include "plugin/module_lifecycle.h"

// obs_module_set_pointer, obs_current_module and obs_module_ver (LIBOBS_API_VER of the headers
// we build against; a host older than that refuses the module).
OBS_DECLARE_MODULE()

// The locale table, loaded with en-US underneath the host's locale; the static library reads
// it through localText.
static lookup_t* moduleLookup = nullptr;

const char* obs_module_text(const char* val) { return obs_sayline::localText(val); }

bool obs_module_get_string(const char* val, const char** out) {
    return text_lookup_getstr(moduleLookup, val, out);
}

void obs_module_set_locale(const char* locale) {
    lookup_t* previous = moduleLookup;
    moduleLookup = obs_module_load_locale(obs_current_module(), "en-US", locale);
    obs_sayline::setLocaleLookup(moduleLookup);
    if (previous) text_lookup_destroy(previous);
}

void obs_module_free_locale(void) {
    obs_sayline::setLocaleLookup(nullptr);
    if (moduleLookup) text_lookup_destroy(moduleLookup);
    moduleLookup = nullptr;
}

const char* obs_module_name(void) { return obs_sayline::kModuleName; }

const char* obs_module_description(void) { return obs_sayline::kModuleDescription; }

bool obs_module_load(void) {
    if (!obs_sayline::onModuleLoad()) return false;
    // The sources' sinks find the dock's feed open from the first source on.
    obs_sayline::guardCallback("obs_module_load", [] { obs_sayline::installSaylineDock(); });
    return true;
}

void obs_module_unload(void) {
    // Before the rest: the dock's widgets must not outlive the module's code.
    obs_sayline::guardCallback("obs_module_unload", [] { obs_sayline::removeSaylineDock(); });
    obs_sayline::onModuleUnload();
}
