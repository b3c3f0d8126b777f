#include "core/logger.h"
#include "core/worker_registry.h"
#include "net/curl_handles.h"

namespace obs_sayline::curl {

namespace {

// Lives until the module's static objects are destroyed; logs through the logger, which was
// created by the first log call inside the constructor and so outlives this object.
class GlobalState {
public:
    GlobalState() {
        CURLcode rc = curl_global_init(CURL_GLOBAL_ALL);
        if (rc != CURLE_OK) {
            logError("[HTTP] Failed to initialize CURL: %s", curl_easy_strerror(rc));
            return;
        }
        initialized_ = true;
        logDebug("[HTTP] CURL initialized (version: %s)", curl_version());
    }
    ~GlobalState() {
        if (!initialized_) return;
        // A worker left behind at unload may still be inside a transfer.
        if (WorkerRegistry::instance().running() > 0) return;
        curl_global_cleanup();
        logDebug("[HTTP] CURL cleaned up");
    }
    GlobalState(const GlobalState&) = delete;
    GlobalState& operator=(const GlobalState&) = delete;

    bool initialized() const { return initialized_; }

private:
    bool initialized_ = false;
};

}  // namespace

bool ensureGlobalInit() {
    static GlobalState state;
    return state.initialized();
}

bool appendHeader(HeaderList& list, const char* line) {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (!grown) return false;
    // On success curl returns the head, which is the old head unless the list was empty.
    list.release();
    list.reset(grown);
    return true;
}

}  // namespace obs_sayline::curl
