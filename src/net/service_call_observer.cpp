#include "net/service_call_observer.h"

namespace obs_sayline {
namespace {
thread_local IServiceCallObserver* tObserver = nullptr;
}  // namespace

IServiceCallObserver* currentServiceCallObserver() noexcept { return tObserver; }

ScopedServiceCallObserver::ScopedServiceCallObserver(IServiceCallObserver& observer) noexcept
    : previous_(tObserver) {
    tObserver = &observer;
}

ScopedServiceCallObserver::~ScopedServiceCallObserver() { tObserver = previous_; }

}  // namespace obs_sayline
