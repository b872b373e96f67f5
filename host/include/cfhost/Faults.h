/* Faults.h — switches that make the host misbehave on purpose, so that tests can reach an effect's error
   paths. Every switch is off until armed; clear() turns them all off. Thread-safe. */
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "AE_Effect.h"

namespace cfhost {

class Faults {
public:
    /* --- arming (tests) ----------------------------------------------------------------------- */

    /* AcquireSuite answers kSPUnimplementedError and a null suite for this name (every version) ... */
    void withholdSuite(const std::string& name);
    /* ... or for this name and version only. */
    void withholdSuite(const std::string& name, int32_t version);

    /* host_new_handle returns null on its nth call from now (1 = the next call), or on every call. */
    void failHandleAllocation(unsigned nth);
    void failEveryHandleAllocation();

    /* The nth add_param call from now (1 = the next) returns `error` and records nothing. */
    void rejectAddParam(unsigned nth, PF_Err error);

    /* The user pressed cancel: abort() answers PF_Interrupt_CANCEL and iterations stop between rows. */
    void requestAbort();
    /* The user presses cancel once `rows` more rows have been processed by iterations (0: now). */
    void abortAfterRows(long rows);

    /* fill and fill16 return `error` without touching the world. */
    void failFill(PF_Err error);
    /* checkout_param returns `error` and checks nothing out. */
    void failCheckout(PF_Err error);
    /* The nth checkout_param call from now (1 = the next) and every later one return `error`. */
    void failCheckout(PF_Err error, unsigned nth);

    /* A host that does not honour the area argument: iterate and iterate16 (callbacks and suites) called
       with a non-null area return `error` at once, calling the pixel function for no pixel. A null area
       iterates as usual. */
    void refuseAreas(PF_Err error);

    void clear();

    /* --- queries (the host) ------------------------------------------------------------------- */

    bool suiteWithheld(const char* name, int32_t version) const;
    bool takeHandleAllocation();    /* counts one allocation; false when it must fail */
    PF_Err takeAddParam();          /* counts one add_param; its forced result or PF_Err_NONE */
    bool abortRequested() const noexcept { return abort_.load(std::memory_order_acquire); }
    bool countingRows() const noexcept { return rowsArmed_.load(std::memory_order_relaxed); }
    void rowProcessed() noexcept;   /* call only when countingRows() */
    PF_Err fillResult() const;
    PF_Err areaResult() const; /* the forced result of an iteration with an area, or PF_Err_NONE */
    PF_Err checkoutResult(); /* counts one checkout; its forced result or PF_Err_NONE */

private:
    struct SuiteFault {
        std::string name;
        bool allVersions;
        int32_t version;
    };

    mutable std::mutex mutex_;
    std::vector<SuiteFault> suites_;
    bool failEveryAllocation_ = false;
    unsigned allocationCountdown_ = 0; /* 0: off */
    unsigned addParamCountdown_ = 0;   /* 0: off */
    PF_Err addParamError_ = PF_Err_NONE;
    PF_Err fillError_ = PF_Err_NONE;
    PF_Err areaError_ = PF_Err_NONE;
    PF_Err checkoutError_ = PF_Err_NONE;
    unsigned checkoutsBeforeFailure_ = 0;

    std::atomic<bool> abort_{false};
    std::atomic<bool> rowsArmed_{false};
    std::atomic<long> rowsLeft_{0};
};

} // namespace cfhost
