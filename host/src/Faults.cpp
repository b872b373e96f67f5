/* Faults.cpp — the fault switches' bookkeeping. */
#include "cfhost/Faults.h"

#include <cstring>

namespace cfhost {

void Faults::withholdSuite(const std::string& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    suites_.push_back(SuiteFault{name, true, 0});
}

void Faults::withholdSuite(const std::string& name, int32_t version)
{
    std::lock_guard<std::mutex> lock(mutex_);
    suites_.push_back(SuiteFault{name, false, version});
}

void Faults::failHandleAllocation(unsigned nth)
{
    std::lock_guard<std::mutex> lock(mutex_);
    allocationCountdown_ = nth;
}

void Faults::failEveryHandleAllocation()
{
    std::lock_guard<std::mutex> lock(mutex_);
    failEveryAllocation_ = true;
}

void Faults::rejectAddParam(unsigned nth, PF_Err error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    addParamCountdown_ = nth;
    addParamError_ = error;
}

void Faults::requestAbort()
{
    abort_.store(true, std::memory_order_release);
}

void Faults::abortAfterRows(long rows)
{
    if (rows <= 0) {
        requestAbort();
        return;
    }
    rowsLeft_.store(rows, std::memory_order_relaxed);
    rowsArmed_.store(true, std::memory_order_release);
}

void Faults::failFill(PF_Err error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fillError_ = error;
}

void Faults::failCheckout(PF_Err error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    checkoutError_ = error;
    checkoutsBeforeFailure_ = 0;
}

void Faults::failCheckout(PF_Err error, unsigned nth)
{
    std::lock_guard<std::mutex> lock(mutex_);
    checkoutError_ = error;
    checkoutsBeforeFailure_ = nth > 0 ? nth - 1 : 0;
}

void Faults::refuseAreas(PF_Err error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    areaError_ = error;
}

void Faults::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    suites_.clear();
    failEveryAllocation_ = false;
    allocationCountdown_ = 0;
    addParamCountdown_ = 0;
    addParamError_ = PF_Err_NONE;
    fillError_ = PF_Err_NONE;
    areaError_ = PF_Err_NONE;
    checkoutError_ = PF_Err_NONE;
    checkoutsBeforeFailure_ = 0;
    abort_.store(false, std::memory_order_release);
    rowsArmed_.store(false, std::memory_order_release);
    rowsLeft_.store(0, std::memory_order_relaxed);
}

bool Faults::suiteWithheld(const char* name, int32_t version) const
{
    if (name == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& fault : suites_) {
        if (fault.name == name && (fault.allVersions || fault.version == version)) {
            return true;
        }
    }
    return false;
}

bool Faults::takeHandleAllocation()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (allocationCountdown_ > 0 && --allocationCountdown_ == 0) {
        return false;
    }
    return !failEveryAllocation_;
}

PF_Err Faults::takeAddParam()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (addParamCountdown_ > 0 && --addParamCountdown_ == 0) {
        return addParamError_;
    }
    return PF_Err_NONE;
}

void Faults::rowProcessed() noexcept
{
    if (rowsLeft_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        rowsArmed_.store(false, std::memory_order_relaxed);
        requestAbort();
    }
}

PF_Err Faults::fillResult() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fillError_;
}

PF_Err Faults::areaResult() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return areaError_;
}

PF_Err Faults::checkoutResult()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (checkoutError_ != PF_Err_NONE && checkoutsBeforeFailure_ > 0) {
        --checkoutsBeforeFailure_;
        return PF_Err_NONE;
    }
    return checkoutError_;
}

} // namespace cfhost
