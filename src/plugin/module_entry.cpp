#include <obs-module.h>

#include "core/logger.h"

OBS_DECLARE_MODULE()

bool obs_module_load(void) {
    obs_sayline::logInfo("Plugin loading...");
    return true;
}
