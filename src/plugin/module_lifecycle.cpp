#include "plugin/module_lifecycle.h"

#include <chrono>
#include <memory>

#include "core/logger.h"
#include "core/worker_registry.h"
#include "platform/crash_handler.h"
#include "platform/url_opener.h"
#include "plugin/callback_guard.h"
#include "plugin/frontend_events.h"
#include "plugin/host_log_backend.h"
#include "plugin/source_lifecycle.h"
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
    const bool loaded = guardCallback("obs_module_load", false, [] {
        installHostLogBackend();
        Logger::instance().setEnabled(true);
        resetHostShutdown();
        // Loaded again in the same process: workers may start again.
        WorkerRegistry::instance().reopen();
        armFaultsFromEnvironment();
        logInfo("Plugin loading...");
        logInfoTag("Plugin", "Version: %s", kPluginVersion);
        injectFault(Fault::Load);
        registerSaylineSource();
        installFrontendEvents();
        logInfo("Sayline source registered");
        logInfo("Plugin loaded successfully");
        return true;
    });
    // A module that failed to load is never unloaded: take the handler back now.
    if (!loaded) platform::uninstallCrashHandler();
    return loaded;
}

void onModuleUnload() {
    guardCallback("obs_module_unload", [] {
        logInfo("Plugin unloading...");
        injectFault(Fault::Unload);
        removeFrontendEvents();
        // No thread of ours may run once the module's code and static objects go away.
        const size_t left = WorkerRegistry::instance().shutdown(kUnloadWorkerBound);
        if (left > 0) {
            logWarning("%zu worker thread(s) still running after %lld ms at unload; left behind",
                       left, static_cast<long long>(kUnloadWorkerBound.count()));
        }
        platform::reapUrlOpeners();
        logInfo("Plugin unloaded");
        Logger::instance().flush();
        // The host may still call into the module after unloading it (it destroys the sources
        // it still holds afterwards): nothing more of ours goes to its log.
        Logger::instance().setEnabled(false);
    });
    // The handler's code goes away with the module.
    platform::uninstallCrashHandler();
}

}  // namespace obs_sayline
