/* Conversions.cpp — moving pixels between file images and host worlds with the rules of Conversions.h. */
#include "images/Conversions.h"

#include <cstddef>

#include "cfhost/HostError.h"

namespace cfcli {

namespace {

/* One channel of a file image as a host 8-bit or 16-bit value. */
std::uint8_t toHost8(std::uint16_t sample, int bits) noexcept
{
    return bits == 16 ? host16ToHost8(fileToHost16(sample)) : static_cast<std::uint8_t>(sample);
}

std::uint16_t toHost16(std::uint16_t sample, int bits) noexcept
{
    return bits == 16 ? fileToHost16(sample) : host8ToHost16(static_cast<std::uint8_t>(sample));
}

template <class Pixel>
Pixel* rowOf(const cfhost::World& world, int y) noexcept
{
    void* base = world.layer().data;
    return static_cast<Pixel*>(static_cast<void*>(static_cast<unsigned char*>(base) +
                                                  static_cast<std::ptrdiff_t>(y) * world.rowbytes()));
}

} // namespace

void imageToWorld(const RgbaImage& image, cfhost::World& world)
{
    if (world.width() != image.width || world.height() != image.height) {
        throw cfhost::HostError("image and world sizes differ");
    }
    const int bits = image.bits;
    for (int y = 0; y < image.height; ++y) {
        const std::uint16_t* s = image.pixel(0, y);
        if (world.deep()) {
            PF_Pixel16* d = rowOf<PF_Pixel16>(world, y);
            for (int x = 0; x < image.width; ++x, s += 4) {
                d[x] = PF_Pixel16{toHost16(s[3], bits), toHost16(s[0], bits), toHost16(s[1], bits),
                                  toHost16(s[2], bits)};
            }
        } else {
            PF_Pixel* d = rowOf<PF_Pixel>(world, y);
            for (int x = 0; x < image.width; ++x, s += 4) {
                d[x] = PF_Pixel{toHost8(s[3], bits), toHost8(s[0], bits), toHost8(s[1], bits), toHost8(s[2], bits)};
            }
        }
    }
}

RgbaImage worldToImage(const cfhost::World& world)
{
    RgbaImage image(world.width(), world.height(), world.deep() ? 16 : 8);
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* d = image.pixel(0, y);
        if (world.deep()) {
            const PF_Pixel16* s = rowOf<PF_Pixel16>(world, y);
            for (int x = 0; x < image.width; ++x, d += 4) {
                d[0] = host16ToFile(s[x].red);
                d[1] = host16ToFile(s[x].green);
                d[2] = host16ToFile(s[x].blue);
                d[3] = host16ToFile(s[x].alpha);
            }
        } else {
            const PF_Pixel* s = rowOf<PF_Pixel>(world, y);
            for (int x = 0; x < image.width; ++x, d += 4) {
                d[0] = s[x].red;
                d[1] = s[x].green;
                d[2] = s[x].blue;
                d[3] = s[x].alpha;
            }
        }
    }
    return image;
}

} // namespace cfcli
