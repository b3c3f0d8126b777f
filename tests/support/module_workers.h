#pragma once

#include <chrono>

#include "core/worker_registry.h"

namespace obs_sayline::test {

// Stops and joins every worker the code under test started, as an unload would, and lets
// workers start again: a test that ends with finished but unjoined threads leaks them.
inline void joinModuleWorkers() {
    WorkerRegistry::instance().shutdown(std::chrono::seconds(5));
    WorkerRegistry::instance().reopen();
}

}  // namespace obs_sayline::test
