#include "live/service_call_watch.h"

namespace obs_sayline {
namespace {

bool refusesTheKey(ErrorCode code) {
    return code == ErrorCode::ApiKeyInvalid || code == ErrorCode::AuthenticationFailed ||
           code == ErrorCode::PermissionDenied;
}

}  // namespace

void ServiceCallWatch::answered(int32_t status) noexcept { httpStatus_ = status; }

void ServiceCallWatch::unreachable(std::chrono::milliseconds retryIn) noexcept {
    transportFailed_ = true;
    if (retryIn.count() <= 0) return;
    try {
        status_.retrying(SourceStatus::Clock::now() + retryIn);
    } catch (...) {
        // The status is a courtesy; the call goes on regardless.
    }
}

void ServiceCallWatch::breakerOpen(std::chrono::milliseconds remaining) noexcept {
    breakerUntil_ = SourceStatus::Clock::now() + remaining;
}

ServiceProblem ServiceCallWatch::problem(const Error& error, const std::string& service) const {
    ServiceProblem problem;
    problem.service = service;
    if (error.code == ErrorCode::ApiKeyMissing) {
        problem.code = StatusCode::ApiKeyMissing;
    } else if (breakerUntil_) {
        problem.code = StatusCode::CircuitOpen;
        problem.until = breakerUntil_;
    } else if (refusesTheKey(error.code)) {
        problem.code = StatusCode::ApiKeyRefused;
        problem.httpStatus = httpStatus_;
    } else if (transportFailed_ && httpStatus_ == 0) {
        // The last attempt is over: the next one comes with the next chunk of speech.
        problem.code = StatusCode::ServiceUnreachable;
    } else {
        problem.code = StatusCode::ServiceError;
        // An answer that could not be read is no HTTP error.
        if (httpStatus_ >= 300) problem.httpStatus = httpStatus_;
    }
    return problem;
}

}  // namespace obs_sayline
