#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "core/result.h"
#include "live/source_status.h"
#include "net/service_call_observer.h"

namespace obs_sayline {

// Watches one call to a service from the recognition worker: while it runs, a back-off before
// another attempt shows in the source's status at once; when it has failed, `problem` says why,
// from the error and from what the HTTP layer saw (the answer's status, a transport failure,
// the breaker's open time). The engines and providers stay unaware of it.
class ServiceCallWatch final : public IServiceCallObserver {
public:
    explicit ServiceCallWatch(SourceStatus& status) : status_(status), scope_(*this) {}

    void answered(int32_t status) noexcept override;
    void unreachable(std::chrono::milliseconds retryIn) noexcept override;
    void breakerOpen(std::chrono::milliseconds remaining) noexcept override;

    // Why the call to `service` failed with `error`.
    ServiceProblem problem(const Error& error, const std::string& service) const;

private:
    SourceStatus& status_;
    ScopedServiceCallObserver scope_;
    int32_t httpStatus_ = 0;
    bool transportFailed_ = false;
    std::optional<SourceStatus::Clock::time_point> breakerUntil_;
};

// Runs one call (an engine's recognize, a provider's translate) to `service` under a watch; a
// failure goes to the status with its cause. Returns the call's result.
template <typename Call>
auto watchServiceCall(SourceStatus& status, const std::string& service, Call&& call) {
    ServiceCallWatch watch(status);
    auto result = std::forward<Call>(call)();
    if (result.isError()) status.serviceProblem(watch.problem(result.error(), service));
    return result;
}

}  // namespace obs_sayline
