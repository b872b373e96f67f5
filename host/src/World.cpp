/* World.cpp — pixel storage, layout and comparison of host-owned images. */
#include "cfhost/World.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "cfhost/HostError.h"

namespace cfhost {

A_u_short to16(A_u_char v) noexcept
{
    return static_cast<A_u_short>((v * 32768 + 128) / 255);
}

A_u_char to8(A_u_short v) noexcept
{
    const unsigned clamped = std::min<unsigned>(v, PF_MAX_CHAN16);
    return static_cast<A_u_char>((clamped * 255 + 16384) / 32768);
}

PF_Pixel16 to16(const PF_Pixel& p) noexcept
{
    return PF_Pixel16{to16(p.alpha), to16(p.red), to16(p.green), to16(p.blue)};
}

PF_Pixel to8(const PF_Pixel16& p) noexcept
{
    return PF_Pixel{to8(p.alpha), to8(p.red), to8(p.green), to8(p.blue)};
}

namespace {

A_long defaultPadding(Depth depth)
{
    return World::kDefaultPaddingPixels *
           static_cast<A_long>(depth == Depth::Sixteen ? sizeof(PF_Pixel16) : sizeof(PF_Pixel));
}

template <class Pixel>
Pixel* pixelAt(unsigned char* row, A_long x) noexcept
{
    return static_cast<Pixel*>(static_cast<void*>(row)) + x;
}

} // namespace

World::World(A_long width, A_long height, Depth depth) : World(width, height, depth, defaultPadding(depth)) {}

World::World(A_long width, A_long height, Depth depth, A_long paddingBytes) : depth_(depth)
{
    if (width < 0 || height < 0) {
        throw HostError("world size " + std::to_string(width) + "x" + std::to_string(height) + " is negative");
    }
    const auto channel = static_cast<A_long>(depth == Depth::Sixteen ? sizeof(A_u_short) : sizeof(A_u_char));
    if (paddingBytes < 0 || paddingBytes % channel != 0) {
        throw HostError("row padding of " + std::to_string(paddingBytes) + " bytes does not keep " +
                        (depth == Depth::Sixteen ? "16" : "8") + "-bit pixels aligned");
    }
    const auto pixel = static_cast<long long>(pixelBytes());
    const long long rowbytes = static_cast<long long>(width) * pixel + paddingBytes;
    if (rowbytes > std::numeric_limits<A_long>::max() || rowbytes * height > (1LL << 40)) {
        throw HostError("world of " + std::to_string(width) + "x" + std::to_string(height) + " is too large");
    }
    const auto total = static_cast<std::size_t>(std::max(rowbytes * height, 1LL));
    pixels_.reset(new unsigned char[total]);
    std::memset(pixels_.get(), kGuardByte, total);
    layer_.world_flags = PF_WorldFlag_WRITEABLE | (deep() ? PF_WorldFlag_DEEP : 0);
    layer_.data = static_cast<PF_PixelPtr>(static_cast<void*>(pixels_.get()));
    layer_.rowbytes = static_cast<A_long>(rowbytes);
    layer_.width = width;
    layer_.height = height;
    layer_.extent_hint = PF_Rect{0, 0, width, height};
    layer_.pix_aspect_ratio = PF_RationalScale{1, 1};
    for (A_long y = 0; y < height; ++y) {
        std::memset(row(y), 0, static_cast<std::size_t>(width * pixel));
    }
}

World::World(World&& other) noexcept
    : depth_(other.depth_), pixels_(std::move(other.pixels_)), layer_(other.layer_)
{
    other.layer_ = PF_LayerDef{};
}

World& World::operator=(World&& other) noexcept
{
    if (this != &other) {
        depth_ = other.depth_;
        pixels_ = std::move(other.pixels_);
        layer_ = other.layer_;
        other.layer_ = PF_LayerDef{};
    }
    return *this;
}

World::~World() = default;

World World::clone() const
{
    World copy(width(), height(), depth_, paddingBytes());
    if (pixels_) {
        std::memcpy(copy.pixels_.get(), pixels_.get(),
                    static_cast<std::size_t>(std::max<long long>(static_cast<long long>(rowbytes()) * height(), 1)));
    }
    return copy;
}

A_long World::paddingBytes() const noexcept
{
    return layer_.rowbytes - layer_.width * static_cast<A_long>(pixelBytes());
}

unsigned char* World::row(A_long y) const noexcept
{
    return pixels_.get() + static_cast<std::ptrdiff_t>(y) * layer_.rowbytes;
}

namespace {

void checkAccess(const World& world, A_long x, A_long y, Depth depth)
{
    if (world.depth() != depth) {
        throw HostError(std::string("a ") + (world.deep() ? "16" : "8") + "-bit world read as " +
                        (depth == Depth::Sixteen ? "16" : "8") + "-bit pixels");
    }
    if (x < 0 || y < 0 || x >= world.width() || y >= world.height()) {
        throw HostError("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside the " +
                        std::to_string(world.width()) + "x" + std::to_string(world.height()) + " world");
    }
}

} // namespace

PF_Pixel& World::pixel8(A_long x, A_long y)
{
    checkAccess(*this, x, y, Depth::Eight);
    return *pixelAt<PF_Pixel>(row(y), x);
}

const PF_Pixel& World::pixel8(A_long x, A_long y) const
{
    checkAccess(*this, x, y, Depth::Eight);
    return *pixelAt<PF_Pixel>(row(y), x);
}

PF_Pixel16& World::pixel16(A_long x, A_long y)
{
    checkAccess(*this, x, y, Depth::Sixteen);
    return *pixelAt<PF_Pixel16>(row(y), x);
}

const PF_Pixel16& World::pixel16(A_long x, A_long y) const
{
    checkAccess(*this, x, y, Depth::Sixteen);
    return *pixelAt<PF_Pixel16>(row(y), x);
}

void World::fill(const PF_Pixel& colour)
{
    if (deep()) {
        throw HostError("an 8-bit colour cannot fill a 16-bit world");
    }
    for (A_long y = 0; y < height(); ++y) {
        std::fill_n(pixelAt<PF_Pixel>(row(y), 0), width(), colour);
    }
}

void World::fill(const PF_Pixel16& colour)
{
    if (!deep()) {
        throw HostError("a 16-bit colour cannot fill an 8-bit world");
    }
    for (A_long y = 0; y < height(); ++y) {
        std::fill_n(pixelAt<PF_Pixel16>(row(y), 0), width(), colour);
    }
}

bool World::paddingIntact() const noexcept
{
    const auto used = static_cast<std::size_t>(width()) * pixelBytes();
    for (A_long y = 0; y < height(); ++y) {
        const unsigned char* r = row(y);
        if (std::any_of(r + used, r + rowbytes(), [](unsigned char b) { return b != kGuardByte; })) {
            return false;
        }
    }
    return true;
}

std::optional<PF_Point> firstDifference(const World& a, const World& b)
{
    if (a.width() != b.width() || a.height() != b.height() || a.depth() != b.depth()) {
        throw HostError("cannot compare a " + std::to_string(a.width()) + "x" + std::to_string(a.height()) +
                        (a.deep() ? " 16" : " 8") + "-bit world with a " + std::to_string(b.width()) + "x" +
                        std::to_string(b.height()) + (b.deep() ? " 16" : " 8") + "-bit world");
    }
    const auto bytes = a.pixelBytes();
    for (A_long y = 0; y < a.height(); ++y) {
        const auto* rowA = static_cast<const unsigned char*>(static_cast<const void*>(a.layer().data)) +
                           static_cast<std::ptrdiff_t>(y) * a.rowbytes();
        const auto* rowB = static_cast<const unsigned char*>(static_cast<const void*>(b.layer().data)) +
                           static_cast<std::ptrdiff_t>(y) * b.rowbytes();
        for (A_long x = 0; x < a.width(); ++x) {
            const auto offset = static_cast<std::size_t>(x) * bytes;
            if (std::memcmp(rowA + offset, rowB + offset, bytes) != 0) {
                return PF_Point{x, y};
            }
        }
    }
    return std::nullopt;
}

World reduced(const World& source, A_long factorX, A_long factorY)
{
    if (factorX < 1 || factorY < 1) {
        throw HostError("a reduction factor must be 1 or more");
    }
    const A_long width = (source.width() + factorX - 1) / factorX;
    const A_long height = (source.height() + factorY - 1) / factorY;
    World result(width, height, source.depth(), source.paddingBytes());
    for (A_long y = 0; y < height; ++y) {
        for (A_long x = 0; x < width; ++x) {
            if (source.deep()) {
                result.pixel16(x, y) = source.pixel16(x * factorX, y * factorY);
            } else {
                result.pixel8(x, y) = source.pixel8(x * factorX, y * factorY);
            }
        }
    }
    return result;
}

bool samePixels(const World& a, const World& b)
{
    if (a.width() != b.width() || a.height() != b.height() || a.depth() != b.depth()) {
        return false;
    }
    return !firstDifference(a, b).has_value();
}

} // namespace cfhost
