/* Fill.cpp — rectangle fills of 8- and 16-bit worlds. */
#include "Fill.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "cfhost/World.h"

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

} // namespace cfhost::detail
