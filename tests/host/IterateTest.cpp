/* IterateTest.cpp — iterate, iterate16 and iterate_generic as an effect calls them: coverage, in/out
   pairing, areas, threads, errors, cancelling and progress. */
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cfhost/Host.h"

using namespace cfhost;

namespace {

HostOptions withThreads(unsigned n)
{
    HostOptions o;
    o.threads = n;
    return o;
}

template <class Pixel>
Pixel* pixelAddress(const PF_LayerDef& w, A_long x, A_long y)
{
    auto* base = static_cast<unsigned char*>(static_cast<void*>(w.data));
    return static_cast<Pixel*>(static_cast<void*>(base + y * w.rowbytes)) + x;
}

/* Counts visits per destination pixel and checks that in/out are the pixels at (x, y). */
struct Visits {
    const PF_LayerDef* src;
    const PF_LayerDef* dst;
    std::vector<std::atomic<int>> counts;
    std::atomic<int> mispaired{0};

    Visits(const World* s, const World& d)
        : src(s ? &s->layer() : nullptr), dst(&d.layer()), counts(static_cast<std::size_t>(d.width() * d.height()))
    {
    }
    int at(A_long x, A_long y) const { return counts[static_cast<std::size_t>(y * dst->width + x)].load(); }

    template <class Pixel>
    static PF_Err visit(void* refcon, A_long x, A_long y, Pixel* in, Pixel* out)
    {
        auto& v = *static_cast<Visits*>(refcon);
        v.counts[static_cast<std::size_t>(y * v.dst->width + x)].fetch_add(1);
        const A_long sx = std::min(x, v.src->width - 1), sy = std::min(y, v.src->height - 1);
        if (out != pixelAddress<Pixel>(*v.dst, x, y) || in != pixelAddress<Pixel>(*v.src, sx, sy)) {
            v.mispaired.fetch_add(1);
        }
        *out = *in;
        out->blue = static_cast<decltype(out->blue)>(out->blue + 1);
        return PF_Err_NONE;
    }
};

PF_Err iterate8(Host& host, World* src, World& dst, const PF_Rect* area, void* refcon, PF_IteratePixel8Func fn,
                A_long base = 0, A_long final = 0)
{
    PF_InData in = host.newInData();
    return host.utilCallbacks()->iterate(&in, base, final, src ? &src->layer() : nullptr, area, refcon, fn,
                                         &dst.layer());
}

void expectEveryPixelOnce(const Visits& v, const World& dst)
{
    for (A_long y = 0; y < dst.height(); ++y) {
        for (A_long x = 0; x < dst.width(); ++x) {
            ASSERT_EQ(v.at(x, y), 1) << "pixel (" << x << ", " << y << ")";
        }
    }
    EXPECT_EQ(v.mispaired.load(), 0);
    EXPECT_TRUE(dst.paddingIntact());
}

} // namespace

class IterateCoverage : public ::testing::TestWithParam<std::tuple<unsigned, A_long>> {};

TEST_P(IterateCoverage, VisitsEveryPixelOnceWithItsOwnSourcePixel8)
{
    const auto [threads, padding] = GetParam();
    Host host(withThreads(threads));
    for (const auto& [w, h] : {std::pair<A_long, A_long>{1, 1}, {7, 5}, {64, 37}}) {
        World src(w, h, Depth::Eight, padding), dst(w, h, Depth::Eight, padding + 1);
        Visits v(&src, dst);
        ASSERT_EQ(iterate8(host, &src, dst, nullptr, &v, Visits::visit<PF_Pixel>), PF_Err_NONE);
        expectEveryPixelOnce(v, dst);
    }
}

TEST_P(IterateCoverage, VisitsEveryPixelOnceWithItsOwnSourcePixel16)
{
    const auto [threads, padding] = GetParam();
    Host host(withThreads(threads));
    World src(33, 19, Depth::Sixteen, padding * 2), dst(33, 19, Depth::Sixteen, padding * 2 + 2);
    Visits v(&src, dst);
    PF_InData in = host.newInData();
    ASSERT_EQ(host.utilCallbacks()->iterate16(&in, 0, 19, &src.layer(), nullptr, &v, Visits::visit<PF_Pixel16>,
                                              &dst.layer()),
              PF_Err_NONE);
    expectEveryPixelOnce(v, dst);
}

