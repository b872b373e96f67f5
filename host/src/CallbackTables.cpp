/* CallbackTables.cpp — slot registry and the per-slot C functions that forward to their Host::State. */
#include "CallbackTables.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

#include "Ansi.h"
#include "HostState.h"
#include "cfhost/HostError.h"

namespace cfhost::detail {
namespace {

constexpr std::size_t kSlots = Host::kMaxHosts;

/* Which Host::State owns each slot. Claims and releases are rare and take the mutex; callbacks only load. */
class SlotRegistry {
public:
    static SlotRegistry& instance()
    {
        static SlotRegistry registry;
        return registry;
    }

    std::size_t claim(Host::State* state)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < kSlots; ++i) {
            if (slots_[i].load(std::memory_order_relaxed) == nullptr) {
                slots_[i].store(state, std::memory_order_release);
                return i;
            }
        }
        throw HostError("more than " + std::to_string(kSlots) + " hosts alive at once");
    }

    void release(std::size_t index) noexcept
    {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[index].store(nullptr, std::memory_order_release);
    }

    Host::State* get(std::size_t index) const noexcept { return slots_[index].load(std::memory_order_acquire); }

private:
    std::mutex mutex_;
    std::array<std::atomic<Host::State*>, kSlots> slots_{};
};

/* Functions that need no Host. */
SPBoolean isEqual(const char* a, const char* b)
{
    return static_cast<SPBoolean>(a != nullptr && b != nullptr && std::strcmp(a, b) == 0);
}

SPErr undefinedEntry()
{
    return kSPUnimplementedError;
}

/* The C entries of slot S. A call arriving after its Host is gone gets an error, or null. */
template <std::size_t S>
struct Bound {
    static Host::State* host() noexcept { return SlotRegistry::instance().get(S); }

    /* basic suite */
    static SPErr acquireSuite(const char* name, int32 version, const void** suite)
    {
        auto* h = host();
        return h != nullptr ? h->acquireSuite(name, version, suite) : kSPBadParameterError;
    }
    static SPErr releaseSuite(const char* name, int32 version)
    {
        auto* h = host();
        return h != nullptr ? h->releaseSuite(name, version) : kSPBadParameterError;
    }
    static SPErr allocateBlock(size_t size, void** block)
    {
        auto* h = host();
        return h != nullptr ? h->allocateBlock(size, block) : kSPBadParameterError;
    }
    static SPErr freeBlock(void* block)
    {
        auto* h = host();
        return h != nullptr ? h->freeBlock(block) : kSPBadParameterError;
    }
    static SPErr reallocateBlock(void* block, size_t size, void** newBlock)
    {
        auto* h = host();
        return h != nullptr ? h->reallocateBlock(block, size, newBlock) : kSPBadParameterError;
    }

    /* handles */
    static PF_Handle newHandle(A_u_longlong size)
    {
        auto* h = host();
        return h != nullptr ? h->newHandle(size) : nullptr;
    }
    static void* lockHandle(PF_Handle handle)
    {
        auto* h = host();
        return h != nullptr ? h->lockHandle(handle) : nullptr;
    }
    static void unlockHandle(PF_Handle handle)
    {
        if (auto* h = host()) {
            h->unlockHandle(handle);
        }
    }
    static void disposeHandle(PF_Handle handle)
    {
        if (auto* h = host()) {
            h->disposeHandle(handle);
        }
    }
    static A_u_longlong handleSize(PF_Handle handle)
    {
        auto* h = host();
        return h != nullptr ? h->handleSize(handle) : 0;
    }
    static PF_Err resizeHandle(A_u_longlong size, PF_Handle* handle)
    {
        auto* h = host();
        return h != nullptr ? h->resizeHandle(size, handle) : PF_Err_BAD_CALLBACK_PARAM;
    }

