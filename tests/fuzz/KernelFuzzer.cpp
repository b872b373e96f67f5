/* KernelFuzzer.cpp — the two pixel kernels and the two row kernels on any frame record: every field of RenderInfo from the fuzzer
   (NaN, infinities, subnormals and huge values in the numbers; any byte in the flags; any preset; chaos
   offsets of any count and sign; any preview scale), with or without the frame's plan, over small input
   layers of any size, row stride (padded, packed, bottom-up, overlapping) and depth.

   The input's pixels are allocated to the byte and whatever lies between them (row padding) is poisoned,
   so AddressSanitizer stops at any read outside the layer. Beyond that the kernels must leave the input as
   it was, leave the output alone without a record, and give the same bits through the plan as through the
   exact rules; the row kernels, with a plan made for them, draw the rows the pixel kernels draw. */
#include "FuzzValues.h"

#include "Kernel.h"
#include "KernelPlan.h"
#include "RenderInfo.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

/* An input layer laid out exactly as its record says: pixel (x, y) at data + y * rowbytes + x * pixel size,
   nothing addressable around the pixels but what another row's pixels need. */
class ExactLayer {
public:
    ExactLayer(FuzzedDataProvider& in, int pixelBytes)
    {
        layer_.width = in.ConsumeIntegralInRange<A_long>(-1, 20);
        layer_.height = in.ConsumeIntegralInRange<A_long>(-1, 20);
        const A_long width = std::max<A_long>(layer_.width, 0);
        const A_long packed = width * pixelBytes;
        const A_long step = pixelBytes == 8 ? 2 : 1; /* 16-bit rows keep their channels aligned */
        switch (in.ConsumeIntegralInRange<int>(0, 4)) {
        case 0: layer_.rowbytes = packed; break;
        case 1: layer_.rowbytes = packed + step * in.ConsumeIntegralInRange<A_long>(1, 40); break;
        case 2: layer_.rowbytes = -(packed + step * in.ConsumeIntegralInRange<A_long>(0, 40)); break;
        case 3: layer_.rowbytes = 0; break;
        default: layer_.rowbytes = step * in.ConsumeIntegralInRange<A_long>(-40, 40); break;
        }
        layer_.world_flags = pixelBytes == 8 ? PF_WorldFlag_DEEP : 0;
        layer_.extent_hint = PF_LRect{0, 0, layer_.width, layer_.height};
        pixelBytes_ = pixelBytes;

        const bool noPixels = layer_.width <= 0 || layer_.height <= 0;
        if (noPixels || in.ConsumeIntegralInRange<int>(0, 15) == 0) {
            /* A layer without pixels points at one poisoned byte or nowhere; one with no pixel memory at all
               points nowhere. */
            storage_.assign(1, 0);
            ASAN_POISON_MEMORY_REGION(storage_.data(), storage_.size());
            layer_.data = noPixels && in.ConsumeBool() ? static_cast<PF_Pixel*>(static_cast<void*>(storage_.data()))
                                                       : nullptr;
            return;
        }

        const std::int64_t lastRow = static_cast<std::int64_t>(layer_.height - 1) * layer_.rowbytes;
        const std::int64_t first = std::min<std::int64_t>(0, lastRow);
        const std::int64_t end = std::max<std::int64_t>(packed, lastRow + packed);
        storage_.assign(static_cast<std::size_t>(end - first), 0);
        origin_ = static_cast<std::size_t>(-first);
        layer_.data = static_cast<PF_Pixel*>(static_cast<void*>(storage_.data() + origin_));

        std::vector<bool> pixelByte(storage_.size(), false);
        for (A_long y = 0; y < layer_.height; ++y) {
            const std::size_t row = origin_ + static_cast<std::size_t>(static_cast<std::int64_t>(y) * layer_.rowbytes);
            std::fill(pixelByte.begin() + static_cast<std::ptrdiff_t>(row),
                      pixelByte.begin() + static_cast<std::ptrdiff_t>(row) + packed, true);
        }
        const std::vector<std::uint8_t> fill = in.ConsumeBytes<std::uint8_t>(storage_.size());
        for (std::size_t i = 0; i < storage_.size(); ++i) {
            storage_[i] = fill.empty() ? static_cast<std::uint8_t>(i * 37u) : fill[i % fill.size()];
        }
        /* Poison every run of bytes that belongs to no pixel (as far as the shadow's 8-byte granules allow). */
        for (std::size_t i = 0; i < storage_.size();) {
            if (pixelByte[i]) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < storage_.size() && !pixelByte[j]) {
                ++j;
            }
            ASAN_POISON_MEMORY_REGION(storage_.data() + i, j - i);
            i = j;
        }
        pixelByte_ = std::move(pixelByte);
        before_ = pixelBytesNow();
    }

    ~ExactLayer() { ASAN_UNPOISON_MEMORY_REGION(storage_.data(), storage_.size()); }
    ExactLayer(const ExactLayer&) = delete;
    ExactLayer& operator=(const ExactLayer&) = delete;

    const PF_LayerDef& layer() const { return layer_; }
    bool hasPixels() const { return !pixelByte_.empty(); }

    /* The source pixel the host's iteration hands the kernel with output pixel (x, y). */
    const void* sourcePixel(A_long x, A_long y) const
    {
        const A_long cx = std::min(x, layer_.width - 1);
        const A_long cy = std::min(y, layer_.height - 1);
        return storage_.data() + origin_ + static_cast<std::int64_t>(cy) * layer_.rowbytes +
               static_cast<std::int64_t>(cx) * pixelBytes_;
    }

    bool unchanged() const { return pixelBytesNow() == before_; }

