/* RowKernel.cpp — one output row at a time: the row kernels that a host calls once per row through an
   iteration over an area one pixel wide. A row is walked block by block; inside a block every pixel shows
   one of the block's two outputs, picked by the level's mask for this row (a 32-bit word per pixel, all
   ones on a set cell, widened for 16-bit pixels), and keeps what the output rule keeps of its input pixel.
   The plan (KernelPlan.h, PlanFor::Rows) holds the blocks, the masks and, per row, which mask each level
   uses; the loop over a block's pixels is plain word arithmetic that compilers turn into vector code. Rows or columns the plan does not cover go through the pixel kernel, pixel by pixel. */
#include "Kernel.h"

#include "KernelDepth.h"
#include "KernelPlan.h"
#include "RenderInfo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

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

/* Pixels per step of a span's loop: a fixed count, so that compilers turn the step into vector code. */
constexpr std::size_t SPAN_STEP = 4;

/* Mask word i as a whole-pixel word: all ones or zero. */
template <typename Word>
inline Word maskAt(const std::uint32_t* mask, std::size_t i)
{
    return static_cast<Word>(static_cast<std::int64_t>(static_cast<std::int32_t>(mask[i])));
}

/* What a block's pixels show: per cell state (0 unset, 1 set) the bits they keep of their input pixel and
   the bits the block adds; flips are the bits in which the two states differ. */
template <typename Word>
struct BlockOutput {
    Word keep;
    Word keepFlip;
    Word fixed;
    Word fixedFlip;
};

/* The pixels [0, count) of a span inside one block: out = (in & keep) | fixed, keep and fixed those of a
   set cell where the mask word is all ones and of an unset cell where it is zero. Pixels [count, room) may
   be read and written too: the last step runs on past the span when there is room for it, and what it
   leaves there the next span draws over. With sameKeep both states keep the same bits of the input. */
template <typename Word, bool sameKeep>
inline void drawSpan(const unsigned char* in, unsigned char* out, const std::uint32_t* mask, std::size_t count,
                     std::size_t room, const BlockOutput<Word>& block)
{
    const BlockOutput<Word> b = block;
    auto pixel = [&](std::size_t i) {
        Word input;
        std::memcpy(&input, in + i * sizeof(Word), sizeof input);
        const Word set = maskAt<Word>(mask, i);
        const Word keep = sameKeep ? b.keep : static_cast<Word>(b.keep ^ (b.keepFlip & set));
        const Word result = (input & keep) | (b.fixed ^ (b.fixedFlip & set));
        std::memcpy(out + i * sizeof(Word), &result, sizeof result);
    };
    const std::size_t rounded = (count + SPAN_STEP - 1) / SPAN_STEP * SPAN_STEP;
    // Spans shorter than a step (narrow blocks) go pixel by pixel: a whole step would draw more than it keeps.
    const std::size_t steps = rounded <= room && count >= SPAN_STEP ? rounded : count - count % SPAN_STEP;
    std::size_t i = 0;
    for (; i < steps; i += SPAN_STEP) {
        for (std::size_t j = 0; j < SPAN_STEP; ++j) {
            pixel(i + j);
        }
    }
    for (; i < count; ++i) {
        pixel(i);
    }
}

/* The same where every pixel of the span reads one input pixel (the input's last column, or none). */
template <typename Word>
inline void drawSpanOf(Word input, unsigned char* out, const std::uint32_t* mask, std::size_t count,
                       const BlockOutput<Word>& b)
{
    const Word unset = (input & b.keep) | b.fixed;
    const Word set = (input & (b.keep ^ b.keepFlip)) | (b.fixed ^ b.fixedFlip);
    for (std::size_t i = 0; i < count; ++i) {
        const Word result = unset ^ ((set ^ unset) & maskAt<Word>(mask, i));
        std::memcpy(out + i * sizeof(Word), &result, sizeof result);
    }
}

/* Row y from column x to the plan's width, through the plan's row tables: the columns the input has, span
   by span with their input pixels, then any beyond with the input's last column. */