INSTANTIATE_TEST_SUITE_P(ThreadsAndPadding, IterateCoverage,
                         ::testing::Combine(::testing::Values(1u, 3u), ::testing::Values(0, 3, 32)));

TEST(IterateArea, VisitsOnlyTheAreaClippedToTheWorld)
{
    Host host(withThreads(2));
    World src(10, 8), dst(10, 8);
    Visits v(&src, dst);
    const PF_Rect area{2, 3, 40, 6};
    ASSERT_EQ(iterate8(host, &src, dst, &area, &v, Visits::visit<PF_Pixel>), PF_Err_NONE);
    for (A_long y = 0; y < 8; ++y) {
        for (A_long x = 0; x < 10; ++x) {
            EXPECT_EQ(v.at(x, y), (x >= 2 && y >= 3 && y < 6) ? 1 : 0) << x << "," << y;
        }
    }
    const PF_Rect empty{5, 5, 5, 9};
    Visits none(&src, dst);
    EXPECT_EQ(iterate8(host, &src, dst, &empty, &none, Visits::visit<PF_Pixel>), PF_Err_NONE);
    EXPECT_EQ(std::count_if(none.counts.begin(), none.counts.end(), [](auto& c) { return c.load() != 0; }), 0);
}

TEST(IterateSource, SmallerSourceIsClampedToItsLastRowAndColumn)
{
    Host host(withThreads(2));
    World src(3, 2), dst(6, 5);
    Visits v(&src, dst); /* Visits::visit expects the clamped source pixel */
    ASSERT_EQ(iterate8(host, &src, dst, nullptr, &v, Visits::visit<PF_Pixel>), PF_Err_NONE);
    expectEveryPixelOnce(v, dst);
}

TEST(IterateSource, MissingSourceGivesAZeroPixelEveryTime)
{
    Host host(withThreads(2));
    World dst(5, 5);
    dst.fill(PF_Pixel{1, 2, 3, 4});
    std::atomic<int> nonZero{0};
    auto fn = [](void* refcon, A_long, A_long, PF_Pixel* in, PF_Pixel* out) -> PF_Err {
        if (in == out || in->alpha != 0 || in->red != 0 || in->green != 0 || in->blue != 0) {
            static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
        }
        in->red = 99; /* must not leak into the next call */
        return PF_Err_NONE;
    };
    ASSERT_EQ(iterate8(host, nullptr, dst, nullptr, &nonZero, fn), PF_Err_NONE);
    EXPECT_EQ(nonZero.load(), 0);
}

TEST(IterateThreads, SeveralThreadsGiveTheSameImageAsOne)
{
    auto paint = [](void*, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) -> PF_Err {
        *out = PF_Pixel{in->alpha, static_cast<A_u_char>(x * 7 + y), static_cast<A_u_char>(x ^ y),
                        static_cast<A_u_char>(in->blue + 1)};
        return PF_Err_NONE;
    };
    World src(97, 61);
    for (A_long y = 0; y < 61; ++y) {
        for (A_long x = 0; x < 97; ++x) {
            src.pixel8(x, y) = PF_Pixel{static_cast<A_u_char>(x), 0, 0, static_cast<A_u_char>(y)};
        }
    }
    Host one(withThreads(1)), four(withThreads(4));
    World a(97, 61), b(97, 61, Depth::Eight, 5);
    ASSERT_EQ(iterate8(one, &src, a, nullptr, nullptr, paint), PF_Err_NONE);
    ASSERT_EQ(iterate8(four, &src, b, nullptr, nullptr, paint), PF_Err_NONE);
    EXPECT_TRUE(samePixels(a, b));
}

