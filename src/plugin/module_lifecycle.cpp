#include "plugin/module_lifecycle.h"

#include "core/logger.h"
#include "platform/crash_handler.h"
#include "plugin/source_registration.h"

namespace obs_sayline {

bool onModuleLoad() {
    // First, so that even a crash during the rest of the load is reported.
    platform::installCrashHandler();
    logInfo("Plugin loading...");
    logInfoTag("Plugin", "Version: %s", kPluginVersion);
    registerSaylineSource();
    logInfo("Sayline source registered");
    logInfo("Plugin loaded successfully");
    return true;
}

void onModuleUnload() {
    logInfo("Plugin unloading...");
    logInfo("Plugin unloaded");
    // The handler's code goes away with the module.
    platform::uninstallCrashHandler();
}

}  // namespace obs_sayline
