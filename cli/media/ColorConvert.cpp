/* ColorConvert.cpp — libswscale set up with the stream's matrix and range, the exact 16-bit host scale around
   it, and a fixed palette with a transparent entry for formats that need one (GIF). */
#include "media/ColorConvert.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/Cleanup.h"
#include "images/Conversions.h"
#include "common/Errors.h"

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

/* A scaler from `from` to `to` of one size, kept while nothing changes; the colour details are set whenever
   the scaler is new. It splits each picture into bands of output rows converted on all cores at once (each
   row computed as a single-threaded scaler computes it), so conversion never holds up the stage it is in. */
SwsContext* scalerFor(Scaler& owner, int width, int height, AVPixelFormat from, AVPixelFormat to,
                      const Colour& colour)
{
    SwsContext* s = owner.get();
    if (s != nullptr) {
        std::int64_t w = 0;
        std::int64_t h = 0;
        std::int64_t f = 0;
        std::int64_t t = 0;
        av_opt_get_int(s, "srcw", 0, &w);
        av_opt_get_int(s, "srch", 0, &h);
        av_opt_get_int(s, "src_format", 0, &f);
        av_opt_get_int(s, "dst_format", 0, &t);
        if (w == width && h == height && f == from && t == to) {
            return s; /* the same scaler as the last frame's, details already set */
        }
    }
    owner.reset(sws_alloc_context());
    s = owner.get();
    if (s == nullptr) {
        throw std::bad_alloc();
    }
    av_opt_set_int(s, "srcw", width, 0);
    av_opt_set_int(s, "srch", height, 0);
    av_opt_set_int(s, "src_format", from, 0);
    av_opt_set_int(s, "dstw", width, 0);
    av_opt_set_int(s, "dsth", height, 0);
    av_opt_set_int(s, "dst_format", to, 0);
    av_opt_set_int(s, "sws_flags", kScaleFlags, 0);
    /* The ranges are set before the scaler is made as well as after: set only after, deep conversions keep
       the limited-range scale they were made with and overshoot white by a few levels. */
    const int fullIn = isRgbFormat(from) || colour.range == AVCOL_RANGE_JPEG ? 1 : 0;
    const int fullOut = isRgbFormat(to) || colour.range == AVCOL_RANGE_JPEG ? 1 : 0;
    av_opt_set_int(s, "src_range", fullIn, 0);
    av_opt_set_int(s, "dst_range", fullOut, 0);
    av_opt_set_int(s, "threads", 0, 0); /* one band per core */
    int err = 0;
    {
        const cleanup::InterruptsBlocked blocked; /* the scaler's threads start here */
        err = sws_init_context(s, nullptr, nullptr);
    }
    if (err < 0) {
        owner.reset();
        throw CliError(std::string("cannot convert frames from ") + av_get_pix_fmt_name(from) + " to " +
                           av_get_pix_fmt_name(to),
                       kExitBadInput);
    }
    const int* table = sws_getCoefficients(swsMatrix(colour.matrix));
    sws_setColorspaceDetails(s, table, fullIn, table, fullOut, 0, 1 << 16, 1 << 16);
    return s;
}

void keepNothing(void*, std::uint8_t*) {}

/* Pixels the caller owns as a frame libswscale can take without copying them: one packed plane. */
Frame packedFrame(std::uint8_t* data, int rowBytes, int width, int height, AVPixelFormat format)
{
    Frame f = makeFrame();
    f->format = format;
    f->width = width;
    f->height = height;
    f->data[0] = data;
    f->linesize[0] = rowBytes;
    f->buf[0] = av_buffer_create(data, static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height),
                                 keepNothing, nullptr, 0);
    if (f->buf[0] == nullptr) {
        throw std::bad_alloc();
    }
    return f;
}

/* One whole picture through the scaler, band by band on every core. */
void scaleFrame(SwsContext* s, AVFrame& to, const AVFrame& from)
{
    const int err = sws_scale_frame(s, &to, &from);
    if (err < 0) {
        throw CliError("cannot convert a frame (" + errorText(err) + ")", kExitBadInput);
    }
}

/* Bytes R G B A of each pixel turned into A R G B, in place; four pixels at a time where SSE2 is there. */
void rgbaToArgb(std::uint8_t* row, int width)
{
    int x = 0;
#if defined(__SSE2__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; x + 4 <= width; x += 4) {
        auto* p = reinterpret_cast<__m128i*>(row + 4 * x);
        const __m128i v = _mm_loadu_si128(p);
        _mm_storeu_si128(p, _mm_or_si128(_mm_slli_epi32(v, 8), _mm_srli_epi32(v, 24)));
    }
