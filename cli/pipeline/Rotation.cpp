/* Rotation.cpp — reading the display matrix with libavutil, and copying pixels turned by quarters. */
#include "pipeline/Rotation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <cmath>
#include <cstring>

namespace cfcli {

int quarterTurns(const std::vector<std::uint8_t>& displayMatrix)
{
    if (displayMatrix.size() != 9 * sizeof(std::int32_t)) {
        return 0;
    }
    std::int32_t m[9];
    std::memcpy(m, displayMatrix.data(), sizeof m);
    if (static_cast<std::int64_t>(m[0]) * m[4] - static_cast<std::int64_t>(m[1]) * m[3] < 0) {
        return 0; /* mirrored */
    }
    /* libavutil gives the counter-clockwise angle of the matrix; players turn clockwise by its opposite */
    const double angle = -av_display_rotation_get(m);
    if (std::isnan(angle)) {
        return 0;
    }
    const long quarters = std::lround(angle / 90.0);
    if (std::fabs(angle - 90.0 * static_cast<double>(quarters)) > 1.0) {
        return 0;
    }
    return static_cast<int>(((quarters % 4) + 4) % 4);
}

void rotateWorld(const cfhost::World& from, cfhost::World& to, int turns)
{
    const std::size_t bytes = from.pixelBytes();
    const auto* src = static_cast<const unsigned char*>(static_cast<const void*>(from.layer().data));
    auto* dst = static_cast<unsigned char*>(static_cast<void*>(to.layer().data));
    const A_long w = from.width();
    const A_long h = from.height();
    for (A_long y = 0; y < to.height(); ++y) {
        unsigned char* row = dst + static_cast<std::size_t>(y) * static_cast<std::size_t>(to.rowbytes());
        for (A_long x = 0; x < to.width(); ++x) {
            A_long sx = x;
            A_long sy = y;
            if (turns == 1) { /* clockwise: the left column becomes the top row */
                sx = y;
                sy = h - 1 - x;
            } else if (turns == 2) {
                sx = w - 1 - x;
                sy = h - 1 - y;
            } else if (turns == 3) {
                sx = w - 1 - y;
                sy = x;
            }
            std::memcpy(row + static_cast<std::size_t>(x) * bytes,
                        src + static_cast<std::size_t>(sy) * static_cast<std::size_t>(from.rowbytes()) +
                            static_cast<std::size_t>(sx) * bytes,
                        bytes);
        }
    }
}

} // namespace cfcli