private:
    std::vector<std::uint8_t> pixelBytesNow() const
    {
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i < pixelByte_.size(); ++i) {
            if (pixelByte_[i]) {
                bytes.push_back(storage_[i]);
            }
        }
        return bytes;
    }

    PF_LayerDef layer_{};
    int pixelBytes_ = 4;
    std::vector<std::uint8_t> storage_;
    std::size_t origin_ = 0;
    std::vector<bool> pixelByte_;
    std::vector<std::uint8_t> before_;
};

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_kernel: %s\n", what);
    std::abort();
}

A_u_char anyByte(FuzzedDataProvider& in)
{
    /* Mostly the values the flags take, sometimes anything. */
    return in.ConsumeBool() ? static_cast<A_u_char>(in.ConsumeIntegralInRange<int>(0, 3)) : in.ConsumeIntegral<A_u_char>();
}

PF_Pixel anyColour(FuzzedDataProvider& in)
{
    return PF_Pixel{in.ConsumeIntegral<A_u_char>(), in.ConsumeIntegral<A_u_char>(), in.ConsumeIntegral<A_u_char>(),
                    in.ConsumeIntegral<A_u_char>()};
}

PF_Pixel16 anyColour16(FuzzedDataProvider& in, const PF_Pixel& derivedFrom)
{
    if (in.ConsumeBool()) {
        return colour16(derivedFrom);
    }
    return PF_Pixel16{in.ConsumeIntegral<A_u_short>(), in.ConsumeIntegral<A_u_short>(), in.ConsumeIntegral<A_u_short>(),
                      in.ConsumeIntegral<A_u_short>()};
}

