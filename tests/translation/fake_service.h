#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "core/error_code.h"
#include "support/loopback_server.h"
#include "translation/translation_types.h"

namespace obs_sayline::test {

inline std::string percentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// "a=1&b=x%20y" as ordered (name, value) pairs, decoded. The order is kept so tests can check
// it; '+' is not a blank here because the sender escapes blanks as %20.
inline std::vector<std::pair<std::string, std::string>> decodeForm(const std::string& form) {
    std::vector<std::pair<std::string, std::string>> fields;
    size_t start = 0;
    while (!form.empty() && start <= form.size()) {
        size_t end = form.find('&', start);
        if (end == std::string::npos) end = form.size();
        const std::string item = form.substr(start, end - start);
        const size_t eq = item.find('=');
        fields.emplace_back(
            percentDecode(item.substr(0, eq)),
            eq == std::string::npos ? std::string() : percentDecode(item.substr(eq + 1)));
        start = end + 1;
    }
    return fields;
}

// A translation service on a loopback server: replies come from a queue, each used once;
// when the queue is empty the last reply served repeats. Every request is recorded.
class FakeService {
public:
    FakeService() {
        server_.onAny([this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!queue_.empty()) {
                current_ = queue_.front();
                queue_.pop_front();
            }
            res.status = current_.status;
            res.set_content(current_.body, current_.contentType.c_str());
        });
        started_ = server_.start();
    }

    bool started() const { return started_; }
    std::string baseUrl() const { return server_.baseUrl(); }

    void reply(int status, std::string body,
               std::string contentType = "application/json; charset=utf-8") {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back({status, std::move(body), std::move(contentType)});
    }

    size_t requestCount() const { return server_.requestCount(); }
    RecordedRequest last() const { return server_.lastRequest(); }

private:
    struct Reply {
        int status = 500;
        std::string body = "{}";
        std::string contentType = "application/json";
    };

    LoopbackServer server_;
    bool started_ = false;
    std::mutex mutex_;
    std::deque<Reply> queue_;
    Reply current_;
};

// Statistics text with the measured average latency replaced by '#', so the rest can be
// compared exactly; the average goes to *averageMs (-1 when the field is missing).
inline std::string statsWithoutLatency(const std::string& stats, double* averageMs) {
    static const std::regex field("\"averageLatencyMs\":([0-9]+\\.[0-9]),");
    std::smatch match;
    *averageMs = -1;
    if (!std::regex_search(stats, match, field)) return stats;
    *averageMs = std::stod(match[1].str());
    return match.prefix().str() + "\"averageLatencyMs\":#," + match.suffix().str();
}

inline TranslationRequest translationRequest(const std::string& text,
                                             const std::string& source = "ko",
                                             const std::string& target = "en") {
    TranslationRequest request;
    request.text = text;
    request.sourceLanguage = source;
    request.targetLanguage = target;
    return request;
}

// Sets an environment variable for one scope and restores the previous state.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        if (old) previous_ = old;
        hadValue_ = old != nullptr;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (hadValue_) {
            setenv(name_.c_str(), previous_.c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string previous_;
    bool hadValue_ = false;
};

// A provider whose service `baseEnv` points at `service` while it is made, initialised with
// `config` and keyed with `key` when that is not empty.
template <typename Provider>
std::unique_ptr<Provider> servedProvider(const FakeService& service, const char* baseEnv,
                                         const std::string& key,
                                         const ProviderConfig& config = {}) {
    EXPECT_TRUE(service.started());
    ScopedEnv base(baseEnv, service.baseUrl().c_str());
    auto provider = std::make_unique<Provider>();
    EXPECT_TRUE(provider->initialize(config).isSuccess());
    if (!key.empty()) provider->setApiKey(key);
    return provider;
}

// One reply the service gives (repeated on a retry) and the failure translate() makes of it.
struct FailureCase {
    int status;
    std::string body;
    ErrorCode code;
    std::string message;  // what the error message starts with
    size_t attempts = 1;  // requests the call makes: a retried status is answered twice
};

template <typename Provider>
void expectFailures(Provider& provider, FakeService& service, const std::vector<FailureCase>& cases,
                    const TranslationRequest& request = translationRequest("x")) {
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        const size_t before = service.requestCount();
        service.reply(c.status, c.body);
        auto result = provider.translate(request);
        ASSERT_TRUE(result.isError());
        EXPECT_EQ(result.error().code, c.code);
        EXPECT_EQ(result.error().message.rfind(c.message, 0), 0u) << result.error().message;
        EXPECT_EQ(service.requestCount() - before, c.attempts);
    }
}

}  // namespace obs_sayline::test