TEST(IterateThreads, WorkIsSharedBetweenThreads)
{
    struct Meeting {
        std::mutex mutex;
        std::set<std::thread::id> seen;
    } meeting;
    /* Each row's first pixel waits until a second thread has shown up (or gives up after 10 s). */
    auto fn = [](void* refcon, A_long x, A_long, PF_Pixel*, PF_Pixel*) -> PF_Err {
        auto& m = *static_cast<Meeting*>(refcon);
        if (x != 0) {
            return PF_Err_NONE;
        }
        {
            std::lock_guard<std::mutex> lock(m.mutex);
            m.seen.insert(std::this_thread::get_id());
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard<std::mutex> lock(m.mutex);
                if (m.seen.size() > 1) {
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return PF_Err_NONE;
    };
    Host host(withThreads(3));
    World dst(4, 24);
    ASSERT_EQ(iterate8(host, nullptr, dst, nullptr, &meeting, fn), PF_Err_NONE);
    EXPECT_GE(meeting.seen.size(), 2u);
}

TEST(IterateErrors, ReturnsTheFirstErrorAndStartsNoFurtherRows)
{
    Host host(withThreads(1));
    World dst(6, 20);
    std::vector<std::atomic<int>> rows(20);
    auto fn = [](void* refcon, A_long x, A_long y, PF_Pixel*, PF_Pixel*) -> PF_Err {
        (*static_cast<std::vector<std::atomic<int>>*>(refcon))[static_cast<std::size_t>(y)].fetch_add(1);
        return (x == 2 && y >= 7) ? 100 + y : PF_Err_NONE;
    };
    EXPECT_EQ(iterate8(host, nullptr, dst, nullptr, &rows, fn), 107);
    EXPECT_EQ(rows[6].load(), 6);
    EXPECT_EQ(rows[7].load(), 3);
    for (std::size_t y = 8; y < rows.size(); ++y) {
        EXPECT_EQ(rows[y].load(), 0) << "row " << y;
    }
}

TEST(IterateErrors, AnErrorOnSeveralThreadsStillComesBack)
{
    Host host(withThreads(4));
    World dst(16, 200);
    auto fn = [](void*, A_long, A_long y, PF_Pixel*, PF_Pixel*) -> PF_Err { return y == 150 ? 77 : PF_Err_NONE; };
    EXPECT_EQ(iterate8(host, nullptr, dst, nullptr, nullptr, fn), 77);
}

TEST(IterateErrors, RefusesMissingArgumentsAndEightBitWorldsForSixteenBitPixels)
{
    Host host(withThreads(2));
    World eight(4, 4), deep(4, 4, Depth::Sixteen);
    auto fn8 = [](void*, A_long, A_long, PF_Pixel*, PF_Pixel*) -> PF_Err { return PF_Err_NONE; };
    auto fn16 = [](void*, A_long, A_long, PF_Pixel16*, PF_Pixel16*) -> PF_Err { return PF_Err_NONE; };
    PF_InData in = host.newInData();
    PF_UtilCallbacks* u = host.utilCallbacks();
    EXPECT_EQ(u->iterate(nullptr, 0, 4, nullptr, nullptr, nullptr, fn8, &eight.layer()), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(u->iterate(&in, 0, 4, nullptr, nullptr, nullptr, nullptr, &eight.layer()), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(u->iterate16(&in, 0, 4, nullptr, nullptr, nullptr, fn16, &eight.layer()), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(u->iterate16(&in, 0, 4, &eight.layer(), nullptr, nullptr, fn16, &deep.layer()),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.misuseLog().size(), 4u);
    /* 8-bit pixels over a deep world stay inside its rows */
    EXPECT_EQ(u->iterate(&in, 0, 4, &deep.layer(), nullptr, nullptr, fn8, &deep.layer()), PF_Err_NONE);
    EXPECT_TRUE(deep.paddingIntact());
}

TEST(IterateCancel, AnAbortRequestStopsBeforeTheFirstRow)
{
    Host host(withThreads(3));
    World dst(8, 8);
    std::atomic<int> calls{0};
    auto fn = [](void* refcon, A_long, A_long, PF_Pixel*, PF_Pixel*) -> PF_Err {
        static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
        return PF_Err_NONE;
    };
    host.faults().requestAbort();
    EXPECT_EQ(iterate8(host, nullptr, dst, nullptr, &calls, fn), PF_Interrupt_CANCEL);
    EXPECT_EQ(calls.load(), 0);
    host.faults().clear();
    EXPECT_EQ(iterate8(host, nullptr, dst, nullptr, &calls, fn), PF_Err_NONE);
    EXPECT_EQ(calls.load(), 64);
}

TEST(IterateCancel, AbortAfterRowsCancelsBetweenRows)
{
    Host host(withThreads(1));
    World dst(5, 30);
    std::atomic<int> calls{0};
    auto fn = [](void* refcon, A_long, A_long, PF_Pixel*, PF_Pixel*) -> PF_Err {
        static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
        return PF_Err_NONE;
    };
    host.faults().abortAfterRows(4);
    EXPECT_EQ(iterate8(host, nullptr, dst, nullptr, &calls, fn), PF_Interrupt_CANCEL);
    EXPECT_EQ(calls.load(), 4 * 5);
    EXPECT_TRUE(host.faults().abortRequested());

    Host many(withThreads(4));
    many.faults().abortAfterRows(10);
    World big(3, 400);
    EXPECT_EQ(iterate8(many, nullptr, big, nullptr, nullptr, [](void*, A_long, A_long, PF_Pixel*, PF_Pixel*) -> PF_Err {
                  return PF_Err_NONE;
              }),
              PF_Interrupt_CANCEL);
}

TEST(IterateProgress, ReportsRisingProgressFromBaseToFinal)
{
    auto fn = [](void*, A_long, A_long, PF_Pixel*, PF_Pixel*) -> PF_Err { return PF_Err_NONE; };
    Host one(withThreads(1));
    World dst(3, 40);
    ASSERT_EQ(iterate8(one, nullptr, dst, nullptr, nullptr, fn, 100, 140), PF_Err_NONE);
    const auto events = one.progressEvents();
    ASSERT_EQ(events.size(), 4u); /* one band per quarter on a single thread */
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].current, 110 + 10 * static_cast<A_long>(i));
        EXPECT_EQ(events[i].total, 140);
    }

    Host four(withThreads(4));
    World tall(3, 301);
    ASSERT_EQ(iterate8(four, nullptr, tall, nullptr, nullptr, fn, 0, 301), PF_Err_NONE);
    const auto many = four.progressEvents();
    ASSERT_FALSE(many.empty());
    EXPECT_TRUE(std::is_sorted(many.begin(), many.end(),
                               [](const ProgressEvent& a, const ProgressEvent& b) { return a.current < b.current; }));
    EXPECT_EQ(many.back().current, 301);
}

TEST(IterateSuites, BothSuiteVersionsIterate)
{
    Host host(withThreads(2));
    World src(9, 4), dst(9, 4);
    PF_InData in = host.newInData();
    for (int32_t version : {1, 2}) {
        const void* suite = nullptr;
        ASSERT_EQ(host.basicSuite()->AcquireSuite(kPFIterate8Suite, version, &suite), kSPNoError);
        Visits v(&src, dst);
        EXPECT_EQ(static_cast<const PF_Iterate8Suite1*>(suite)->iterate(&in, 0, 4, &src.layer(), nullptr, &v,
                                                                        Visits::visit<PF_Pixel>, &dst.layer()),
                  PF_Err_NONE);
        expectEveryPixelOnce(v, dst);
        host.basicSuite()->ReleaseSuite(kPFIterate8Suite, version);
    }
    World src16(9, 4, Depth::Sixteen), dst16(9, 4, Depth::Sixteen);
    for (int32_t version : {1, 2}) {
        const void* suite = nullptr;
        ASSERT_EQ(host.basicSuite()->AcquireSuite(kPFIterate16Suite, version, &suite), kSPNoError);
        Visits v(&src16, dst16);
        EXPECT_EQ(static_cast<const PF_Iterate16Suite1*>(suite)->iterate(&in, 0, 4, &src16.layer(), nullptr, &v,
                                                                         Visits::visit<PF_Pixel16>, &dst16.layer()),
                  PF_Err_NONE);
        expectEveryPixelOnce(v, dst16);
        host.basicSuite()->ReleaseSuite(kPFIterate16Suite, version);
    }
    EXPECT_EQ(host.leakReport(), "");
}

TEST(IterateArea, RefusedAreasFailWithoutVisitingAPixelUntilCleared)
{
    Host host(withThreads(2));
    World eight(6, 5), deep(6, 5, Depth::Sixteen);
    PF_InData in = host.newInData();
    const auto* suite8 = static_cast<const PF_Iterate8Suite1*>(
        [&] { const void* s = nullptr; host.basicSuite()->AcquireSuite(kPFIterate8Suite, 1, &s); return s; }());
    const auto* suite16 = static_cast<const PF_Iterate16Suite1*>(
        [&] { const void* s = nullptr; host.basicSuite()->AcquireSuite(kPFIterate16Suite, 1, &s); return s; }());
    ASSERT_TRUE(suite8 != nullptr && suite16 != nullptr);
    auto count8 = [](void* refcon, A_long, A_long, PF_Pixel*, PF_Pixel*) -> PF_Err {
        static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
        return PF_Err_NONE;
    };
    auto count16 = [](void* refcon, A_long, A_long, PF_Pixel16*, PF_Pixel16*) -> PF_Err {
        static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
        return PF_Err_NONE;
    };
    using Call = std::function<PF_Err(const PF_Rect*, std::atomic<int>*)>;
    const std::vector<std::pair<const char*, Call>> calls{
        {"utils iterate", [&](const PF_Rect* a, std::atomic<int>* n) {
             return host.utilCallbacks()->iterate(&in, 0, 5, nullptr, a, n, count8, &eight.layer());
         }},
        {"utils iterate16", [&](const PF_Rect* a, std::atomic<int>* n) {
             return host.utilCallbacks()->iterate16(&in, 0, 5, nullptr, a, n, count16, &deep.layer());
         }},
        {"suite iterate", [&](const PF_Rect* a, std::atomic<int>* n) {
             return suite8->iterate(&in, 0, 5, nullptr, a, n, count8, &eight.layer());
         }},
        {"suite iterate16", [&](const PF_Rect* a, std::atomic<int>* n) {
             return suite16->iterate(&in, 0, 5, nullptr, a, n, count16, &deep.layer());
         }},
    };
    const PF_Rect area{1, 1, 4, 3};
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        std::atomic<int> visits{0};
        host.faults().refuseAreas(PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_EQ(call(&area, &visits), PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_EQ(visits.load(), 0);
        EXPECT_EQ(call(nullptr, &visits), PF_Err_NONE);
        EXPECT_EQ(visits.load(), 30);
        host.faults().clear();
        EXPECT_EQ(call(&area, &visits), PF_Err_NONE);
        EXPECT_EQ(visits.load(), 36);
    }
    host.basicSuite()->ReleaseSuite(kPFIterate8Suite, 1);
    host.basicSuite()->ReleaseSuite(kPFIterate16Suite, 1);
}

namespace {

using GenericFn = PF_Err (*)(void*, A_long, A_long, A_long);
using GenericIterate = PF_Err (*)(A_long, void*, GenericFn);

/* Records the calls of one generic iteration and counts anything out of place. */
struct GenericCalls {
    A_long threads = 1;
    A_long expectedCount = 0; /* the count fn should be passed */
    bool perThread = false;
    bool waitForCompany = false; /* calls wait until a second thread has shown up, for 10 s at most */
    std::chrono::steady_clock::time_point giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::thread::id caller = std::this_thread::get_id();
    std::vector<std::atomic<int>> perIndex;
    std::vector<std::atomic<int>> running; /* calls in progress per thread_index */
    std::atomic<int> wrong{0};
    std::mutex mutex;
    std::set<std::thread::id> seen;

    GenericCalls(A_long t, A_long calls)
        : threads(t), perIndex(static_cast<std::size_t>(calls)), running(static_cast<std::size_t>(t))
    {
    }

    static PF_Err fn(void* refcon, A_long t, A_long i, A_long n)
    {
        auto& c = *static_cast<GenericCalls*>(refcon);
        const bool onCaller = std::this_thread::get_id() == c.caller;
        const bool indexWrong = t < 0 || t >= c.threads || (t == 0 && !onCaller) ||
                                (onCaller && t != 0 && !c.perThread) || (c.perThread && t != i);
        if (n != c.expectedCount || i < 0 || i >= static_cast<A_long>(c.perIndex.size()) || indexWrong) {
            c.wrong.fetch_add(1);
            return PF_Err_NONE;
        }
        c.perIndex[static_cast<std::size_t>(i)].fetch_add(1);
        if (c.running[static_cast<std::size_t>(t)].fetch_add(1) != 0) {
            c.wrong.fetch_add(1); /* two calls with one thread_index at once */
        }
        {
            std::lock_guard<std::mutex> lock(c.mutex);
            c.seen.insert(std::this_thread::get_id());
        }
        while (c.waitForCompany && std::chrono::steady_clock::now() < c.giveUp) {
            {
                std::lock_guard<std::mutex> lock(c.mutex);
                if (c.seen.size() > 1) {
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        c.running[static_cast<std::size_t>(t)].fetch_sub(1);
        return PF_Err_NONE;
    }
};

GenericIterate suiteIterateGeneric(Host& host)
{
    const void* suite = nullptr;
    host.basicSuite()->AcquireSuite(kPFIterate8Suite, 2, &suite);
    host.basicSuite()->ReleaseSuite(kPFIterate8Suite, 2);
    return suite != nullptr ? static_cast<const PF_Iterate8Suite1*>(suite)->iterate_generic : nullptr;
}

} // namespace

TEST(IterateGeneric, EveryIndexOnceWithThreadIndicesUniqueAndZeroOnTheCaller)
{
    for (const A_long threads : {1, 3}) {
        Host host(withThreads(static_cast<unsigned>(threads)));
        const std::vector<std::pair<const char*, GenericIterate>> entries{
            {"utils", host.utilCallbacks()->iterate_generic}, {"suite", suiteIterateGeneric(host)}};
        for (const auto& [entry, iterateGeneric] : entries) {
            ASSERT_NE(iterateGeneric, nullptr) << entry;
            for (const A_long count : {0, 1, 7, 1000, A_long{PF_Iterations_ONCE_PER_PROCESSOR}}) {
                SCOPED_TRACE(std::string(entry) + ", threads " + std::to_string(threads) + ", count " +
                             std::to_string(count));
                const bool perThread = count == PF_Iterations_ONCE_PER_PROCESSOR;
                const A_long calls = perThread ? threads : count;
                GenericCalls c(threads, calls);
                c.expectedCount = calls;
                c.perThread = perThread;
                c.waitForCompany = threads > 1 && calls > 1;
                ASSERT_EQ(iterateGeneric(count, &c, GenericCalls::fn), PF_Err_NONE);
                EXPECT_EQ(c.wrong.load(), 0);
                for (A_long i = 0; i < calls; ++i) {
                    ASSERT_EQ(c.perIndex[static_cast<std::size_t>(i)].load(), 1) << "index " << i;
                }
                if (c.waitForCompany) {
                    EXPECT_GE(c.seen.size(), 2u) << "the work stayed on one thread";
                }
            }
        }
        EXPECT_TRUE(host.progressEvents().empty());
    }
}

TEST(IterateGeneric, FirstErrorStopsNewIndicesAndBadArgumentsAreRefused)
{
    Host host(withThreads(1));
    GenericIterate iterateGeneric = host.utilCallbacks()->iterate_generic;
    std::vector<std::atomic<int>> calls(50);
    auto failFrom20 = [](void* refcon, A_long, A_long i, A_long) -> PF_Err {
        (*static_cast<std::vector<std::atomic<int>>*>(refcon))[static_cast<std::size_t>(i)].fetch_add(1);
        return i >= 20 ? 100 + i : PF_Err_NONE;
    };
    EXPECT_EQ(iterateGeneric(50, &calls, failFrom20), 120);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](auto& n) { return n.load() == 1; }), 21);
    EXPECT_EQ(calls[21].load(), 0);

    /* Every index fails: each thread stops after its first call. */
    Host many(withThreads(4));
    std::atomic<int> failed{0};
    auto failAll = [](void* refcon, A_long, A_long i, A_long) -> PF_Err {
        static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
        return 100 + i;
    };
    const PF_Err first = many.utilCallbacks()->iterate_generic(1000, &failed, failAll);
    EXPECT_TRUE(first >= 100 && first < 1100) << first;
    EXPECT_LE(failed.load(), 4);

    /* The host leaves cancelling to the effect. */
    std::atomic<int> count{0};
    auto counting = [](void* refcon, A_long, A_long, A_long) -> PF_Err {
        static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
        return PF_Err_NONE;
    };
    many.faults().requestAbort();
    EXPECT_EQ(many.utilCallbacks()->iterate_generic(300, &count, counting), PF_Err_NONE);
    EXPECT_EQ(count.load(), 300);

    for (const A_long bad : {-2, std::numeric_limits<A_long>::min()}) {
        EXPECT_EQ(iterateGeneric(bad, &count, counting), PF_Err_BAD_CALLBACK_PARAM) << bad;
    }
    EXPECT_EQ(iterateGeneric(10, &count, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(count.load(), 300);
    EXPECT_EQ(host.misuseLog().size(), 3u);
}