/* The frame a failing input made, for whoever reproduces it. */
void describe(const RenderInfo& info, const PF_LayerDef& layer, A_long width, A_long height, A_long shiftX,
              A_long shiftY)
{
    std::fprintf(stderr,
                 "  record: preset %ld, brightness %a, contrast %a, pattern size %a, scale lock %u,\n"
                 "          detail %a x %a, colours %u/%u/%u/%u on %u/%u/%u/%u (16-bit %u/%u/%u/%u on %u/%u/%u/%u),\n"
                 "          original colour %u, transparent %u, chaos %u (behaviour %u, %zu values%s), preview %a x %a,\n"
                 "          layer origin %ld, %ld\n",
                 static_cast<long>(info.preset), info.brightness, info.contrast, info.patternSize, info.scaleLock,
                 info.horizontalDetail, info.verticalDetail, info.pixelColor.alpha, info.pixelColor.red,
                 info.pixelColor.green, info.pixelColor.blue, info.backgroundColor.alpha, info.backgroundColor.red,
                 info.backgroundColor.green, info.backgroundColor.blue, info.pixelColor16.alpha, info.pixelColor16.red,
                 info.pixelColor16.green, info.pixelColor16.blue, info.backgroundColor16.alpha,
                 info.backgroundColor16.red, info.backgroundColor16.green, info.backgroundColor16.blue,
                 info.useOriginalColor, info.transparentBackground, info.chaosEnabled, info.chaosBehavior,
                 info.chaosValues != nullptr ? info.chaosValues->size() : std::size_t{0},
                 info.chaosValues != nullptr ? "" : ", none", static_cast<double>(info.downsampleX),
                 static_cast<double>(info.downsampleY), static_cast<long>(info.originX), static_cast<long>(info.originY));
    if (info.chaosValues != nullptr) {
        for (const float value : *info.chaosValues) {
            std::fprintf(stderr, "          chaos value %a\n", static_cast<double>(value));
        }
    }
    std::fprintf(stderr, "  input: %s%ldx%ld, rowbytes %ld%s; output %ldx%ld, coordinates shifted by (%ld, %ld)\n",
                 info.inputWorld != nullptr ? "" : "(not in the record) ", static_cast<long>(layer.width),
                 static_cast<long>(layer.height), static_cast<long>(layer.rowbytes),
                 layer.data != nullptr ? "" : ", no pixels", static_cast<long>(width), static_cast<long>(height),
                 static_cast<long>(shiftX), static_cast<long>(shiftY));
    if (layer.data != nullptr && layer.width > 0 && layer.height > 0) {
        const int pixelBytes = (layer.world_flags & PF_WorldFlag_DEEP) != 0 ? 8 : 4;
        for (A_long y = 0; y < layer.height; ++y) {
            const auto* row = static_cast<const unsigned char*>(static_cast<const void*>(layer.data)) +
                              static_cast<std::int64_t>(y) * layer.rowbytes;
            std::fprintf(stderr, "  row %ld:", static_cast<long>(y));
            for (A_long i = 0; i < layer.width * pixelBytes; ++i) {
                std::fprintf(stderr, "%s%02x", i % pixelBytes == 0 ? " " : "", row[i]);
            }
            std::fprintf(stderr, "\n");
        }
    }
}

