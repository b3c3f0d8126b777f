#pragma once

#include <obs.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/cancel_token.h"
#include "live/connection_check.h"

namespace obs_sayline {

// One of the property sheet's "Test connection" buttons (speech, translation): one test at a
// time per source and button, on a module worker. The outcome waits here; the worker then asks
// the host to rebuild the sheet, whose info row reads it (the button itself returns at once).
class ServerTest : public std::enable_shared_from_this<ServerTest> {
public:
    enum class State { None, Running, Done };
    struct Outcome {
        State state = State::None;
        ConnectionCheck check;
    };
    // The test itself (checkSpeechService, checkTranslationService), run on the worker.
    using Check = std::function<ConnectionCheck()>;

    // `workerName` names the worker in the registry.
    explicit ServerTest(const char* workerName = "stt-server-test") : workerName_(workerName) {}

    // Starts testing `choice`'s speech service; the sheet of `source` is rebuilt when it ends.
    // False when a test is running already or no worker could start.
    bool start(const ServiceChoice& choice, obs_source_t* source);
    // The same for any check.
    bool start(Check check, obs_source_t* source);
    Outcome outcome() const;
    // The source goes away: a running request ends early.
    void cancel();

private:
    void finish(ConnectionCheck check);

    const char* workerName_;
    mutable std::mutex mutex_;
    Outcome outcome_;
    std::shared_ptr<CancelToken> token_;
};

// The locale keys of an info row's texts.
struct ServerTestTexts {
    const char* running;
    const char* ok;
    const char* failed;
};
constexpr ServerTestTexts kSpeechTestTexts{"SttServerTest.Running", "SttServerTest.Ok",
                                           "SttServerTest.Failed"};
constexpr ServerTestTexts kTranslationTestTexts{"TranslationTest.Running", "TranslationTest.Ok",
                                                "TranslationTest.Failed"};

// The info row's text for an outcome: the round-trip time and the service's answer, if any, or
// its error; empty before the first test.
std::string serverTestText(const ServerTest::Outcome& outcome,
                           const ServerTestTexts& texts = kSpeechTestTexts);

}  // namespace obs_sayline
