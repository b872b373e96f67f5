/* ColorConvert.cpp — libswscale set up with the stream's matrix and range, the exact 16-bit host scale around
   it, and a fixed palette with a transparent entry for formats that need one (GIF). */
#include "media/ColorConvert.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <new>

#include "Conversions.h"
#include "Errors.h"

namespace cfcli::media {

namespace {

constexpr int kScaleFlags = SWS_BICUBIC;

int swsMatrix(AVColorSpace matrix)
{
    switch (matrix) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return SWS_CS_ITU601;
    }
}

/* A scaler from `from` to `to` of one size, kept while nothing changes; the colour details are set again
   whenever the scaler is new. */
SwsContext* scalerFor(Scaler& owner, SwsContext*& current, int width, int height, AVPixelFormat from,
                      AVPixelFormat to, const Colour& colour)
{
    SwsContext* next =
        sws_getCachedContext(owner.get(), width, height, from, width, height, to, kScaleFlags, nullptr, nullptr, nullptr);
    if (next == nullptr) {
        owner.release(); /* sws_getCachedContext freed it */
        current = nullptr;
        throw CliError(std::string("cannot convert frames from ") + av_get_pix_fmt_name(from) + " to " +
                           av_get_pix_fmt_name(to),
                       kExitBadInput);
    }
    if (next != owner.get()) {
        owner.release();
        owner.reset(next);
    }
    if (next == current) {
        return next; /* the same scaler as the last frame's, details already set */
    }
    const int* table = sws_getCoefficients(swsMatrix(colour.matrix));
    const int fullIn = isRgbFormat(from) || colour.range == AVCOL_RANGE_JPEG ? 1 : 0;
    const int fullOut = isRgbFormat(to) || colour.range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(next, table, fullIn, table, fullOut, 0, 1 << 16, 1 << 16);
    current = next;
    return next;
}

} // namespace

Colour resolveColour(Colour c, int height)
{
    const bool hd = height >= 720;
    if (c.matrix == AVCOL_SPC_UNSPECIFIED || c.matrix == AVCOL_SPC_RESERVED) {
        c.matrix = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    }
    if (c.range == AVCOL_RANGE_UNSPECIFIED) {
        c.range = AVCOL_RANGE_MPEG;
    }
    if (c.primaries == AVCOL_PRI_UNSPECIFIED || c.primaries == AVCOL_PRI_RESERVED || c.primaries == AVCOL_PRI_RESERVED0) {
        c.primaries = hd ? AVCOL_PRI_BT709 : height == 576 ? AVCOL_PRI_BT470BG : AVCOL_PRI_SMPTE170M;
    }
    if (c.transfer == AVCOL_TRC_UNSPECIFIED || c.transfer == AVCOL_TRC_RESERVED || c.transfer == AVCOL_TRC_RESERVED0) {
        c.transfer = c.primaries == AVCOL_PRI_BT709 ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    }
    return c;
}

bool isRgbFormat(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && ((d->flags & AV_PIX_FMT_FLAG_RGB) || (d->flags & AV_PIX_FMT_FLAG_PAL) || d->nb_components < 3);
}

bool hasAlpha(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
}

int componentBits(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    int bits = 8;
    for (int i = 0; d != nullptr && i < d->nb_components; ++i) {
        bits = std::max(bits, d->comp[i].depth);
    }
    return bits;
}

void FrameToWorld::convert(const AVFrame& frame, const Colour& colour, cfhost::World& world)
{
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const int w = frame.width;
    const int h = frame.height;
    auto* base = reinterpret_cast<unsigned char*>(world.layer().data);
    if (!world.deep()) {
        /* libswscale writes RGBA with SIMD but ARGB without; RGBA in place, then each pixel turned to ARGB, is
           faster than ARGB directly. */
        SwsContext* s = scalerFor(owner_, scaler_, w, h, format, AV_PIX_FMT_RGBA, colour);
        uint8_t* dst[4] = {base, nullptr, nullptr, nullptr};
        const int dstStride[4] = {world.rowbytes(), 0, 0, 0};
        sws_scale(s, frame.data, frame.linesize, 0, h, dst, dstStride);
        for (int y = 0; y < h; ++y) {
            unsigned char* row = base + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes());
            for (int x = 0; x < w; ++x) {
                std::uint32_t v;
                std::memcpy(&v, row + 4 * x, 4);
                if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
                    v = (v << 8) | (v >> 24); /* bytes R G B A → A R G B */
                } else {
                    v = (v >> 8) | (v << 24);
                }
                std::memcpy(row + 4 * x, &v, 4);
            }
        }
        return;
    }
    if (toHost_.empty()) {
        toHost_.resize(65536);
        for (std::uint32_t p = 0; p < 65536; ++p) {
            toHost_[p] = fileToHost16(static_cast<std::uint16_t>(p));
        }
    }
    SwsContext* s = scalerFor(owner_, scaler_, w, h, format, AV_PIX_FMT_RGBA64, colour);
    wide_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4u);
    uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(wide_.data()), nullptr, nullptr, nullptr};
    const int dstStride[4] = {w * 8, 0, 0, 0};
    sws_scale(s, frame.data, frame.linesize, 0, h, dst, dstStride);
    for (int y = 0; y < h; ++y) {
        const std::uint16_t* in = wide_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 4u;
        auto* out = reinterpret_cast<PF_Pixel16*>(base + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes()));
        for (int x = 0; x < w; ++x, in += 4) {
            out[x].red = toHost_[in[0]];
            out[x].green = toHost_[in[1]];
            out[x].blue = toHost_[in[2]];
            out[x].alpha = toHost_[in[3]];
        }
    }
}