template <typename Depth, bool sameKeep, bool records, bool narrow>
void planRow(const RenderInfo& info, const KernelPlan& plan, A_long x, A_long y, typename Depth::Pixel* out)
{
    using Word = typename Depth::Word;
    using Pixel = typename Depth::Pixel;
    static_assert(sizeof(Word) == sizeof(Pixel), "one word per pixel");
    constexpr std::size_t entryBytes = sizeof(BlockEntry<Word>);

    const RowLine& line = plan.lines[static_cast<std::size_t>(y)];
    const OutputRules<Word>& rules = Depth::rules(plan);
    const InputRow<Pixel> input(info.inputWorld, y);
    const auto start = static_cast<std::uint32_t>(x);
    // Pixel x, where out points, as a byte offset from the row's column 0.
    unsigned char* const outRow =
        static_cast<unsigned char*>(static_cast<void*>(out)) - static_cast<std::size_t>(x) * sizeof(Pixel);
    const std::uint32_t* starts = plan.blockStarts.data();
    const std::size_t blocks = plan.blockStarts.size() - 1;
    const std::uint32_t width = starts[blocks];
    const std::uint32_t readEnd = std::min(width, static_cast<std::uint32_t>(std::max<A_long>(input.readable, 0)));

    // Block b's output, and the mask of its level on this row.
    BlockOutput<Word> block{rules.keepInput[0], static_cast<Word>(rules.keepInput[0] ^ rules.keepInput[1]), 0, 0};
    auto blockAt = [&](std::size_t b) -> const std::uint32_t* {
        Word fixed[2];
        Word level;
        if constexpr (records) {
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
        block.fixed = fixed[0];
        block.fixedFlip = static_cast<Word>(fixed[0] ^ fixed[1]);
        return plan.masks.data() + line.mask[static_cast<std::size_t>(level)];
    };

    std::size_t b = start == 0 ? 0 : static_cast<std::size_t>(std::upper_bound(starts, starts + blocks, start) - starts) - 1;
    std::uint32_t from = start;
    if constexpr (narrow) {
        // Blocks of a few pixels: one loop over the pixels, which sets up the next block where it starts.
        if (from < readEnd) {
            const std::uint32_t* mask = blockAt(b);
            std::uint32_t next = starts[b + 1];
            for (std::size_t c = from; c < readEnd; ++c) {
                if (c == next) {
                    ++b;
                    mask = blockAt(b);
                    next = starts[b + 1];
                }
                Word in;
                std::memcpy(&in, input.row + c * sizeof(Word), sizeof in);
                const Word set = maskAt<Word>(mask, c);
                const Word keep = sameKeep ? block.keep : static_cast<Word>(block.keep ^ (block.keepFlip & set));
                const Word result = (in & keep) | (block.fixed ^ (block.fixedFlip & set));
                std::memcpy(outRow + c * sizeof(Word), &result, sizeof result);
            }
            from = readEnd;
        }
    } else {
        for (; from < readEnd; ++b) {
            const std::uint32_t to = std::min(starts[b + 1], readEnd);
            const std::uint32_t* mask = blockAt(b);
            drawSpan<Word, sameKeep>(input.row + static_cast<std::size_t>(from) * sizeof(Word),
                                     outRow + static_cast<std::size_t>(from) * sizeof(Word),
                                     mask + from, to - from, readEnd - from,
                                     block);
            from = to;
        }
    }
    if (from >= width) {
        return;
    }
    Word lastInput;
    std::memcpy(&lastInput, &input.last, sizeof lastInput);
    for (b = static_cast<std::size_t>(std::upper_bound(starts, starts + blocks, from) - starts) - 1; from < width; ++b) {
        const std::uint32_t to = starts[b + 1];
        const std::uint32_t* mask = blockAt(b);
        drawSpanOf<Word>(lastInput, outRow + static_cast<std::size_t>(from) * sizeof(Word),
                         mask + from, to - from, block);
        from = to;
    }
}

/* planRow made for the frame: whether both cell states keep the same bits of the input, whether blocks have
   records, and whether they are narrower than a few steps. */
template <typename Depth>
void drawPlanRow(const RenderInfo& info, const KernelPlan& plan, A_long x, A_long y, typename Depth::Pixel* out)
{
    const auto& rules = Depth::rules(plan);
    const bool sameKeep = rules.keepInput[0] == rules.keepInput[1];
    const bool records = !plan.blocks.empty();
    const bool narrow = plan.constants.blockWidth < static_cast<int>(2 * SPAN_STEP);
    using Row = void (*)(const RenderInfo&, const KernelPlan&, A_long, A_long, typename Depth::Pixel*);
    static constexpr Row rows[2][2][2] = {
        {{planRow<Depth, false, false, false>, planRow<Depth, false, false, true>},
         {planRow<Depth, false, true, false>, planRow<Depth, false, true, true>}},
        {{planRow<Depth, true, false, false>, planRow<Depth, true, false, true>},
         {planRow<Depth, true, true, false>, planRow<Depth, true, true, true>}},
    };
    rows[sameKeep][records][narrow](info, plan, x, y, out);
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
        drawPlanRow<Depth>(info, *plan, x, y, out);
    } else {
        pixelRow<Depth>(refcon, info, x, y, static_cast<A_long>(plan->rowWidth), out);
    }
    return PF_Err_NONE;
}

} // namespace

PF_Err CrumbleforgeRow_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out)
{
    return crumbleforgeRow<Depth8>(refcon, x, y, in, out);
}

PF_Err CrumbleforgeRow_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out)
{
    return crumbleforgeRow<Depth16>(refcon, x, y, in, out);
}
