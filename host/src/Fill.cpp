/* Fill.cpp — rectangle fills of 8- and 16-bit worlds. */
#include "Fill.h"

#include <algorithm>

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

template <class Pixel>
void fillRect(PF_EffectWorld& world, const PF_Rect& r, const Pixel& value) noexcept
{
    auto* base = static_cast<unsigned char*>(static_cast<void*>(world.data));
    for (A_long y = r.top; y < r.bottom; ++y) {
        auto* row = static_cast<Pixel*>(static_cast<void*>(base + static_cast<std::ptrdiff_t>(y) * world.rowbytes));
        std::fill(row + r.left, row + r.right, value);
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
