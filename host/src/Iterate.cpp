/* Iterate.cpp — banded, multi-threaded pixel iteration, and the generic iteration over indices. */
#include "Iterate.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "Fill.h"
#include "HostState.h"

namespace cfhost::detail {
namespace {

/* Bands per thread. Alone, a thread takes the rows in four bands (progress is reported after each). With
   others it takes smaller ones, so that a thread that started late or was slowed down by other work on the
   machine holds up the end of the iteration by a small band at most, while each band still spans enough
   rows that claiming it and reporting its progress cost nothing next to its pixels. */
constexpr A_long kBandsPerThreadAlone = 4;
constexpr A_long kBandsPerThreadShared = 8;

/* Chunks of indices per thread in a generic iteration, for the same reasons. */
constexpr A_long kChunksPerThread = 8;

template <class Pixel>
Pixel* rowOf(const PF_EffectWorld& world, A_long y) noexcept
{
    auto* base = static_cast<unsigned char*>(static_cast<void*>(world.data));
    return static_cast<Pixel*>(static_cast<void*>(base + static_cast<std::ptrdiff_t>(y) * world.rowbytes));
}

/* State shared by the threads of one iteration. Counters written by several threads sit on cache lines
   of their own. */
template <class Pixel, class Fn>
struct Iteration {
    Host::State& host;
    A_long base = 0;
    A_long final = 0;
    const PF_EffectWorld* src = nullptr; /* null: no source pixels */
    PF_EffectWorld dst{};
    PF_Rect rect{};
    void* refcon = nullptr;
    Fn fn = nullptr;
    A_long bandRows = 1;
    A_long bands = 1;

    alignas(64) std::atomic<A_long> nextBand{0};
    alignas(64) std::atomic<A_long> rowsDone{0};
    alignas(64) std::atomic<bool> stop{false};
    std::atomic<bool> cancelled{false};
    std::atomic<PF_Err> firstError{PF_Err_NONE};
    alignas(64) std::mutex finishedMutex;
    std::condition_variable finishedCv;
    A_long bandsFinished = 0;

    explicit Iteration(Host::State& h) : host(h) {}

    A_long rows() const noexcept { return rect.bottom - rect.top; }

    PF_Err runRow(A_long y) noexcept
    {
        Pixel* out = rowOf<Pixel>(dst, y);
        if (src != nullptr) {
            Pixel* in = rowOf<Pixel>(*src, std::min(y, src->height - 1));
            const A_long lastX = src->width - 1;
            for (A_long x = rect.left; x < rect.right; ++x) {
                const PF_Err err = fn(refcon, x, y, in + std::min(x, lastX), out + x);
                if (err != PF_Err_NONE) {
                    return err;
                }
            }
        } else {
            Pixel zero{};
            for (A_long x = rect.left; x < rect.right; ++x) {
                zero = Pixel{};
                const PF_Err err = fn(refcon, x, y, &zero, out + x);
                if (err != PF_Err_NONE) {
                    return err;
                }
            }
        }
        return PF_Err_NONE;
    }

    void fail(PF_Err err) noexcept
    {
        PF_Err expected = PF_Err_NONE;
        firstError.compare_exchange_strong(expected, err, std::memory_order_acq_rel);
        stop.store(true, std::memory_order_release);
    }

    void runBand(A_long band) noexcept
    {
        const A_long y0 = rect.top + band * bandRows;
        const A_long y1 = std::min(y0 + bandRows, rect.bottom);
        A_long done = 0;
        for (A_long y = y0; y < y1; ++y) {
            if (stop.load(std::memory_order_acquire)) {
                break;
            }
            if (host.faults.abortRequested()) {
                cancelled.store(true, std::memory_order_release);
                stop.store(true, std::memory_order_release);
                break;
            }
            const PF_Err err = runRow(y);
            if (err != PF_Err_NONE) {
                fail(err);
                break;
            }
            ++done;
            if (host.faults.countingRows()) {
                host.faults.rowProcessed();
            }
        }
        if (done > 0) {
            rowsDone.fetch_add(done, std::memory_order_acq_rel);
            reportProgress();
        }
    }

    void reportProgress() noexcept
    {
        /* Read the row count under the log's lock, so recorded values never go backwards. */
        std::lock_guard<std::mutex> lock(host.logMutex);
        const long long done = rowsDone.load(std::memory_order_acquire);
        const long long span = static_cast<long long>(final) - base;
        const auto current = static_cast<A_long>(base + span * done / rows());
        try {
            host.progressLog.push_back(ProgressEvent{current, final});
        } catch (...) {
        }
    }

    void work() noexcept
    {
        for (;;) {
            const A_long band = nextBand.fetch_add(1, std::memory_order_relaxed);
            if (band >= bands) {
                return;
            }
            runBand(band);
            std::lock_guard<std::mutex> lock(finishedMutex);
            if (++bandsFinished == bands) {
                finishedCv.notify_all();
            }
        }
    }

