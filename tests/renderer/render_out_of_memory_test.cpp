/* Running out of memory while the chaos values are built: the render command reports it to the host as
   PF_Err_OUT_OF_MEMORY instead of letting the exception escape. Own executable: it replaces the global
   allocation functions so that they can be made to fail. */
#include "FakeHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> failAllocations{false};
}

void* operator new(std::size_t size)
{
    if (failAllocations.load()) {
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

} // namespace
