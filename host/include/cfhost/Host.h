/* Host.h — the application side of the effect interface: the callback tables and suites an effect is
   handed, host memory handles, threaded pixel iteration, bookkeeping for leak checks, and fault switches.

   Every Host has its own callback tables. C callbacks that carry no context of their own (the basic suite,
   handle functions) reach their Host through a small process-wide slot registry: each Host claims one slot
   for its lifetime, and its tables point at functions bound to that slot. At most kMaxHosts Hosts can be
   alive at once. effect_ref in PF_InData points at the host's record of the command in progress; callbacks
   check it against the Host's live commands before using it.

   Thread-safety: every callback may be called from several threads at once. A Host must outlive every
   EffectInstance using it and must not be destroyed while an effect is running. */
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "SPBasic.h"
#include "cfhost/Faults.h"
#include "cfhost/FourCC.h"
#include "cfhost/World.h"

namespace cfhost {

struct HostOptions {
    A_long applicationId = kAfterEffects; /* kAfterEffects ('FXTC') or kPremierePro ('PrMr') */
    A_short versionMajor = PF_PLUG_IN_VERSION; /* interface version reported in in_data->version: 13.28 */
    A_short versionMinor = PF_PLUG_IN_SUBVERS;
    unsigned threads = 0;            /* iteration threads; 0: std::thread::hardware_concurrency() */
    A_long worldPaddingBytes = -1;   /* padding of worlds the host makes; -1: World's default */
    std::string hostName;            /* given to the registration entry; empty: from the application id */
    std::string hostVersion;         /* likewise; empty: "<major>.<minor>" of the interface version */
};

/* Acquire/release counts of one suite name and version. */
struct SuiteUse {
    std::string name;
    int32_t version = 0;
    long acquired = 0;
    long released = 0;
};

/* One progress report, from inter.progress or from an iteration. */
struct ProgressEvent {
    A_long current = 0;
    A_long total = 0;
};

/* A snapshot of the host's bookkeeping. */
struct Counters {
    long liveHandles = 0;          /* handles allocated and not yet disposed (host's own included) */
    long liveBlocks = 0;           /* AllocateBlock blocks not yet freed */
    long liveWorlds = 0;           /* new_world worlds not yet disposed */
    long outstandingCheckouts = 0; /* checkout_param calls without their checkin_param */
    long suitesAcquired = 0;       /* successful AcquireSuite calls */
    long suitesReleased = 0;       /* ReleaseSuite calls */
    std::vector<SuiteUse> suites;  /* per name and version, in first-use order */
    long handleAllocations = 0;    /* host_new_handle calls, failed ones included */
    long handleSizeQueries = 0;    /* host_get_handle_size calls by the effect */
    long handleResizes = 0;        /* host_resize_handle calls by the effect */
    long handleDisposals = 0;      /* host_dispose_handle calls by the effect */
    long addParamCalls = 0;
    long abortCalls = 0;
    long progressCalls = 0;
    long iterations = 0;           /* iterate / iterate16 calls */
    long misuses = 0;              /* calls the host refused: unknown handle, unknown effect_ref, ... */
};

class Host {
public:
    static constexpr std::size_t kMaxHosts = 32;

    explicit Host(HostOptions options = HostOptions{});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const HostOptions& options() const noexcept;
    unsigned threadCount() const noexcept;
    std::string hostName() const;
    std::string hostVersion() const;

    /* --- what an effect is handed -------------------------------------------------------------- */
    SPBasicSuite* basicSuite() const noexcept;
    PF_UtilCallbacks* utilCallbacks() const noexcept;
    const PF_InteractCallbacks& interactCallbacks() const noexcept;

    /* A PF_InData with what every command carries: callbacks, basic suite, application id, version,
       quality HI, downsample and pixel aspect 1/1. No effect_ref: the interaction callbacks refuse it,
       while fill, iterate, handles and suites work without one. */
    PF_InData newInData() const;

    /* --- misbehaving on purpose ---------------------------------------------------------------- */
    Faults& faults() noexcept;

    /* --- bookkeeping --------------------------------------------------------------------------- */
    Counters counters() const;
    SuiteUse suiteUse(const std::string& name, int32_t version) const;
    std::vector<ProgressEvent> progressEvents() const;
    void clearProgressEvents();
    std::vector<std::string> misuseLog() const; /* one line per refused call */
    /* Empty when nothing leaked: live handles, blocks, worlds, outstanding checkouts, suites acquired more
       (or released more) often than released, refused calls. Otherwise one line per finding. */
    std::string leakReport() const;
    /* Throws HostError carrying leakReport() when it is not empty. */
    void checkNoLeaks() const;

    /* --- host-side handles (not subject to fault switches) ------------------------------------- */
    PF_Handle newHandle(std::size_t size); /* zero-filled; throws HostError when memory runs out */
    void disposeHandle(PF_Handle handle);  /* throws HostError for a handle this host does not own */
    std::size_t handleSize(PF_Handle handle) const;
    bool ownsHandle(PF_Handle handle) const;

    /* A world laid out with this host's padding. */
    World makeWorld(A_long width, A_long height, Depth depth) const;

    struct State; /* the implementation, reached by the library's own sources */
    State& state() const noexcept { return *state_; }

private:
    std::unique_ptr<State> state_;
};

} // namespace cfhost
