/* Running out of memory during a frame: where the frame cannot do without the memory (the chaos values)
   the render command reports PF_Err_OUT_OF_MEMORY instead of letting the exception escape; where it can
   (the plan's lookup tables) it renders the very same pixels without. Own executable: it replaces the
   global allocation functions so that they can be made to fail, all of them or the nth. */
#include "FakeHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {
std::atomic<bool> failAllocations{false};
std::atomic<long> allocations{0};  /* operator new calls since last reset */
std::atomic<long> failAllocation{-1}; /* the index (from 0) of the call that fails; -1: none */
}

void* operator new(std::size_t size)
{
    if (failAllocations.load() || allocations.fetch_add(1) == failAllocation.load()) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

// The replaced operator new takes its memory from malloc; GCC cannot see that when it inlines a delete.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace {

TEST(RenderOutOfMemory, ChaosValuesThatCannotBeAllocatedEndTheRenderWithOutOfMemory)
{
    FakeHost host;
    host.defs[PARAM_ENABLE_CHAOS].u.bd.value = 1;
    host.events.reserve(16);
    failAllocations = true;
    const PF_Err err = host.render();
    failAllocations = false;
    EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.events, std::vector<std::string>{"fill"}) << "nothing iterated";
    EXPECT_EQ(host.released, host.acquired);

    host.events.clear();
    EXPECT_EQ(host.render(), PF_Err_NONE) << "and the next frame renders";
}

/* The fake host with callbacks that allocate nothing, so that every allocation counted is the effect's. */
SPErr quietAcquire(const char* name, int32 version, const void** suite)
{
    FakeHost& h = *currentHost();
    const bool deep = std::strcmp(name, kPFIterate16Suite) == 0;
    if (!deep && std::strcmp(name, kPFIterate8Suite) != 0) {
        *suite = nullptr;
        return 0x21494D50; // '!IMP'
    }
    *suite = deep ? static_cast<const void*>(version == 1 ? &h.iterate16v1 : &h.iterate16v2)
                  : static_cast<const void*>(version == 1 ? &h.iterate8v1 : &h.iterate8v2);
    ++h.acquired;
    return kSPNoError;
}

SPErr quietRelease(const char*, int32)
{
    ++currentHost()->released;
    return kSPNoError;
}

PF_Err quietFill(PF_ProgPtr, const PF_Pixel*, const PF_Rect*, PF_EffectWorld*)
{
    return PF_Err_NONE;
}

template <typename Pixel, typename Fn>
PF_Err quietIterate(PF_InData*, A_long, A_long, PF_EffectWorld*, const PF_Rect*, void* refcon, Fn fn, PF_EffectWorld*)
{
    FakeHost& h = *currentHost();
    for (A_long y = 0; y < 4; ++y) {
        for (A_long x = 0; x < 6; ++x) {
            if constexpr (sizeof(Pixel) == sizeof(PF_Pixel16)) {
                fn(refcon, x, y, &h.input16.at(x, y), &h.output16.at(x, y));
            } else {
                fn(refcon, x, y, &h.input8.at(x, y), &h.output8.at(x, y));
            }
        }
    }
    return PF_Err_NONE;
}

TEST(RenderOutOfMemory, EveryAllocationOfAFrameFailingInTurnEndsCleanlyOrChangesNoPixel)
{
    for (const bool deep : {false, true}) {
        for (const bool chaos : {false, true}) {
            SCOPED_TRACE(std::string(deep ? "16" : "8") + "-bit, chaos " + (chaos ? "on" : "off"));
            FakeHost host;
            host.basic.AcquireSuite = quietAcquire;
            host.basic.ReleaseSuite = quietRelease;
            host.utils.fill = quietFill;
            for (PF_Iterate8Suite1* suite : {&host.iterate8v1, &host.iterate8v2}) {
                suite->iterate = quietIterate<PF_Pixel, PF_IteratePixel8Func>;
            }
            for (PF_Iterate16Suite1* suite : {&host.iterate16v1, &host.iterate16v2}) {
                suite->iterate = quietIterate<PF_Pixel16, PF_IteratePixel16Func>;
            }
            host.useDepth(deep);
            host.defs[PARAM_ENABLE_CHAOS].u.bd.value = chaos ? 1 : 0;
            host.defs[PARAM_HORIZONTAL_DETAIL].u.fs_d.value = 2;
            host.defs[PARAM_VERTICAL_DETAIL].u.fs_d.value = 1;
            host.defs[PARAM_PATTERN_SIZE].u.fs_d.value = 1;
            for (A_long y = 0; y < 4; ++y) {
                for (A_long x = 0; x < 6; ++x) {
                    const auto v = static_cast<A_u_char>(40 * x + 9 * y);
                    host.input8.at(x, y) = PF_Pixel{255, v, v, v};
                    host.input16.at(x, y) = PF_Pixel16{32768, channel16(v), channel16(v), channel16(v)};
                }
            }

            allocations = 0;
            ASSERT_EQ(host.render(), PF_Err_NONE);
            const long perFrame = allocations.load();
            ASSERT_GT(perFrame, 0);
            const World8 expected8 = host.output8;
            const World16 expected16 = host.output16;
            auto sameFrame = [&] {
                for (A_long y = 0; y < 4; ++y) {
                    for (A_long x = 0; x < 6; ++x) {
                        if (deep ? !(host.output16.at(x, y) == const_cast<World16&>(expected16).at(x, y))
                                 : !(host.output8.at(x, y) == const_cast<World8&>(expected8).at(x, y))) {
                            return false;
                        }
                    }
                }
                return true;
            };

            for (long n = 0; n < perFrame; ++n) {
                SCOPED_TRACE("allocation " + std::to_string(n));
                host.output8.fill(PF_Pixel{7, 7, 7, 7});
                host.output16.fill(PF_Pixel16{7, 7, 7, 7});
                allocations = 0;
                failAllocation = n;
                const PF_Err err = host.render();
                failAllocation = -1;
                if (chaos) {
                    EXPECT_TRUE(err == PF_Err_NONE || err == PF_Err_OUT_OF_MEMORY) << err;
                } else {
                    EXPECT_EQ(err, PF_Err_NONE) << "a frame without chaos needs no memory it cannot do without";
                }
                if (err == PF_Err_NONE) {
                    EXPECT_TRUE(sameFrame());
                }
                EXPECT_EQ(host.released, host.acquired);
            }
        }
    }
}

} // namespace
