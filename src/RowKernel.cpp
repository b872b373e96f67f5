/* RowKernel.cpp — one output row at a time: the row kernels that a host calls once per row through an
   iteration over an area one pixel wide. A row is walked block by block; inside a block every pixel shows
   one of the block's two outputs, picked by the level's mask for this row, and keeps what the output rule
   keeps of its input pixel. The plan (KernelPlan.h, PlanFor::Rows) holds the blocks, the masks and, per row,
   which mask each level uses; the loop over a block's pixels is plain word arithmetic that compilers turn
   into vector code. Rows or columns the plan does not cover go through the pixel kernel, pixel by pixel. */
#include "Kernel.h"

#include "KernelPlan.h"
#include "RenderInfo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

struct Row8 {
    using Pixel = PF_Pixel;
    using Word = std::uint32_t;
    static constexpr bool deep = false;
    static PF_Err pixel(void* refcon, A_long x, A_long y, Pixel* in, Pixel* out)
    {
        return Crumbleforge_8(refcon, x, y, in, out);
    }
    static const OutputRules<Word>& rules(const KernelPlan& plan) { return plan.output8; }
};

struct Row16 {
    using Pixel = PF_Pixel16;
    using Word = std::uint64_t;
    static constexpr bool deep = true;
    static PF_Err pixel(void* refcon, A_long x, A_long y, Pixel* in, Pixel* out)
    {
        return Crumbleforge_16(refcon, x, y, in, out);
    }
    static const OutputRules<Word>& rules(const KernelPlan& plan) { return plan.output16; }
};

/* Where a row reads its input pixels, as a host hands them to a pixel function: the input row at y (the
   last row below the input), columns below `readable` in place and the last column beyond; an input
   without pixels gives a zero pixel everywhere. */
template <typename Pixel>
struct InputRow {
    const unsigned char* row = nullptr;
    A_long readable = 0;
    Pixel last{};

    InputRow(const PF_LayerDef* input, A_long y)
    {
        if (!hasPixels(input)) {
            return;
        }
        const A_long line = std::min(y, input->height - 1);
        row = static_cast<const unsigned char*>(static_cast<const void*>(input->data)) +
              static_cast<std::ptrdiff_t>(line) * input->rowbytes;
        readable = input->width;
        std::memcpy(&last, row + static_cast<std::size_t>(readable - 1) * sizeof(Pixel), sizeof(Pixel));
    }

    const Pixel* at(A_long x) const
    {
        if (x < readable) {
            return static_cast<const Pixel*>(static_cast<const void*>(row + static_cast<std::size_t>(x) * sizeof(Pixel)));
        }
        return &last;
    }
};

/* The pixels [0, count) of a span inside one block: out = (in & keep) | fixed, keep and fixed those of a
   set cell where the mask holds 1 and of an unset cell where it holds 0. */
template <typename Word>
inline void drawSpan(const unsigned char* in, unsigned char* out, const std::uint8_t* mask, std::size_t count,
                     const Word (&keep)[2], const Word (&fixed)[2])
{
    const Word keepFlip = keep[0] ^ keep[1];
    const Word fixedFlip = fixed[0] ^ fixed[1];
    for (std::size_t i = 0; i < count; ++i) {
        Word input;
        std::memcpy(&input, in + i * sizeof(Word), sizeof input);
        const Word set = static_cast<Word>(Word{0} - Word{mask[i]});
        const Word result = (input & (keep[0] ^ (keepFlip & set))) | (fixed[0] ^ (fixedFlip & set));
        std::memcpy(out + i * sizeof(Word), &result, sizeof result);
    }
}

/* The same where every pixel of the span reads one input pixel (the input's last column, or none). */
template <typename Word>
inline void drawSpanOf(Word input, unsigned char* out, const std::uint8_t* mask, std::size_t count,
                       const Word (&keep)[2], const Word (&fixed)[2])
{
    const Word unset = (input & keep[0]) | fixed[0];
    const Word set = (input & keep[1]) | fixed[1];
    for (std::size_t i = 0; i < count; ++i) {
        const Word result = mask[i] != 0 ? set : unset;
        std::memcpy(out + i * sizeof(Word), &result, sizeof result);
    }
}