template <typename Pixel>
void runKernel(PF_Err (*kernel)(void*, A_long, A_long, Pixel*, Pixel*), void* refcon, const ExactLayer& input,
               std::vector<Pixel>& output, A_long width, A_long height, A_long shiftX, A_long shiftY)
{
    Pixel zero{};
    for (A_long y = 0; y < height; ++y) {
        for (A_long x = 0; x < width; ++x) {
            zero = Pixel{};
            Pixel* in = input.hasPixels() ? static_cast<Pixel*>(const_cast<void*>(input.sourcePixel(x, y))) : &zero;
            Pixel* out = &output[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
            if (kernel(refcon, x + shiftX, y + shiftY, in, out) != PF_Err_NONE) {
                fail("a kernel returned an error");
            }
        }
    }
}

/* The rows of the output drawn by the row kernel as a host iterating a one-pixel-wide area calls it, each
   row from column `start` on, against `expected`, drawn pixel by pixel; columns before `start` must stay
   untouched. */
template <typename Pixel>
void checkRows(PF_Err (*rowKernel)(void*, A_long, A_long, Pixel*, Pixel*), const RenderInfo& info,
               const std::vector<Pixel>& expected, const Pixel& untouched, A_long width, A_long height, A_long start,
               const ExactLayer& input)
{
    constexpr bool deep = sizeof(Pixel) == sizeof(PF_Pixel16);
    RenderInfo rowsInfo = info;
    detachPlan(rowsInfo);
    KernelPlan plan;
    buildKernelPlan(plan, rowsInfo, deep, width, height, PlanFor::Rows);
    attachPlan(rowsInfo, plan);
    std::vector<Pixel> rows(expected.size(), untouched);
    for (A_long y = 0; y < height; ++y) {
        Pixel unused{};
        const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(start);
        if (rowKernel(&rowsInfo, start, y, &unused, &rows[first]) != PF_Err_NONE) {
            fail("a row kernel returned an error");
        }
    }
    if (!input.unchanged()) {
        fail("a row kernel wrote into its input layer");
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool drawn = static_cast<A_long>(i % static_cast<std::size_t>(width)) >= start;
        if (std::memcmp(&rows[i], drawn ? &expected[i] : &untouched, sizeof(Pixel)) != 0) {
            std::fprintf(stderr, "fuzz_kernel: %d-bit pixel (%ld, %ld) differs by rows from column %ld\n", deep ? 16 : 8,
                         static_cast<long>(static_cast<A_long>(i) % width), static_cast<long>(static_cast<A_long>(i) / width),
                         static_cast<long>(start));
            describe(info, input.layer(), width, height, 0, 0);
            fail("the row kernel and the pixel kernel disagree");
        }
    }
}

template <typename Pixel>
void fuzzDepth(FuzzedDataProvider& in, PF_Err (*kernel)(void*, A_long, A_long, Pixel*, Pixel*),
               PF_Err (*rowKernel)(void*, A_long, A_long, Pixel*, Pixel*))
{
    constexpr bool deep = sizeof(Pixel) == sizeof(PF_Pixel16);
    ExactLayer input(in, static_cast<int>(sizeof(Pixel)));

    RenderInfo info;
    std::memset(&info, 0, sizeof info);
    info.preset = in.ConsumeBool() ? in.ConsumeIntegralInRange<A_long>(-1, 12) : in.ConsumeIntegral<A_long>();
    info.brightness = cffuzz::anyDouble(in);
    info.contrast = cffuzz::anyDouble(in);
    info.patternSize = cffuzz::anyDouble(in);
    info.scaleLock = anyByte(in);
    info.horizontalDetail = cffuzz::anyDouble(in);
    info.verticalDetail = cffuzz::anyDouble(in);
    info.pixelColor = anyColour(in);
    info.backgroundColor = anyColour(in);
    info.pixelColor16 = anyColour16(in, info.pixelColor);
    info.backgroundColor16 = anyColour16(in, info.backgroundColor);
    info.useOriginalColor = anyByte(in);
    info.transparentBackground = anyByte(in);
    info.chaosEnabled = anyByte(in);
    info.chaosIntensity = cffuzz::anyDouble(in);
    info.chaosSeed = cffuzz::anyDouble(in);
    info.chaosSpeed = cffuzz::anyDouble(in);
    info.chaosBehavior = anyByte(in);
    ChaosValues chaos(in.ConsumeIntegralInRange<std::size_t>(0, 20));
    for (float& value : chaos) {
        value = cffuzz::anyFloat(in);
    }
    info.chaosValues = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : &chaos;
    info.inputWorld = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : &input.layer();
    info.downsampleX = in.ConsumeBool() ? 1.0f : cffuzz::anyFloat(in);
    info.downsampleY = in.ConsumeBool() ? 1.0f : cffuzz::anyFloat(in);
    if (in.ConsumeBool()) { // a layer inside a grown buffer, or a damaged origin
        info.originX = in.ConsumeIntegral<A_long>();
        info.originY = in.ConsumeIntegral<A_long>();
    }

    const A_long width = in.ConsumeIntegralInRange<A_long>(0, 20);
    const A_long height = in.ConsumeIntegralInRange<A_long>(0, 20);
    const bool shifted = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    const A_long shiftX = shifted ? in.ConsumeIntegralInRange<A_long>(-3, 3) : 0;
    const A_long shiftY = shifted ? in.ConsumeIntegralInRange<A_long>(-3, 3) : 0;

    // The plan as the render driver makes it, from the same record: for the kernel that runs, over the
    // output; sometimes over another size, or for the other depth where the record has no layer to read (a
    // layer is only ever read at its own depth).
    KernelPlan plan;
    const int planChoice = in.ConsumeIntegralInRange<int>(0, 7);
    const bool layerInRecord = info.inputWorld != nullptr && input.hasPixels();
    const bool planDeep = planChoice == 1 && !layerInRecord ? !deep : deep;
    const A_long planWidth = planChoice == 2 ? in.ConsumeIntegralInRange<A_long>(-2, 24) : width;
    const A_long planHeight = planChoice == 2 ? in.ConsumeIntegralInRange<A_long>(-2, 24) : height;
    if (planChoice != 0) {
        buildKernelPlan(plan, info, planDeep, planWidth, planHeight);
        attachPlan(info, plan);
    }

    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    Pixel untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    std::vector<Pixel> output(count, untouched);

    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) {
        runKernel(kernel, nullptr, input, output, width, height, shiftX, shiftY);
        for (const Pixel& p : output) {
            if (std::memcmp(&p, &untouched, sizeof p) != 0) {
                fail("a kernel without a record wrote its output pixel");
            }
        }
        return;
    }

    runKernel(kernel, &info, input, output, width, height, shiftX, shiftY);
    if (!input.unchanged()) {
        fail("a kernel wrote into its input layer");
    }
    // Rows, as the render driver has them drawn: the record's layer is the host's source, no shift.
    const bool rowsComparable = shiftX == 0 && shiftY == 0 && width > 0 && info.inputWorld == &input.layer() &&
                                input.hasPixels() == hasPixels(&input.layer());
    if (rowsComparable && in.ConsumeBool()) {
        RenderInfo exact = info;
        detachPlan(exact);
        std::vector<Pixel> expected(count, untouched);
        runKernel(kernel, &exact, input, expected, width, height, 0, 0);
        const A_long start = in.ConsumeIntegralInRange<int>(0, 3) == 0 ? in.ConsumeIntegralInRange<A_long>(0, width - 1) : 0;
        checkRows(rowKernel, info, expected, untouched, width, height, start, input);
    }
    if (info.plan != nullptr) {
        RenderInfo exact = info;
        detachPlan(exact);
        std::vector<Pixel> expected(count, untouched);
        runKernel(kernel, &exact, input, expected, width, height, shiftX, shiftY);
        for (std::size_t i = 0; i < count; ++i) {
            if (std::memcmp(&output[i], &expected[i], sizeof(Pixel)) != 0) {
                std::fprintf(stderr, "fuzz_kernel: %d-bit pixel (%ld, %ld) differs through the plan\n", deep ? 16 : 8,
                             static_cast<long>(static_cast<A_long>(i) % width + shiftX),
                             static_cast<long>(static_cast<A_long>(i) / width + shiftY));
                describe(info, input.layer(), width, height, shiftX, shiftY);
                std::fprintf(stderr, "  plan: for the %d-bit kernel over %ldx%ld\n", planDeep ? 16 : 8,
                             static_cast<long>(planWidth), static_cast<long>(planHeight));
                fail("the plan and the exact rules disagree");
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        fuzzDepth<PF_Pixel16>(in, Crumbleforge_16, CrumbleforgeRow_16);
    } else {
        fuzzDepth<PF_Pixel>(in, Crumbleforge_8, CrumbleforgeRow_8);
    }
    return 0;
}
