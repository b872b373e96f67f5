/* HostState.h — the implementation behind cfhost::Host: its parts and the C callbacks' C++ side.
   Every callback method is noexcept and answers errors with the codes the interface defines. */
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CallbackTables.h"
#include "CommandRegistry.h"
#include "HandleTable.h"
#include "SuiteBook.h"
#include "ThreadPool.h"
#include "cfhost/Host.h"

namespace cfhost {

struct Host::State {
    explicit State(HostOptions opts);
    ~State();
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    /* --- basic suite --- */
    SPErr acquireSuite(const char* name, int32 version, const void** suite) noexcept;
    SPErr releaseSuite(const char* name, int32 version) noexcept;
    SPErr allocateBlock(size_t size, void** block) noexcept;
    SPErr freeBlock(void* block) noexcept;
    SPErr reallocateBlock(void* block, size_t newSize, void** newBlock) noexcept;

    /* --- handles --- */
    PF_Handle newHandle(A_u_longlong size) noexcept;
    void* lockHandle(PF_Handle handle) noexcept;
    void unlockHandle(PF_Handle handle) noexcept;
    void disposeHandle(PF_Handle handle) noexcept;
    A_u_longlong handleSize(PF_Handle handle) noexcept;
    PF_Err resizeHandle(A_u_longlong newSize, PF_Handle* handle) noexcept;

    /* --- image utilities --- */
    PF_Err fill(const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world) noexcept;
    PF_Err fill16(const PF_Pixel16* colour, const PF_Rect* rect, PF_EffectWorld* world) noexcept;
    PF_Err newWorld(A_long width, A_long height, PF_NewWorldFlags flags, PF_EffectWorld* world) noexcept;
    PF_Err disposeWorld(PF_EffectWorld* world) noexcept;
    PF_Err iterate8(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                    void* refcon, PF_IteratePixel8Func fn, PF_EffectWorld* dst) noexcept;
    PF_Err iterate16(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                     void* refcon, PF_IteratePixel16Func fn, PF_EffectWorld* dst) noexcept;
    PF_Err iterateGeneric(A_long count, void* refcon,
                          PF_Err (*fn)(void* refcon, A_long threadIndex, A_long i, A_long count)) noexcept;

    /* --- interaction --- */
    PF_Err checkoutParam(PF_ProgPtr ref, PF_ParamIndex index, A_long time, A_u_long timeScale,
                         PF_ParamDef* param) noexcept;
    PF_Err checkinParam(PF_ProgPtr ref, PF_ParamDef* param) noexcept;
    PF_Err addParam(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) noexcept;
    PF_Err abort(PF_ProgPtr ref) noexcept;
    PF_Err progress(PF_ProgPtr ref, A_long current, A_long total) noexcept;

    /* --- parameter utilities --- */
    PF_Err keyframeCount(PF_ProgPtr ref, PF_ParamIndex index, PF_KeyIndex* count) noexcept;

    /* --- bookkeeping --- */
    void misuse(const std::string& what) noexcept;
    void recordProgress(A_long current, A_long total) noexcept;
    detail::CommandContext* command(PF_ProgPtr ref, const char* callback) noexcept;

    HostOptions options;
    unsigned threads;
    Faults faults;
    detail::HandleTable handles;
    detail::SuiteBook suites;
    detail::CommandRegistry commands;

    std::mutex blocksMutex;
    std::unordered_set<void*> blocks;

    std::mutex worldsMutex;
    std::unordered_map<const void*, std::unique_ptr<World>> worlds;

    mutable std::mutex logMutex;
    std::vector<ProgressEvent> progressLog;
    std::vector<std::string> misuses;

    std::atomic<long> handleAllocations{0};
    std::atomic<long> handleSizeQueries{0};
    std::atomic<long> handleResizes{0};
    std::atomic<long> handleDisposals{0};
    std::atomic<long> addParamCalls{0};
    std::atomic<long> abortCalls{0};
    std::atomic<long> progressCalls{0};
    std::atomic<long> iterations{0};
    std::atomic<long> checkouts{0};

    detail::ThreadPool pool;
    detail::CallbackTables tables;
    detail::SlotClaim slot; /* last: released first, so no callback reaches a half-destroyed State */
};

} // namespace cfhost
