#include "plugin/module_lifecycle.h"

#include <memory>

#include "core/logger.h"
#include "platform/crash_handler.h"
#include "plugin/host_log_backend.h"
#include "plugin/source_registration.h"

namespace obs_sayline {

void installHostLogBackend() {
    // Kept for the process: a module loaded again in the same process reuses it.
    static const std::shared_ptr<ObsLogBackend> backend = [] {
        auto created = std::make_shared<ObsLogBackend>();
        Logger::instance().addBackend(created);
        return created;
    }();
    (void)backend;
}

bool onModuleLoad() {
    // First, so that even a crash during the rest of the load is reported.
    platform::installCrashHandler();
    installHostLogBackend();
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
