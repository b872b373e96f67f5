/* Fill.cpp — rectangle fills of 8- and 16-bit worlds. */
#include "Fill.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "ThreadPool.h"
#include "cfhost/World.h"

#include <condition_variable>
#include <mutex>

namespace cfhost::detail {

bool clipToWorld(const PF_EffectWorld& world, const PF_Rect* rect, PF_Rect& out) noexcept
{
    out = PF_Rect{0, 0, world.width, world.height};
    if (rect != nullptr) {
        out.left = std::max(out.left, rect->left);
        out.top = std::max(out.top, rect->top);
        out.right = std::min(out.right, rect->right);
        out.bottom = std::min(out.bottom, rect->bottom);
    }
    return out.left < out.right && out.top < out.bottom;
}

namespace {

/* Rows of the rectangle set to one pixel value: a byte fill where every byte of the value is the same (the
   transparent black of a clear), else a fill of whole-pixel words. */
template <class Pixel>
void fillRect(PF_EffectWorld& world, const PF_Rect& r, const Pixel& value) noexcept
{
    using Word = std::conditional_t<sizeof(Pixel) == 4, std::uint32_t, std::uint64_t>;
    static_assert(sizeof(Word) == sizeof(Pixel), "one word per pixel");
    unsigned char bytes[sizeof(Pixel)];
    std::memcpy(bytes, &value, sizeof bytes);
    const bool sameBytes = std::all_of(bytes, bytes + sizeof bytes, [&](unsigned char b) { return b == bytes[0]; });
    Word word;
    std::memcpy(&word, &value, sizeof word);
    auto* base = static_cast<unsigned char*>(static_cast<void*>(world.data));
    const auto count = static_cast<std::size_t>(r.right - r.left);
    for (A_long y = r.top; y < r.bottom; ++y) {
        unsigned char* row = base + static_cast<std::ptrdiff_t>(y) * world.rowbytes +
                             static_cast<std::ptrdiff_t>(r.left) * static_cast<std::ptrdiff_t>(sizeof(Pixel));
        if (sameBytes) {
            std::memset(row, bytes[0], count * sizeof(Pixel));
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                std::memcpy(row + i * sizeof(Word), &word, sizeof word);
            }
        }
    }
}

} // namespace

PF_Err fillWorld(PF_EffectWorld* world, const PF_Pixel* colour, const PF_Rect* rect) noexcept
{
    if (world == nullptr || world->data == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const PF_Pixel value = colour != nullptr ? *colour : PF_Pixel{0, 0, 0, 0};
    PF_Rect r;
    if (clipToWorld(*world, rect, r)) {
        if ((world->world_flags & PF_WorldFlag_DEEP) != 0) {
            fillRect(*world, r, to16(value));
        } else {
            fillRect(*world, r, value);
        }
    }
    return PF_Err_NONE;
}

PF_Err fillWorld16(PF_EffectWorld* world, const PF_Pixel16* colour, const PF_Rect* rect) noexcept
{
    if (world == nullptr || world->data == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const PF_Pixel16 value = colour != nullptr ? *colour : PF_Pixel16{0, 0, 0, 0};
    PF_Rect r;
    if (clipToWorld(*world, rect, r)) {
        if ((world->world_flags & PF_WorldFlag_DEEP) != 0) {
            fillRect(*world, r, value);
        } else {
            fillRect(*world, r, to8(value));
        }
    }
    return PF_Err_NONE;
}

/* Worlds of at least this many bytes are filled by several threads: below it, handing out the bands costs
   more than it saves. */
constexpr long long kBandedFillBytes = 1 << 20;

PF_Err fillInBands(ThreadPool& pool, unsigned threads, PF_EffectWorld* world, const PF_Rect* rect,
                   const std::function<PF_Err(const PF_Rect*)>& fill) noexcept
{
    PF_Rect r;
    if (world == nullptr || world->data == nullptr || threads < 2 || !clipToWorld(*world, rect, r) ||
        static_cast<long long>(r.bottom - r.top) * std::abs(static_cast<long long>(world->rowbytes)) < kBandedFillBytes) {
        return fill(rect);
    }
    const A_long rows = r.bottom - r.top;
    const A_long bands = std::min<A_long>(static_cast<A_long>(threads), rows);
    const auto band = [&](A_long i) {
        return PF_Rect{r.left, r.top + rows * i / bands, r.right, r.top + rows * (i + 1) / bands};
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        A_long pending = 0;
        PF_Err err = PF_Err_NONE;
    };
    try {
        auto shared = std::make_shared<Shared>();
        const auto finish = [shared](PF_Err err) {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (shared->err == PF_Err_NONE) {
                shared->err = err;
            }
            if (--shared->pending == 0) {
                shared->done.notify_all();
            }
        };
        A_long i = 1;
        for (; i < bands; ++i) {
            const PF_Rect part = band(i);
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                ++shared->pending;
            }
            try {
                pool.submit([part, &fill, finish] { finish(fill(&part)); });
            } catch (...) {
                finish(PF_Err_NONE); /* not queued: this thread fills it below */
                break;
            }
        }
        // This thread fills the first band, and the rows of any band the pool could not take.
        const PF_Rect first = band(0);
        PF_Err err = fill(&first);
        if (i < bands) {
            const PF_Rect rest{r.left, band(i).top, r.right, r.bottom};
            const PF_Err e = fill(&rest);
            err = err != PF_Err_NONE ? err : e;
        }
        std::unique_lock<std::mutex> lock(shared->mutex);
        shared->done.wait(lock, [&] { return shared->pending == 0; });
        return err != PF_Err_NONE ? err : shared->err;
    } catch (...) {
        return fill(rect);
    }
}

} // namespace cfhost::detail
