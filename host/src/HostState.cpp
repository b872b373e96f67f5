/* HostState.cpp — the C++ side of every host callback. */
#include "HostState.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Fill.h"
#include "Iterate.h"

namespace cfhost {
namespace {

unsigned resolveThreads(unsigned wanted)
{
    if (wanted != 0) {
        return wanted;
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

std::string suiteName(const char* name, int32 version)
{
    return std::string("\"") + (name != nullptr ? name : "(null)") + "\" version " + std::to_string(version);
}

std::string pointerText(const void* p)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

} // namespace

Host::State::State(HostOptions opts)
    : options(std::move(opts)), threads(resolveThreads(options.threads)), pool(threads - 1), slot(this)
{
    tables = detail::makeTables(slot.index());
}

Host::State::~State()
{
    std::lock_guard<std::mutex> lock(blocksMutex);
    for (void* block : blocks) {
        std::free(block);
    }
}

void Host::State::misuse(const std::string& what) noexcept
{
    try {
        std::lock_guard<std::mutex> lock(logMutex);
        misuses.push_back(what);
    } catch (...) {
    }
}

void Host::State::recordProgress(A_long current, A_long total) noexcept
{
    try {
        std::lock_guard<std::mutex> lock(logMutex);
        progressLog.push_back(ProgressEvent{current, total});
    } catch (...) {
    }
}

detail::CommandContext* Host::State::command(PF_ProgPtr ref, const char* callback) noexcept
{
    detail::CommandContext* context = commands.find(ref);
    if (context == nullptr) {
        misuse(std::string(callback) + " called with effect_ref " + pointerText(ref) +
               ", which belongs to no command in progress");
    }
    return context;
}

/* ---- basic suite ---------------------------------------------------------------------------------- */

SPErr Host::State::acquireSuite(const char* name, int32 version, const void** suite) noexcept
{
    if (suite == nullptr || name == nullptr) {
        misuse("AcquireSuite called with a null " + std::string(name == nullptr ? "name" : "result pointer"));
        return kSPBadParameterError;
    }
    *suite = nullptr;
    const void* table = nullptr;
    if (std::strcmp(name, kPFANSISuite) == 0 && version == kPFANSISuiteVersion1) {
        table = &tables.ansi;
    } else if (std::strcmp(name, kPFIterate8Suite) == 0 &&
               (version == kPFIterate8SuiteVersion1 || version == kPFIterate8SuiteVersion2)) {
        table = &tables.iterate8;
    } else if (std::strcmp(name, kPFIterate16Suite) == 0 &&
               (version == kPFIterate16SuiteVersion1 || version == kPFIterate16SuiteVersion2)) {
        table = &tables.iterate16;
    } else if (std::strcmp(name, kPFHandleSuite) == 0 && version == kPFHandleSuiteVersion1) {
        table = &tables.handles;
    } else if (std::strcmp(name, kPFParamUtilsSuite) == 0 && version == kPFParamUtilsSuiteVersion3) {
        table = &tables.paramUtils;
    } else if (std::strcmp(name, kSPBasicSuite) == 0 && version == kSPBasicSuiteVersion) {
        table = &tables.basic;
    }
    if (table == nullptr || faults.suiteWithheld(name, version)) {
        return kSPUnimplementedError;
    }
    try {
        suites.acquired(name, version);
    } catch (...) {
        return kSPOutOfMemoryError;
    }
    *suite = table;
    return kSPNoError;
}

SPErr Host::State::releaseSuite(const char* name, int32 version) noexcept
{
    if (name == nullptr) {
        misuse("ReleaseSuite called with a null name");
        return kSPBadParameterError;
    }
    try {
        if (!suites.released(name, version)) {
            misuse("ReleaseSuite of " + suiteName(name, version) + " more often than it was acquired");
        }
    } catch (...) {
        return kSPOutOfMemoryError;
    }
    return kSPNoError;
}

SPErr Host::State::allocateBlock(size_t size, void** block) noexcept
{
    if (block == nullptr) {
        misuse("AllocateBlock called with a null result pointer");
        return kSPBadParameterError;
    }
    *block = nullptr;
    void* memory = size <= detail::HandleTable::kMaxSize ? std::malloc(std::max<size_t>(size, 1)) : nullptr;
    if (memory == nullptr) {
        return kSPOutOfMemoryError;
    }
    try {
        std::lock_guard<std::mutex> lock(blocksMutex);
        blocks.insert(memory);
    } catch (...) {
        std::free(memory);
        return kSPOutOfMemoryError;
    }
    *block = memory;
    return kSPNoError;
}

SPErr Host::State::freeBlock(void* block) noexcept
{
    if (block == nullptr) {
        return kSPNoError;
    }
    {
        std::lock_guard<std::mutex> lock(blocksMutex);
        if (blocks.erase(block) == 0) {
            misuse("FreeBlock of " + pointerText(block) + ", which is no live block");
            return kSPBadParameterError;
        }
    }
    std::free(block);
    return kSPNoError;
}

SPErr Host::State::reallocateBlock(void* block, size_t newSize, void** newBlock) noexcept
{
    if (newBlock == nullptr) {
        misuse("ReallocateBlock called with a null result pointer");
        return kSPBadParameterError;
    }
    if (block == nullptr) {
        return allocateBlock(newSize, newBlock);
    }
    std::lock_guard<std::mutex> lock(blocksMutex);
    if (blocks.count(block) == 0) {
        misuse("ReallocateBlock of " + pointerText(block) + ", which is no live block");
        return kSPBadParameterError;
    }
    void* memory = newSize <= detail::HandleTable::kMaxSize ? std::realloc(block, std::max<size_t>(newSize, 1))
                                                            : nullptr;
    if (memory == nullptr) {
        return kSPOutOfMemoryError; /* the old block stays valid */
    }
    blocks.erase(block);
    try {
        blocks.insert(memory);
    } catch (...) {
        std::free(memory);
        *newBlock = nullptr;
        return kSPOutOfMemoryError;
    }
    *newBlock = memory;
    return kSPNoError;
}

/* ---- handles --------------------------------------------------------------------------------------- */

PF_Handle Host::State::newHandle(A_u_longlong size) noexcept
{
    handleAllocations.fetch_add(1, std::memory_order_relaxed);
    if (!faults.takeHandleAllocation() || size > detail::HandleTable::kMaxSize) {
        return nullptr;
    }
    return handles.allocate(static_cast<std::size_t>(size), false);
}

void* Host::State::lockHandle(PF_Handle handle) noexcept
{
    void* data = handles.lock(handle);
    if (data == nullptr) {
        misuse("host_lock_handle of " + pointerText(handle) + ", which is no live handle");
    }
    return data;
}

void Host::State::unlockHandle(PF_Handle handle) noexcept
{
    if (!handles.unlock(handle)) {
        misuse("host_unlock_handle of " + pointerText(handle) + ", which is no locked live handle");
    }
}

void Host::State::disposeHandle(PF_Handle handle) noexcept
{
    handleDisposals.fetch_add(1, std::memory_order_relaxed);
    if (handle != nullptr && !handles.dispose(handle)) {
        misuse("host_dispose_handle of " + pointerText(handle) + ", which is no live handle");
    }
}

A_u_longlong Host::State::handleSize(PF_Handle handle) noexcept
{
    handleSizeQueries.fetch_add(1, std::memory_order_relaxed);
    const auto size = handles.size(handle);
    if (!size) {
        misuse("host_get_handle_size of " + pointerText(handle) + ", which is no live handle");
        return 0;
    }
    return *size;
}

PF_Err Host::State::resizeHandle(A_u_longlong newSize, PF_Handle* handle) noexcept
{
    handleResizes.fetch_add(1, std::memory_order_relaxed);
    if (handle == nullptr) {
        misuse("host_resize_handle called with a null handle address");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (newSize > detail::HandleTable::kMaxSize) {
        return PF_Err_OUT_OF_MEMORY;
    }
    switch (handles.resize(*handle, static_cast<std::size_t>(newSize))) {
    case detail::HandleTable::Resize::Done:
        return PF_Err_NONE;
    case detail::HandleTable::Resize::OutOfMemory:
        return PF_Err_OUT_OF_MEMORY;
    case detail::HandleTable::Resize::UnknownHandle:
        break;
    }
    misuse("host_resize_handle of " + pointerText(*handle) + ", which is no live handle");
    return PF_Err_BAD_CALLBACK_PARAM;
}

/* ---- image utilities ------------------------------------------------------------------------------- */

PF_Err Host::State::fill(const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world) noexcept
{
    if (const PF_Err forced = faults.fillResult()) {
        return forced;
    }
    return detail::fillInBands(pool, threads, world, rect,
                               [world, colour](const PF_Rect* band) { return detail::fillWorld(world, colour, band); });
}

PF_Err Host::State::fill16(const PF_Pixel16* colour, const PF_Rect* rect, PF_EffectWorld* world) noexcept
{
    if (const PF_Err forced = faults.fillResult()) {
        return forced;
    }
    return detail::fillInBands(pool, threads, world, rect,
                               [world, colour](const PF_Rect* band) { return detail::fillWorld16(world, colour, band); });
}

PF_Err Host::State::newWorld(A_long width, A_long height, PF_NewWorldFlags flags, PF_EffectWorld* world) noexcept
{
    if (world == nullptr || width < 0 || height < 0) {
        misuse("new_world called with a null world or a negative size");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    try {
        const Depth depth = (flags & PF_NewWorldFlag_DEEP_PIXELS) != 0 ? Depth::Sixteen : Depth::Eight;
        auto made = options.worldPaddingBytes < 0
                        ? std::make_unique<World>(width, height, depth)
                        : std::make_unique<World>(width, height, depth, options.worldPaddingBytes);
        *world = made->layer();
        std::lock_guard<std::mutex> lock(worldsMutex);
        worlds.emplace(made->layer().data, std::move(made));
    } catch (...) {
        *world = PF_EffectWorld{};
        return PF_Err_OUT_OF_MEMORY;
    }
    return PF_Err_NONE;
}

PF_Err Host::State::disposeWorld(PF_EffectWorld* world) noexcept
{
    std::unique_ptr<World> doomed;
    {
        std::lock_guard<std::mutex> lock(worldsMutex);
        const auto it = world != nullptr ? worlds.find(world->data) : worlds.end();
        if (it == worlds.end()) {
            misuse("dispose_world of a world the host did not make");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        doomed = std::move(it->second);
        worlds.erase(it);
    }
    world->data = nullptr;
    return PF_Err_NONE;
}

namespace {

bool worldUsable(const PF_EffectWorld* world) noexcept
{
    return world != nullptr && world->data != nullptr && world->width >= 0 && world->height >= 0;
}

/* The result forced on an iteration over an area (Faults::refuseAreas), or PF_Err_NONE. */
PF_Err areaRefusal(const Faults& faults, const PF_Rect* area)
{
    return area != nullptr ? faults.areaResult() : PF_Err_NONE;
}

} // namespace

PF_Err Host::State::iterate8(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                             void* refcon, PF_IteratePixel8Func fn, PF_EffectWorld* dst) noexcept
{
    iterations.fetch_add(1, std::memory_order_relaxed);
    if (in == nullptr || fn == nullptr || !worldUsable(dst)) {
        misuse("iterate called without in_data, pixel function or destination world");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (const PF_Err refused = areaRefusal(faults, area); refused != PF_Err_NONE) {
        return refused;
    }
    /* A deep world read as 8-bit pixels stays inside its rows (4 of every 8 bytes), as with a host that
       trusts its caller; the opposite mix is refused by iterate16. */
    return detail::iteratePixels8(*this, base, final, src, area, refcon, fn, dst);
}

PF_Err Host::State::iterate16(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                              void* refcon, PF_IteratePixel16Func fn, PF_EffectWorld* dst) noexcept
{
    iterations.fetch_add(1, std::memory_order_relaxed);
    if (in == nullptr || fn == nullptr || !worldUsable(dst)) {
        misuse("iterate16 called without in_data, pixel function or destination world");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const bool srcShallow = src != nullptr && src->data != nullptr && (src->world_flags & PF_WorldFlag_DEEP) == 0;
    if ((dst->world_flags & PF_WorldFlag_DEEP) == 0 || srcShallow) {
        misuse("iterate16 called on an 8-bit world");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (const PF_Err refused = areaRefusal(faults, area); refused != PF_Err_NONE) {
        return refused;
    }
    return detail::iteratePixels16(*this, base, final, src, area, refcon, fn, dst);
}

PF_Err Host::State::iterateGeneric(A_long count, void* refcon,
                                   PF_Err (*fn)(void* refcon, A_long threadIndex, A_long i, A_long count)) noexcept
{
    if (fn == nullptr || (count < 0 && count != PF_Iterations_ONCE_PER_PROCESSOR)) {
        misuse("iterate_generic called with " +
               (fn == nullptr ? std::string("a null function") : "an iteration count of " + std::to_string(count)));
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return detail::iterateGeneric(*this, count, refcon, fn);
}

/* ---- interaction ----------------------------------------------------------------------------------- */

PF_Err Host::State::checkoutParam(PF_ProgPtr ref, PF_ParamIndex index, A_long time, A_u_long timeScale,
                                  PF_ParamDef* param) noexcept
{
    detail::CommandContext* context = command(ref, "checkout_param");
    if (context == nullptr || param == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (const PF_Err forced = faults.checkoutResult()) {
        return forced;
    }
    const auto* params = context->params();
    if (params == nullptr || index < 0 || static_cast<std::size_t>(index) >= params->size()) {
        return PF_Err_INVALID_INDEX;
    }
    // The value at the time asked for: a keyframed parameter may differ from the command's own moment.
    const auto i = static_cast<std::size_t>(index);
    const auto* keyframes = context->keyframes();
    if (keyframes != nullptr && i < keyframes->size() && !(*keyframes)[i].empty()) {
        *param = valueAt((*params)[i], (*keyframes)[i], secondsOf(time, timeScale));
    } else {
        *param = (*params)[i];
    }
    checkouts.fetch_add(1, std::memory_order_relaxed);
    return PF_Err_NONE;
}

PF_Err Host::State::checkinParam(PF_ProgPtr ref, PF_ParamDef* param) noexcept
{
    if (command(ref, "checkin_param") == nullptr || param == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    long outstanding = checkouts.load(std::memory_order_relaxed);
    do {
        if (outstanding <= 0) {
            misuse("checkin_param without a checked-out parameter");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
    } while (!checkouts.compare_exchange_weak(outstanding, outstanding - 1, std::memory_order_relaxed));
    return PF_Err_NONE;
}

PF_Err Host::State::addParam(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) noexcept
{
    addParamCalls.fetch_add(1, std::memory_order_relaxed);
    detail::CommandContext* context = command(ref, "add_param");
    if (context == nullptr || def == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (context->cmd() != PF_Cmd_PARAMS_SETUP) {
        misuse("add_param outside parameter setup (command " + std::to_string(context->cmd()) + ")");
        return PF_Err_INVALID_CALLBACK;
    }
    if (const PF_Err forced = faults.takeAddParam()) {
        return forced;
    }
    try {
        return context->addParam(index, *def);
    } catch (...) {
        return PF_Err_OUT_OF_MEMORY;
    }
}

PF_Err Host::State::abort(PF_ProgPtr ref) noexcept
{
    abortCalls.fetch_add(1, std::memory_order_relaxed);
    if (command(ref, "abort") == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return faults.abortRequested() ? PF_Interrupt_CANCEL : PF_Err_NONE;
}

PF_Err Host::State::progress(PF_ProgPtr ref, A_long current, A_long total) noexcept
{
    progressCalls.fetch_add(1, std::memory_order_relaxed);
    if (command(ref, "progress") == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    recordProgress(current, total);
    return faults.abortRequested() ? PF_Interrupt_CANCEL : PF_Err_NONE;
}

/* ---- parameter utilities ------------------------------------------------------------------------- */

PF_Err Host::State::keyframeCount(PF_ProgPtr ref, PF_ParamIndex index, PF_KeyIndex* count) noexcept
{
    detail::CommandContext* context = command(ref, "PF_GetKeyframeCount");
    if (context == nullptr || count == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const auto* params = context->params();
    if (params == nullptr || index < 0 || static_cast<std::size_t>(index) >= params->size()) {
        return PF_Err_INVALID_INDEX;
    }
    const auto i = static_cast<std::size_t>(index);
    const auto* keyframes = context->keyframes();
    const bool keyed = keyframes != nullptr && i < keyframes->size() && !(*keyframes)[i].empty();
    *count = keyed ? static_cast<PF_KeyIndex>((*keyframes)[i].size()) : PF_KeyIndex_NONE;
    return PF_Err_NONE;
}

} // namespace cfhost
