#include "plugin/callback_guard.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "core/logger.h"

namespace obs_sayline {
namespace {

std::atomic<uint32_t> armedFaults{0};

struct FaultName {
    Fault fault;
    const char* name;
};

constexpr FaultName kFaultNames[] = {
    {Fault::Load, "load"},         {Fault::Unload, "unload"},
    {Fault::Create, "create"},     {Fault::Destroy, "destroy"},
    {Fault::Update, "update"},     {Fault::Defaults, "defaults"},
    {Fault::Properties, "properties"}, {Fault::Activate, "activate"},
    {Fault::Deactivate, "deactivate"}, {Fault::Render, "render"},
    {Fault::Audio, "audio"},       {Fault::Button, "button"},
    {Fault::Modified, "modified"}, {Fault::Size, "size"},
    {Fault::Name, "name"},
};

const char* faultName(Fault fault) {
    for (const auto& entry : kFaultNames) {
        if (entry.fault == fault) return entry.name;
    }
    return "unknown";
}

}  // namespace

void logCallbackException(const char* callback, const std::exception* error) noexcept {
    try {
        if (error) {
            logErrorTag("Plugin", "Exception in %s: %s", callback, error->what());
        } else {
            logError("Unknown exception in %s", callback);
        }
    } catch (...) {
        // Nothing more can be done without risking the host.
    }
}

void armFaultsFromEnvironment() {
    const char* raw = std::getenv("SAYLINE_FAULT_INJECTION");
    if (!raw || !*raw) return;
    const std::string list = std::string(",") + raw + ",";
    uint32_t armed = 0;
    for (const auto& entry : kFaultNames) {
        if (list.find(std::string(",") + entry.name + ",") != std::string::npos) {
            armed |= static_cast<uint32_t>(entry.fault);
        }
    }
    armedFaults.fetch_or(armed);
}

void injectFault(Fault fault) {
    const auto bit = static_cast<uint32_t>(fault);
    if ((armedFaults.load(std::memory_order_relaxed) & bit) == 0) return;
    if ((armedFaults.fetch_and(~bit) & bit) == 0) return;
    throw std::runtime_error(std::string("injected fault in ") + faultName(fault));
}

}  // namespace obs_sayline