void WorldToFrame::convert(const cfhost::World& world, const Colour& colour, AVFrame& frame)
{
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const int w = world.width();
    const int h = world.height();
    if (format == AV_PIX_FMT_PAL8) {
        toPalette(world, frame);
        return;
    }
    const auto* base = reinterpret_cast<const unsigned char*>(world.layer().data);
    if (!world.deep()) {
        SwsContext* s = scalerFor(owner_, scaler_, w, h, AV_PIX_FMT_ARGB, format, colour);
        const uint8_t* src[4] = {base, nullptr, nullptr, nullptr};
        const int srcStride[4] = {world.rowbytes(), 0, 0, 0};
        sws_scale(s, src, srcStride, 0, h, frame.data, frame.linesize);
        return;
    }
    if (toFile_.empty()) {
        toFile_.resize(65536);
        for (std::uint32_t v = 0; v < 65536; ++v) {
            toFile_[v] = host16ToFile(static_cast<std::uint16_t>(v));
        }
    }
    wide_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4u);
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const PF_Pixel16*>(base + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes()));
        std::uint16_t* out = wide_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 4u;
        for (int x = 0; x < w; ++x, out += 4) {
            out[0] = toFile_[in[x].red];
            out[1] = toFile_[in[x].green];
            out[2] = toFile_[in[x].blue];
            out[3] = toFile_[in[x].alpha];
        }
    }
    SwsContext* s = scalerFor(owner_, scaler_, w, h, AV_PIX_FMT_RGBA64, format, colour);
    const uint8_t* src[4] = {reinterpret_cast<const uint8_t*>(wide_.data()), nullptr, nullptr, nullptr};
    const int srcStride[4] = {w * 8, 0, 0, 0};
    sws_scale(s, src, srcStride, 0, h, frame.data, frame.linesize);
}

/* 6 × 7 × 6 levels of red, green and blue (252 entries), and entry 255 transparent: pixels less than half
   opaque take it, the others their nearest level. */
void WorldToFrame::toPalette(const cfhost::World& world, AVFrame& frame)
{
    auto* palette = reinterpret_cast<std::uint32_t*>(frame.data[1]);
    std::fill(palette, palette + 255, 0xFF000000u); /* the transparent entry must be the only one */
    palette[255] = 0;
    for (unsigned r = 0; r < 6; ++r) {
        for (unsigned g = 0; g < 7; ++g) {
            for (unsigned b = 0; b < 6; ++b) {
                palette[(r * 7 + g) * 6 + b] =
                    0xFF000000u | ((r * 255 / 5) << 16) | ((g * 255 / 6) << 8) | (b * 255 / 5);
            }
        }
    }
    const auto* base = reinterpret_cast<const unsigned char*>(world.layer().data);
    for (int y = 0; y < world.height(); ++y) {
        const unsigned char* row = base + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes());
        std::uint8_t* out = frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0];
        for (int x = 0; x < world.width(); ++x) {
            unsigned a = 0;
            unsigned r = 0;
            unsigned g = 0;
            unsigned b = 0;
            if (world.deep()) {
                const auto& p = reinterpret_cast<const PF_Pixel16*>(row)[x];
                a = host16ToHost8(p.alpha);
                r = host16ToHost8(p.red);
                g = host16ToHost8(p.green);
                b = host16ToHost8(p.blue);
            } else {
                const unsigned char* p = row + x * 4;
                a = p[0];
                r = p[1];
                g = p[2];
                b = p[3];
            }
            out[x] = a < 128 ? 255
                             : static_cast<std::uint8_t>(((r * 5 + 127) / 255 * 7 + (g * 6 + 127) / 255) * 6 +
                                                         (b * 5 + 127) / 255);
        }
    }
}

bool hasTransparency(const cfhost::World& world)
{
    const auto* base = reinterpret_cast<const unsigned char*>(world.layer().data);
    for (int y = 0; y < world.height(); ++y) {
        const unsigned char* row = base + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes());
        for (int x = 0; x < world.width(); ++x) {
            if (world.deep() ? reinterpret_cast<const PF_Pixel16*>(row)[x].alpha < kHostMax16 : row[x * 4] < 255) {
                return true;
            }
        }
    }
    return false;
}

} // namespace cfcli::media
