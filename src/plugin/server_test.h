#pragma once

#include <obs.h>

#include <memory>
#include <mutex>
#include <string>

#include "core/cancel_token.h"
#include "live/connection_check.h"

namespace obs_sayline {

// The property sheet's "Test connection": one test at a time per source, on a module worker.
// The outcome waits here; the worker then asks the host to rebuild the sheet, whose info row
// reads it (the button itself returns at once).
class ServerTest : public std::enable_shared_from_this<ServerTest> {
public:
    enum class State { None, Running, Done };
    struct Outcome {
        State state = State::None;
        ConnectionCheck check;
    };

    // Starts testing `choice`; the sheet of `source` is rebuilt when it ends. False when a test
    // is running already or no worker could start.
    bool start(const ServiceChoice& choice, obs_source_t* source);
    Outcome outcome() const;
    // The source goes away: a running request ends early.
    void cancel();

private:
    void finish(ConnectionCheck check);

    mutable std::mutex mutex_;
    Outcome outcome_;
    std::shared_ptr<CancelToken> token_;
};

// The info row's text for an outcome; empty before the first test.
std::string serverTestText(const ServerTest::Outcome& outcome);

}  // namespace obs_sayline