    /* image utilities */
    static PF_Err fill(PF_ProgPtr, const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world)
    {
        auto* h = host();
        return h != nullptr ? h->fill(colour, rect, world) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err fill16(PF_ProgPtr, const PF_Pixel16* colour, const PF_Rect* rect, PF_EffectWorld* world)
    {
        auto* h = host();
        return h != nullptr ? h->fill16(colour, rect, world) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err newWorld(PF_ProgPtr, A_long width, A_long height, PF_NewWorldFlags flags, PF_EffectWorld* world)
    {
        auto* h = host();
        return h != nullptr ? h->newWorld(width, height, flags, world) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err disposeWorld(PF_ProgPtr, PF_EffectWorld* world)
    {
        auto* h = host();
        return h != nullptr ? h->disposeWorld(world) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err iterate8(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                           void* refcon, PF_IteratePixel8Func fn, PF_EffectWorld* dst)
    {
        auto* h = host();
        return h != nullptr ? h->iterate8(in, base, final, src, area, refcon, fn, dst) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err iterate16(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                            void* refcon, PF_IteratePixel16Func fn, PF_EffectWorld* dst)
    {
        auto* h = host();
        return h != nullptr ? h->iterate16(in, base, final, src, area, refcon, fn, dst) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err iterateGeneric(A_long count, void* refcon, PF_Err (*fn)(void*, A_long, A_long, A_long))
    {
        auto* h = host();
        return h != nullptr ? h->iterateGeneric(count, refcon, fn) : PF_Err_BAD_CALLBACK_PARAM;
    }

    /* interaction */
    static PF_Err checkoutParam(PF_ProgPtr ref, PF_ParamIndex index, A_long time, A_long, A_u_long timeScale,
                                PF_ParamDef* param)
    {
        auto* h = host();
        return h != nullptr ? h->checkoutParam(ref, index, time, timeScale, param) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err checkinParam(PF_ProgPtr ref, PF_ParamDef* param)
    {
        auto* h = host();
        return h != nullptr ? h->checkinParam(ref, param) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err addParam(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def)
    {
        auto* h = host();
        return h != nullptr ? h->addParam(ref, index, def) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err abort(PF_ProgPtr ref)
    {
        auto* h = host();
        return h != nullptr ? h->abort(ref) : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err progress(PF_ProgPtr ref, A_long current, A_long total)
    {
        auto* h = host();
        return h != nullptr ? h->progress(ref, current, total) : PF_Err_BAD_CALLBACK_PARAM;
    }

    /* parameter utilities: the keyframe count; the suite's other functions answer kNotOffered */
    static constexpr PF_Err kNotOffered = PF_Err_INVALID_CALLBACK;
    static PF_Err keyframeCount(PF_ProgPtr ref, PF_ParamIndex index, PF_KeyIndex* count)
    {
        auto* h = host();
        return h != nullptr ? h->keyframeCount(ref, index, count) : PF_Err_BAD_CALLBACK_PARAM;
    }

    static CallbackTables tables()
    {
        CallbackTables t;

        t.basic.AcquireSuite = acquireSuite;
        t.basic.ReleaseSuite = releaseSuite;
        t.basic.IsEqual = isEqual;
        t.basic.AllocateBlock = allocateBlock;
        t.basic.FreeBlock = freeBlock;
        t.basic.ReallocateBlock = reallocateBlock;
        t.basic.Undefined = undefinedEntry;

        t.utils.fill = fill;
        t.utils.iterate = iterate8;
        t.utils.new_world = newWorld;
        t.utils.dispose_world = disposeWorld;
        t.utils.host_new_handle = newHandle;
        t.utils.host_lock_handle = lockHandle;
        t.utils.host_unlock_handle = unlockHandle;
        t.utils.host_dispose_handle = disposeHandle;
        t.utils.ansi = ansiCallbacks();
        t.utils.iterate_generic = iterateGeneric;
        t.utils.host_get_handle_size = handleSize;
        t.utils.host_resize_handle = resizeHandle;
        t.utils.fill16 = fill16;
        t.utils.iterate16 = iterate16;

        t.inter.checkout_param = checkoutParam;
        t.inter.checkin_param = checkinParam;
        t.inter.add_param = addParam;
        t.inter.abort = abort;
        t.inter.progress = progress;

        t.ansi = ansiSuite();
        t.iterate8.iterate = iterate8;
        t.iterate8.iterate_generic = iterateGeneric;
        t.iterate16.iterate = iterate16;

        t.handles.host_new_handle = newHandle;
        t.handles.host_lock_handle = lockHandle;
        t.handles.host_unlock_handle = unlockHandle;
        t.handles.host_dispose_handle = disposeHandle;
        t.handles.host_get_handle_size = handleSize;
        t.handles.host_resize_handle = resizeHandle;

        t.paramUtils.PF_GetKeyframeCount = keyframeCount;
        t.paramUtils.PF_UpdateParamUI = [](PF_ProgPtr, PF_ParamIndex, const PF_ParamDef*) { return kNotOffered; };
        t.paramUtils.PF_GetCurrentState = [](PF_ProgPtr, PF_ParamIndex, const A_Time*, const A_Time*, PF_State*) {
            return kNotOffered;
        };
        t.paramUtils.PF_AreStatesIdentical = [](PF_ProgPtr, const PF_State*, const PF_State*, A_Boolean*) {
            return kNotOffered;
        };
        t.paramUtils.PF_IsIdenticalCheckout = [](PF_ProgPtr, PF_ParamIndex, A_long, A_long, A_u_long, A_long, A_long,
                                                 A_u_long, PF_Boolean*) { return kNotOffered; };
        t.paramUtils.PF_FindKeyframeTime = [](PF_ProgPtr, PF_ParamIndex, A_long, A_u_long, PF_TimeDir, PF_Boolean*,
                                              PF_KeyIndex*, A_long*, A_u_long*) { return kNotOffered; };
        t.paramUtils.PF_CheckoutKeyframe = [](PF_ProgPtr, PF_ParamIndex, PF_KeyIndex, A_long*, A_u_long*,
                                              PF_ParamDef*) { return kNotOffered; };
        t.paramUtils.PF_CheckinKeyframe = [](PF_ProgPtr, PF_ParamDef*) { return kNotOffered; };
        t.paramUtils.PF_KeyIndexToTime = [](PF_ProgPtr, PF_ParamIndex, PF_KeyIndex, A_long*, A_u_long*) {
            return kNotOffered;
        };
        return t;
    }
};

using TableMaker = CallbackTables (*)();

template <std::size_t... I>
constexpr std::array<TableMaker, sizeof...(I)> tableMakers(std::index_sequence<I...>)
{
    return {&Bound<I>::tables...};
}

constexpr auto kTableMakers = tableMakers(std::make_index_sequence<kSlots>{});

} // namespace

CallbackTables makeTables(std::size_t slot)
{
    return kTableMakers.at(slot)();
}

SlotClaim::SlotClaim(Host::State* state) : index_(SlotRegistry::instance().claim(state)) {}

SlotClaim::~SlotClaim()
{
    SlotRegistry::instance().release(index_);
}

} // namespace cfhost::detail
