#include "plugin/server_test.h"

#include <utility>

#include "core/logger.h"
#include "core/worker_registry.h"
#include "core/utf8_text.h"
#include "plugin/locale_text.h"

namespace obs_sayline {

namespace {

// A server's error text goes into one row of the sheet.
constexpr size_t kShownErrorBytes = 300;

}  // namespace

bool ServerTest::start(const ServiceChoice& choice, obs_source_t* source) {
    return start([choice] { return checkSpeechService(choice); }, source);
}

bool ServerTest::start(Check check, obs_source_t* source) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (outcome_.state == State::Running) return false;
    // Held weakly: the test must not keep a removed source alive.
    std::shared_ptr<obs_weak_source_t> weak(obs_source_get_weak_source(source),
                                            obs_weak_source_release);
    auto self = shared_from_this();
    auto token = WorkerRegistry::instance().start(workerName_, [self, check, weak] {
        self->finish(check());
        if (obs_source_t* owner = obs_weak_source_get_source(weak.get())) {
            obs_source_update_properties(owner);
            obs_source_release(owner);
        }
    });
    if (!token) return false;
    token_ = std::move(token);
    outcome_ = Outcome{State::Running, {}};
    return true;
}

void ServerTest::finish(ConnectionCheck check) {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome_ = Outcome{State::Done, std::move(check)};
    token_.reset();
}

ServerTest::Outcome ServerTest::outcome() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcome_;
}

void ServerTest::cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (token_) token_->cancel();
}

std::string serverTestText(const ServerTest::Outcome& outcome, const ServerTestTexts& texts) {
    switch (outcome.state) {
        case ServerTest::State::None:
            return {};
        case ServerTest::State::Running:
            return localText(texts.running);
        case ServerTest::State::Done:
            break;
    }
    if (outcome.check.ok) {
        std::string text = std::string(localText(texts.ok)) + " " +
                           std::to_string(outcome.check.roundTripMs) + " ms";
        // checkTranslationService bounds the answer already.
        if (!outcome.check.answer.empty()) text += ": " + outcome.check.answer;
        return text;
    }
    return std::string(localText(texts.failed)) + " " +
           limitBytes(outcome.check.error, kShownErrorBytes);
}

}  // namespace obs_sayline