#endif
    for (; x < width; ++x) {
        std::uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
            v = (v << 8) | (v >> 24);
        } else {
            v = (v >> 8) | (v << 24);
        }
        std::memcpy(row + 4 * x, &v, 4);
    }
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
    auto* base = reinterpret_cast<std::uint8_t*>(world.layer().data);
    if (!world.deep() && !(componentBits(format) > 8 && isRgbFormat(format))) {
        /* libswscale writes RGBA with SIMD but ARGB without; RGBA in place, then each pixel turned to ARGB, is
           faster than ARGB directly. */
        SwsContext* s = scalerFor(owner_, w, h, format, AV_PIX_FMT_RGBA, colour);
        const Frame dst = packedFrame(base, world.rowbytes(), w, h, AV_PIX_FMT_RGBA);
        scaleFrame(s, *dst, frame);
        for (int y = 0; y < h; ++y) {
            rgbaToArgb(base + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes()), w);
        }
        return;
    }
    /* Deep worlds, and deep RGB into 8-bit ones, go through 16-bit RGBA and the same rounding as PNG stills:
       libswscale's own reduction of deep RGB to 8 bits moves flat greys by a level (from deep YUV it is
       exact, and through 16 bits it is not). */
    SwsContext* s = scalerFor(owner_, w, h, format, AV_PIX_FMT_RGBA64, colour);
    wide_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4u);
    const Frame dst = packedFrame(reinterpret_cast<std::uint8_t*>(wide_.data()), w * 8, w, h, AV_PIX_FMT_RGBA64);
    scaleFrame(s, *dst, frame);
    if (world.deep()) {
        if (toHost_.empty()) {
            toHost_.resize(65536);
            for (std::uint32_t p = 0; p < 65536; ++p) {
                toHost_[p] = fileToHost16(static_cast<std::uint16_t>(p));
            }
        }
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
        return;
    }
    if (toHost8_.empty()) {
        toHost8_.resize(65536);
        for (std::uint32_t p = 0; p < 65536; ++p) {
            toHost8_[p] = host16ToHost8(fileToHost16(static_cast<std::uint16_t>(p)));
        }
    }
    for (int y = 0; y < h; ++y) {
        const std::uint16_t* in = wide_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 4u;
        auto* out = reinterpret_cast<PF_Pixel*>(base + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes()));
        for (int x = 0; x < w; ++x, in += 4) {
            out[x] = PF_Pixel{toHost8_[in[3]], toHost8_[in[0]], toHost8_[in[1]], toHost8_[in[2]]};
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
    const auto* base = reinterpret_cast<const std::uint8_t*>(world.layer().data);
    if (!world.deep() && !(componentBits(format) > 8 && isRgbFormat(format))) {
        SwsContext* s = scalerFor(owner_, w, h, AV_PIX_FMT_ARGB, format, colour);
        const Frame src = packedFrame(const_cast<std::uint8_t*>(base), world.rowbytes(), w, h, AV_PIX_FMT_ARGB);
        scaleFrame(s, frame, *src);
        return;
    }
    /* Deep worlds, and 8-bit ones into deep RGB, go through 16-bit RGBA with exact scaling: libswscale widens
       8-bit RGB to deep RGB a level short of white (into deep YUV it is exact from 8 bits, not from 16). */
    wide_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4u);
    if (world.deep()) {
        if (toFile_.empty()) {
            toFile_.resize(65536);
            for (std::uint32_t v = 0; v < 65536; ++v) {
                toFile_[v] = host16ToFile(static_cast<std::uint16_t>(v));
            }
        }
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
    } else {
        for (int y = 0; y < h; ++y) {
            const auto* in = reinterpret_cast<const PF_Pixel*>(base + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes()));
            std::uint16_t* out = wide_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 4u;
            for (int x = 0; x < w; ++x, out += 4) {
                out[0] = static_cast<std::uint16_t>(in[x].red * 257u);
                out[1] = static_cast<std::uint16_t>(in[x].green * 257u);
                out[2] = static_cast<std::uint16_t>(in[x].blue * 257u);
                out[3] = static_cast<std::uint16_t>(in[x].alpha * 257u);
            }
        }
    }
    SwsContext* s = scalerFor(owner_, w, h, AV_PIX_FMT_RGBA64, format, colour);
    const Frame src = packedFrame(reinterpret_cast<std::uint8_t*>(wide_.data()), w * 8, w, h, AV_PIX_FMT_RGBA64);
    scaleFrame(s, frame, *src);
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
