/* CallbacksTest.cpp — the callbacks and suites a Host hands to effects: fill, ANSI helpers, handles,
   blocks, worlds, suite acquisition, bookkeeping and fault switches. */
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cfhost/Host.h"
#include "cfhost/HostError.h"

using namespace cfhost;

namespace {

const void* acquire(Host& host, const char* name, int32_t version, SPErr* result = nullptr)
{
    const void* suite = reinterpret_cast<const void*>(&host); /* must be overwritten */
    const SPErr err = host.basicSuite()->AcquireSuite(name, version, &suite);
    if (result != nullptr) {
        *result = err;
    }
    return suite;
}

unsigned char* handleBytes(PF_Handle h)
{
    return static_cast<unsigned char*>(static_cast<void*>(*h));
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

/* ---- host identity ------------------------------------------------------------------------------- */

TEST(HostIdentity, FourCharacterCodesPutTheFirstCharacterHighest)
{
    static_assert(fourCC("FXTC") == 0x46585443);
    static_assert(kPremierePro == 0x50724D72);
    static_assert(kEffectKind == 0x65464B54);
}

TEST(HostIdentity, InDataCarriesTheApplicationAndInterfaceVersion)
{
    HostOptions o;
    o.applicationId = kPremierePro;
    o.versionMajor = 12;
    o.versionMinor = 30;
    Host host(o);
    const PF_InData in = host.newInData();
    EXPECT_EQ(in.appl_id, kPremierePro);
    EXPECT_EQ(in.version.major, 12);
    EXPECT_EQ(in.version.minor, 30);
    EXPECT_EQ(in.quality, PF_Quality_HI);
    EXPECT_EQ(in.downsample_x.num, 1);
    EXPECT_EQ(in.downsample_y.den, 1u);
    EXPECT_EQ(in.pixel_aspect_ratio.num, 1);
    EXPECT_EQ(in.utils, host.utilCallbacks());
    EXPECT_EQ(in.pica_basicP, host.basicSuite());
    EXPECT_EQ(host.hostName(), "Premiere Pro");
    EXPECT_EQ(host.hostVersion(), "12.30");

    Host defaults;
    EXPECT_EQ(defaults.newInData().appl_id, kAfterEffects);
    EXPECT_EQ(defaults.newInData().version.minor, 28);
    EXPECT_GE(defaults.threadCount(), 1u);
}

TEST(HostIdentity, EachHostHasItsOwnTablesAndTheirNumberIsBounded)
{
    std::vector<std::unique_ptr<Host>> hosts;
    EXPECT_THROW(
        {
            for (std::size_t i = 0; i <= Host::kMaxHosts; ++i) {
                HostOptions oneThread;
                oneThread.threads = 1;
                hosts.push_back(std::make_unique<Host>(oneThread));
            }
        },
        HostError);
    ASSERT_GE(hosts.size(), 2u);
    EXPECT_NE(hosts[0]->basicSuite()->AcquireSuite, hosts[1]->basicSuite()->AcquireSuite);
    PF_Handle h = hosts[0]->utilCallbacks()->host_new_handle(8);
    EXPECT_EQ(hosts[1]->utilCallbacks()->host_get_handle_size(h), 0u);
    EXPECT_EQ(hosts[0]->utilCallbacks()->host_get_handle_size(h), 8u);
    EXPECT_FALSE(hosts[1]->misuseLog().empty());
    hosts[0]->utilCallbacks()->host_dispose_handle(h);
    hosts.clear();
    Host again; /* slots come back */
    EXPECT_EQ(again.counters().liveHandles, 0);
}

/* ---- fill ---------------------------------------------------------------------------------------- */

TEST(Fill, NoColourAndNoRectangleClearWholeWorldToTransparentBlack)
{
    Host host;
    World w(9, 5, Depth::Eight, 3);
    w.fill(PF_Pixel{255, 255, 255, 255});
    ASSERT_EQ(host.utilCallbacks()->fill(nullptr, nullptr, nullptr, &w.layer()), PF_Err_NONE);
    EXPECT_TRUE(samePixels(w, World(9, 5)));
    EXPECT_TRUE(w.paddingIntact());

    World d(4, 3, Depth::Sixteen, 2);
    d.fill(PF_Pixel16{1, 2, 3, 4});
    ASSERT_EQ(host.utilCallbacks()->fill16(nullptr, nullptr, nullptr, &d.layer()), PF_Err_NONE);
    EXPECT_TRUE(samePixels(d, World(4, 3, Depth::Sixteen)));
}

TEST(Fill, HonoursTheRectangleWithExclusiveRightAndBottomClippedToTheWorld)
{
    // A small world, and one large enough to be filled in bands on several threads.
    struct Case {
        A_long width, height;
        PF_Rect rect;
    };
    for (const Case& c : {Case{6, 6, PF_Rect{4, 2, 99, 4}}, Case{700, 520, PF_Rect{3, 1, 699, 517}}}) {
        HostOptions options;
        options.threads = 3;
        Host host(options);
        World w(c.width, c.height, Depth::Sixteen);
        const PF_Pixel red{255, 255, 0, 0};
        ASSERT_EQ(host.utilCallbacks()->fill(nullptr, &red, &c.rect, &w.layer()), PF_Err_NONE);
        for (A_long y = 0; y < c.height; ++y) {
            for (A_long x = 0; x < c.width; ++x) {
                const bool inside = x >= c.rect.left && x < c.rect.right && y >= c.rect.top && y < c.rect.bottom;
                ASSERT_EQ(w.pixel16(x, y).red, inside ? PF_MAX_CHAN16 : 0) << x << "," << y;
            }
        }
        EXPECT_TRUE(w.paddingIntact());
    }
}

TEST(Fill, ConvertsTheColourToTheWorldsDepth)
{
    Host host;
    World deep(2, 2, Depth::Sixteen);
    const PF_Pixel white{255, 255, 128, 0};
    ASSERT_EQ(host.utilCallbacks()->fill(nullptr, &white, nullptr, &deep.layer()), PF_Err_NONE);
    EXPECT_EQ(deep.pixel16(1, 1).alpha, PF_MAX_CHAN16);
    EXPECT_EQ(deep.pixel16(1, 1).green, to16(A_u_char{128}));

    World eight(2, 2);
    const PF_Pixel16 half{PF_MAX_CHAN16, PF_HALF_CHAN16, 0, PF_MAX_CHAN16};
    ASSERT_EQ(host.utilCallbacks()->fill16(nullptr, &half, nullptr, &eight.layer()), PF_Err_NONE);
    EXPECT_EQ(eight.pixel8(0, 1).red, 128);
    EXPECT_EQ(eight.pixel8(0, 1).blue, 255);
}

TEST(Fill, FaultSwitchMakesFillFailWithoutTouchingTheWorld)
{
    Host host;
    World w(3, 3);
    w.fill(PF_Pixel{1, 1, 1, 1});
    host.faults().failFill(PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.utilCallbacks()->fill(nullptr, nullptr, nullptr, &w.layer()), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.utilCallbacks()->fill16(nullptr, nullptr, nullptr, &w.layer()), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(w.pixel8(2, 2).red, 1);
    EXPECT_EQ(host.utilCallbacks()->fill(nullptr, nullptr, nullptr, nullptr), PF_Err_OUT_OF_MEMORY);
    host.faults().clear();
    EXPECT_EQ(host.utilCallbacks()->fill(nullptr, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
}

/* ---- ANSI helpers -------------------------------------------------------------------------------- */

TEST(Ansi, SprintfFormatsVariadicArgumentsLikeTheCLibrary)
{
    Host host;
    char text[256];
    const int n = host.utilCallbacks()->ansi.sprintf(text, "%s v%d.%d\r%.3f|%c", "Name", 1, 6, 2.5, 'x');
    EXPECT_STREQ(text, "Name v1.6\r2.500|x");
    EXPECT_EQ(n, static_cast<int>(std::strlen(text)));

    const auto* suite = static_cast<const PF_ANSICallbacksSuite1*>(acquire(host, kPFANSISuite, 1));
    ASSERT_NE(suite, nullptr);
    suite->sprintf(text, "%05.1f %ld", 3.14159, 12345678901L);
    EXPECT_STREQ(text, "003.1 12345678901");
    EXPECT_EQ(suite->strcpy(text, "copied"), text);
    EXPECT_STREQ(text, "copied");
    host.basicSuite()->ReleaseSuite(kPFANSISuite, 1);
}

TEST(Ansi, EveryMathEntryComputesItsOwnFunction)
{
    Host host;
    const PF_ANSICallbacks& a = host.utilCallbacks()->ansi;
    const double v = 0.3;
    EXPECT_DOUBLE_EQ(a.atan(v), std::atan(v));
    EXPECT_DOUBLE_EQ(a.atan2(v, 2.0), std::atan2(v, 2.0));
    EXPECT_DOUBLE_EQ(a.ceil(-1.5), -1.0);
    EXPECT_DOUBLE_EQ(a.cos(v), std::cos(v));
    EXPECT_DOUBLE_EQ(a.exp(v), std::exp(v));
    EXPECT_DOUBLE_EQ(a.fabs(-v), v);
    EXPECT_DOUBLE_EQ(a.floor(-1.5), -2.0);
    EXPECT_DOUBLE_EQ(a.fmod(7.5, 2.0), 1.5);
    EXPECT_DOUBLE_EQ(a.hypot(3.0, 4.0), 5.0);
    EXPECT_DOUBLE_EQ(a.log(v), std::log(v));
    EXPECT_DOUBLE_EQ(a.log10(1000.0), 3.0);
    EXPECT_DOUBLE_EQ(a.pow(2.0, 10.0), 1024.0);
    EXPECT_DOUBLE_EQ(a.sin(v), std::sin(v));
    EXPECT_DOUBLE_EQ(a.sqrt(2.25), 1.5);
    EXPECT_DOUBLE_EQ(a.tan(v), std::tan(v));
    EXPECT_DOUBLE_EQ(a.asin(v), std::asin(v));
    EXPECT_DOUBLE_EQ(a.acos(v), std::acos(v));
}

/* ---- handles ------------------------------------------------------------------------------------- */

TEST(Handles, DataLivesAtTheHandleAndResizingKeepsItsContents)
{
    Host host;
    PF_UtilCallbacks* u = host.utilCallbacks();
    PF_Handle h = u->host_new_handle(10);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(u->host_get_handle_size(h), 10u);
    auto* bytes = handleBytes(h);
    for (unsigned char i = 0; i < 10; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 3);
    }
    void* before = *h;
    PF_Handle same = h;
    ASSERT_EQ(u->host_resize_handle(1000, &h), PF_Err_NONE);
    EXPECT_EQ(h, same);
    EXPECT_NE(*h, before) << "resizing moves the data";
    EXPECT_EQ(u->host_get_handle_size(h), 1000u);
    for (unsigned char i = 0; i < 10; ++i) {
        EXPECT_EQ(handleBytes(h)[i], i * 3);
    }
    ASSERT_EQ(u->host_resize_handle(4, &h), PF_Err_NONE);
    EXPECT_EQ(handleBytes(h)[3], 9);
    EXPECT_EQ(u->host_lock_handle(h), *h);
    u->host_unlock_handle(h);
    EXPECT_EQ(host.counters().liveHandles, 1);
    u->host_dispose_handle(h);
    EXPECT_EQ(host.counters().liveHandles, 0);
    EXPECT_EQ(host.leakReport(), "");
}

TEST(Handles, TheHandleSuiteSharesTheSameHandles)
{
    Host host;
    SPErr err = 0;
    EXPECT_EQ(acquire(host, kPFHandleSuite, 1, &err), nullptr);
    EXPECT_EQ(err, kSPUnimplementedError);
    const auto* suite = static_cast<const PF_HandleSuite1*>(acquire(host, kPFHandleSuite, kPFHandleSuiteVersion1));
    ASSERT_NE(suite, nullptr);
    PF_Handle h = suite->host_new_handle(std::uint64_t{1} << 20);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(host.utilCallbacks()->host_get_handle_size(h), std::uint64_t{1} << 20);
    host.utilCallbacks()->host_dispose_handle(h);
    host.basicSuite()->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
    EXPECT_EQ(host.leakReport(), "");
}

TEST(Handles, UnknownOrDisposedHandlesAreRefusedAndLogged)
{
    Host host;
    PF_UtilCallbacks* u = host.utilCallbacks();
    PF_Handle h = u->host_new_handle(4);
    u->host_dispose_handle(h);
    EXPECT_EQ(u->host_get_handle_size(h), 0u);
    u->host_dispose_handle(h);
    EXPECT_EQ(u->host_resize_handle(8, &h), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(u->host_lock_handle(h), nullptr);
    EXPECT_EQ(host.misuseLog().size(), 4u);
    EXPECT_TRUE(contains(host.leakReport(), "refused call: host_dispose_handle"));
    u->host_dispose_handle(nullptr); /* disposing nothing is allowed */
    EXPECT_EQ(host.misuseLog().size(), 4u);
}

TEST(Handles, AllocationFaultsFailTheChosenCallOrEveryCall)
{
    Host host;
    PF_UtilCallbacks* u = host.utilCallbacks();
    host.faults().failHandleAllocation(2);
    PF_Handle first = u->host_new_handle(1);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(u->host_new_handle(1), nullptr);
    PF_Handle third = u->host_new_handle(1);
    EXPECT_NE(third, nullptr);
    host.faults().failEveryHandleAllocation();
    EXPECT_EQ(u->host_new_handle(1), nullptr);
    EXPECT_EQ(u->host_new_handle(1), nullptr);
    EXPECT_EQ(host.counters().handleAllocations, 5);
    EXPECT_NE(host.newHandle(3), nullptr) << "the host's own handles ignore the fault";
    EXPECT_EQ(host.counters().liveHandles, 3);
    EXPECT_TRUE(contains(host.leakReport(), "3 handle(s) not disposed"));
    EXPECT_THROW(host.checkNoLeaks(), HostError);
    u->host_dispose_handle(first);
    u->host_dispose_handle(third);
}

TEST(Handles, AbsurdSizesFailLikeAnExhaustedHeap)
{
    Host host;
    EXPECT_EQ(host.utilCallbacks()->host_new_handle(~std::uint64_t{0}), nullptr);
    PF_Handle h = host.newHandle(2);
    EXPECT_EQ(host.utilCallbacks()->host_resize_handle(~std::uint64_t{0}, &h), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.handleSize(h), 2u);
    host.disposeHandle(h);
    EXPECT_THROW(host.disposeHandle(h), HostError);
}

TEST(Handles, ManyThreadsAllocatingAtOnceKeepCountsRight)
{
    Host host;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&host] {
            PF_UtilCallbacks* u = host.utilCallbacks();
            for (int i = 0; i < 200; ++i) {
                PF_Handle h = u->host_new_handle(static_cast<A_u_longlong>(i));
                u->host_resize_handle(static_cast<A_u_longlong>(i + 5), &h);
                u->host_dispose_handle(h);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(host.counters().handleAllocations, 800);
    EXPECT_EQ(host.leakReport(), "");
}

/* ---- suites -------------------------------------------------------------------------------------- */

TEST(Suites, OfferedNamesAndVersionsAreAcquirable)
{
    Host host;
    const std::pair<const char*, int32_t> offered[] = {
        {kPFANSISuite, 1},      {kPFIterate8Suite, 1},  {kPFIterate8Suite, 2},
        {kPFIterate16Suite, 1}, {kPFIterate16Suite, 2}, {kPFHandleSuite, 2},
    };
    for (const auto& [name, version] : offered) {
        SPErr err = -1;
        const void* suite = acquire(host, name, version, &err);
        EXPECT_EQ(err, kSPNoError) << name << " " << version;
        ASSERT_NE(suite, nullptr);
        EXPECT_NE(*static_cast<void* const*>(suite), nullptr) << "first entry of " << name;
    }
    EXPECT_EQ(host.counters().suitesAcquired, 6);
    EXPECT_EQ(host.suiteUse(kPFIterate8Suite, 2).acquired, 1);
    for (const auto& [name, version] : offered) {
        EXPECT_EQ(host.basicSuite()->ReleaseSuite(name, version), kSPNoError);
    }
    EXPECT_EQ(host.counters().suitesReleased, 6);
    EXPECT_EQ(host.leakReport(), "");
}

TEST(Suites, UnknownNamesVersionsAndSpellingsAreUnimplemented)
{
    Host host;
    for (const auto& [name, version] : std::vector<std::pair<const char*, int32_t>>{
             {"PF Iterate16 Suite", 1}, {kPFIterate8Suite, 3}, {kPFANSISuite, 2}, {"PF Made Up Suite", 1}}) {
        SPErr err = 0;
        EXPECT_EQ(acquire(host, name, version, &err), nullptr) << name;
        EXPECT_EQ(err, kSPUnimplementedError) << name;
    }
    EXPECT_EQ(host.counters().suitesAcquired, 0);
}

TEST(Suites, WithholdingOneVersionOrAllVersions)
{
    Host host;
    host.faults().withholdSuite(kPFIterate8Suite, 2);
    SPErr err = 0;
    EXPECT_EQ(acquire(host, kPFIterate8Suite, 2, &err), nullptr);
    EXPECT_EQ(err, kSPUnimplementedError);
    EXPECT_NE(acquire(host, kPFIterate8Suite, 1), nullptr);
    host.faults().withholdSuite(kPFIterate16Suite);
    EXPECT_EQ(acquire(host, kPFIterate16Suite, 1), nullptr);
    EXPECT_EQ(acquire(host, kPFIterate16Suite, 2), nullptr);
    host.faults().clear();
    EXPECT_NE(acquire(host, kPFIterate16Suite, 2), nullptr);
}

TEST(Suites, LeakReportNamesUnreleasedAndOverReleasedSuites)
{
    Host host;
    acquire(host, kPFANSISuite, 1);
    acquire(host, kPFANSISuite, 1);
    host.basicSuite()->ReleaseSuite(kPFANSISuite, 1);
    EXPECT_TRUE(contains(host.leakReport(), "suite \"PF ANSI Suite\" version 1 acquired 2 time(s), released 1"));
    host.basicSuite()->ReleaseSuite(kPFANSISuite, 1);
    EXPECT_EQ(host.leakReport(), "");
    host.basicSuite()->ReleaseSuite(kPFIterate8Suite, 1);
    EXPECT_TRUE(contains(host.leakReport(), "acquired 0 time(s), released 1"));
    EXPECT_TRUE(contains(host.leakReport(), "refused call: ReleaseSuite"));
}

TEST(Suites, BasicSuiteComparesAndAllocatesBlocks)
{
    Host host;
    SPBasicSuite* basic = host.basicSuite();
    EXPECT_TRUE(basic->IsEqual("PF ANSI Suite", kPFANSISuite));
    EXPECT_FALSE(basic->IsEqual("PF ANSI Suite", "PF ANSI suite"));
    void* block = nullptr;
    ASSERT_EQ(basic->AllocateBlock(16, &block), kSPNoError);
    std::memset(block, 7, 16);
    void* grown = nullptr;
    ASSERT_EQ(basic->ReallocateBlock(block, 4096, &grown), kSPNoError);
    EXPECT_EQ(static_cast<unsigned char*>(grown)[15], 7);
    EXPECT_EQ(host.counters().liveBlocks, 1);
    EXPECT_TRUE(contains(host.leakReport(), "1 block(s) not freed"));
    EXPECT_EQ(basic->FreeBlock(grown), kSPNoError);
    EXPECT_EQ(basic->FreeBlock(grown), kSPBadParameterError);
    EXPECT_EQ(host.counters().liveBlocks, 0);
    EXPECT_EQ(basic->Undefined(), kSPUnimplementedError);
}

/* ---- worlds made for effects --------------------------------------------------------------------- */

TEST(EffectWorlds, NewWorldsAreCountedUntilDisposed)
{
    HostOptions o;
    o.worldPaddingBytes = 6;
    Host host(o);
    PF_EffectWorld w8{}, w16{};
    ASSERT_EQ(host.utilCallbacks()->new_world(nullptr, 5, 3, PF_NewWorldFlag_CLEAR_PIXELS, &w8), PF_Err_NONE);
    ASSERT_EQ(host.utilCallbacks()->new_world(nullptr, 5, 3, PF_NewWorldFlag_DEEP_PIXELS, &w16), PF_Err_NONE);
    EXPECT_EQ(w8.rowbytes, 5 * 4 + 6);
    EXPECT_EQ(w16.world_flags & PF_WorldFlag_DEEP, PF_WorldFlag_DEEP);
    EXPECT_EQ(host.counters().liveWorlds, 2);
    EXPECT_TRUE(contains(host.leakReport(), "2 world(s) not disposed"));
    EXPECT_EQ(host.utilCallbacks()->dispose_world(nullptr, &w8), PF_Err_NONE);
    EXPECT_EQ(host.utilCallbacks()->dispose_world(nullptr, &w16), PF_Err_NONE);
    EXPECT_EQ(host.utilCallbacks()->dispose_world(nullptr, &w16), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.counters().liveWorlds, 0);
    EXPECT_EQ(host.makeWorld(2, 2, Depth::Eight).paddingBytes(), 6);
}