/* Row y from column x to the plan's width, through the plan's row tables. */
template <typename Depth>
void planRow(const RenderInfo& info, const KernelPlan& plan, A_long x, A_long y, typename Depth::Pixel* out)
{
    using Word = typename Depth::Word;
    using Pixel = typename Depth::Pixel;
    static_assert(sizeof(Word) == sizeof(Pixel), "one word per pixel");
    constexpr std::size_t entryBytes = sizeof(BlockEntry<Word>);

    const RowLine& line = plan.lines[static_cast<std::size_t>(y)];
    const OutputRules<Word>& rules = Depth::rules(plan);
    const InputRow<Pixel> input(info.inputWorld, y);
    Word lastInput;
    std::memcpy(&lastInput, &input.last, sizeof lastInput);
    const auto start = static_cast<std::uint32_t>(x);
    // Pixel x, where out points, as a byte offset from the row's column 0.
    unsigned char* const outRow =
        static_cast<unsigned char*>(static_cast<void*>(out)) - static_cast<std::size_t>(x) * sizeof(Pixel);
    const std::uint32_t* starts = plan.blockStarts.data();
    const std::size_t blocks = plan.blockStarts.size() - 1;
    std::size_t b = start == 0 ? 0 : static_cast<std::size_t>(std::upper_bound(starts, starts + blocks, start) - starts) - 1;
    const bool records = !plan.blocks.empty();

    for (; b < blocks; ++b) {
        const std::uint32_t from = std::max(starts[b], start);
        const std::uint32_t to = starts[b + 1];
        if (from >= to) {
            continue;
        }
        Word fixed[2];
        Word level;
        if (records) {
            const unsigned char* entry = line.base + b * entryBytes;
            std::memcpy(fixed, entry, sizeof fixed);
            std::memcpy(&level, entry + sizeof fixed, sizeof level);
        } else {
            Pixel sample;
            std::memcpy(&sample, line.base + plan.sampleOffsets[b], sizeof sample);
            level = static_cast<Word>(levelOf(plan, sample));
            Word sampleWord;
            std::memcpy(&sampleWord, &sample, sizeof sampleWord);
            for (int state = 0; state < 2; ++state) {
                fixed[state] = static_cast<Word>((sampleWord & rules.keepSample[state]) | rules.fixed[state]);
            }
        }
        const std::uint8_t* mask = plan.masks.data() + line.mask[static_cast<std::size_t>(level)];
        // Columns the input has, read in place; any beyond read its last column.
        const std::uint32_t readable = static_cast<std::uint32_t>(std::max<A_long>(input.readable, 0));
        const std::uint32_t split = std::min(std::max(from, readable), to);
        if (from < split) {
            drawSpan<Word>(input.row + static_cast<std::size_t>(from) * sizeof(Word),
                           outRow + static_cast<std::size_t>(from) * sizeof(Word), mask + from, split - from,
                           rules.keepInput, fixed);
        }
        if (split < to) {
            drawSpanOf<Word>(lastInput, outRow + static_cast<std::size_t>(split) * sizeof(Word), mask + split,
                             to - split, rules.keepInput, fixed);
        }
    }
}

/* Row y from column x to `end`, pixel by pixel through the pixel kernel, each pixel with the input pixel a
   host would hand it. */
template <typename Depth>
void pixelRow(void* refcon, const RenderInfo& info, A_long x, A_long y, A_long end, typename Depth::Pixel* out)
{
    using Pixel = typename Depth::Pixel;
    const InputRow<Pixel> input(info.inputWorld, y);
    for (A_long column = x; column < end; ++column) {
        Pixel in = *input.at(column);
        (void)Depth::pixel(refcon, column, y, &in, out + (column - x));
    }
}

template <typename Depth>
PF_Err crumbleforgeRow(void* refcon, A_long x, A_long y, typename Depth::Pixel* in, typename Depth::Pixel* out)
{
    if (refcon == nullptr) {
        return PF_Err_NONE;
    }
    const RenderInfo& info = *static_cast<const RenderInfo*>(refcon);
    if (info.rowsDrawn != nullptr && !info.rowsDrawn->load(std::memory_order_relaxed)) {
        info.rowsDrawn->store(true, std::memory_order_relaxed);
    }
    const KernelPlan* plan = info.plan;
    if (plan == nullptr || x < 0 || y < 0 || static_cast<A_u_long>(x) >= plan->rowWidth) {
        // Nothing says how far this row reaches: the pixel handed is the one certainly there.
        return Depth::pixel(refcon, x, y, in, out);
    }
    if (static_cast<A_u_long>(y) < plan->lineCount && plan->rowsDeep == Depth::deep) {
        planRow<Depth>(info, *plan, x, y, out);
    } else {
        pixelRow<Depth>(refcon, info, x, y, static_cast<A_long>(plan->rowWidth), out);
    }
    return PF_Err_NONE;
}

} // namespace

PF_Err CrumbleforgeRow_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out)
{
    return crumbleforgeRow<Row8>(refcon, x, y, in, out);
}

PF_Err CrumbleforgeRow_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out)
{
    return crumbleforgeRow<Row16>(refcon, x, y, in, out);
}