    void waitForBands()
    {
        std::unique_lock<std::mutex> lock(finishedMutex);
        finishedCv.wait(lock, [this] { return bandsFinished == bands; });
    }
};

template <class Pixel, class Fn>
PF_Err iteratePixels(Host::State& host, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                     void* refcon, Fn fn, PF_EffectWorld* dst) noexcept
{
    try {
        auto it = std::make_shared<Iteration<Pixel, Fn>>(host);
        if (!clipToWorld(*dst, area, it->rect)) {
            return PF_Err_NONE;
        }
        it->base = base;
        it->final = final;
        it->src = (src != nullptr && src->data != nullptr && src->width > 0 && src->height > 0) ? src : nullptr;
        it->dst = *dst;
        it->refcon = refcon;
        it->fn = fn;

        const A_long rows = it->rows();
        const auto threads = static_cast<A_long>(std::max(1u, host.threads));
        const A_long wanted =
            std::min<A_long>(rows, threads * (threads > 1 ? kBandsPerThreadShared : kBandsPerThreadAlone));
        it->bandRows = (rows + wanted - 1) / wanted;
        it->bands = (rows + it->bandRows - 1) / it->bandRows;

        const A_long helpers = std::min<A_long>(threads - 1, it->bands - 1);
        try {
            for (A_long i = 0; i < helpers; ++i) {
                host.pool.submit([it] { it->work(); });
            }
        } catch (...) {
            /* fewer helpers: the calling thread takes the remaining bands */
        }
        it->work();
        it->waitForBands();

        const PF_Err err = it->firstError.load(std::memory_order_acquire);
        if (err != PF_Err_NONE) {
            return err;
        }
        return it->cancelled.load(std::memory_order_acquire) ? PF_Interrupt_CANCEL : PF_Err_NONE;
    } catch (...) {
        return PF_Err_OUT_OF_MEMORY;
    }
}

/* State shared by the threads of one generic iteration. */
struct GenericIteration {
    void* refcon = nullptr;
    GenericIterationFunc fn = nullptr;
    A_long count = 0;
    bool perThread = false; /* once per thread: thread_index is i */
    A_long chunkSize = 1;
    A_long chunks = 1;

    alignas(64) std::atomic<A_long> nextChunk{0};
    alignas(64) std::atomic<bool> stop{false};
    std::atomic<PF_Err> firstError{PF_Err_NONE};
    alignas(64) std::mutex finishedMutex;
    std::condition_variable finishedCv;
    A_long chunksFinished = 0;

    void runChunk(A_long chunk, A_long threadIndex) noexcept
    {
        const A_long first = chunk * chunkSize;
        const A_long last = first + std::min(chunkSize, count - first);
        for (A_long i = first; i < last; ++i) {
            if (stop.load(std::memory_order_acquire)) {
                return;
            }
            const PF_Err err = fn(refcon, perThread ? i : threadIndex, i, count);
            if (err != PF_Err_NONE) {
                PF_Err expected = PF_Err_NONE;
                firstError.compare_exchange_strong(expected, err, std::memory_order_acq_rel);
                stop.store(true, std::memory_order_release);
                return;
            }
        }
    }

    void chunkFinished() noexcept
    {
        std::lock_guard<std::mutex> lock(finishedMutex);
        if (++chunksFinished == chunks) {
            finishedCv.notify_all();
        }
    }

    void work(A_long threadIndex) noexcept
    {
        for (;;) {
            const A_long chunk = nextChunk.fetch_add(1, std::memory_order_relaxed);
            if (chunk >= chunks) {
                return;
            }
            runChunk(chunk, threadIndex);
            chunkFinished();
        }
    }

    void waitForChunks()
    {
        std::unique_lock<std::mutex> lock(finishedMutex);
        finishedCv.wait(lock, [this] { return chunksFinished == chunks; });
    }
};

} // namespace

PF_Err iteratePixels8(Host::State& host, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                      void* refcon, PF_IteratePixel8Func fn, PF_EffectWorld* dst) noexcept
{
    return iteratePixels<PF_Pixel>(host, base, final, src, area, refcon, fn, dst);
}

PF_Err iteratePixels16(Host::State& host, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                       void* refcon, PF_IteratePixel16Func fn, PF_EffectWorld* dst) noexcept
{
    return iteratePixels<PF_Pixel16>(host, base, final, src, area, refcon, fn, dst);
}

PF_Err iterateGeneric(Host::State& host, A_long count, void* refcon, GenericIterationFunc fn) noexcept
{
    try {
        const auto threads = static_cast<A_long>(std::max(1u, host.threads));
        auto it = std::make_shared<GenericIteration>();
        it->refcon = refcon;
        it->fn = fn;
        if (count == PF_Iterations_ONCE_PER_PROCESSOR) {
            /* Chunk 0 is the calling thread's; the others go to whoever claims them first. */
            it->perThread = true;
            it->count = threads;
            it->chunks = threads;
            it->nextChunk.store(1, std::memory_order_relaxed);
        } else {
            if (count <= 0) {
                return PF_Err_NONE;
            }
            it->count = count;
            const A_long wanted = std::min<A_long>(count, threads > 1 ? threads * kChunksPerThread : 1);
            it->chunkSize = (count - 1) / wanted + 1;
            it->chunks = (count - 1) / it->chunkSize + 1;
        }

        const A_long helpers = std::min<A_long>(threads - 1, it->chunks - 1);
        try {
            for (A_long k = 1; k <= helpers; ++k) {
                host.pool.submit([it, k] { it->work(k); });
            }
        } catch (...) {
            /* fewer helpers: the calling thread takes the remaining chunks */
        }
        if (it->perThread) {
            it->runChunk(0, 0);
            it->chunkFinished();
        }
        it->work(0);
        it->waitForChunks();
        return it->firstError.load(std::memory_order_acquire);
    } catch (...) {
        return PF_Err_OUT_OF_MEMORY;
    }
}

} // namespace cfhost::detail
