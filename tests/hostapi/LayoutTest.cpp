/* LayoutTest.cpp — our host-interface declarations have the sizes, alignments and field offsets that real
   hosts use on Windows x64 and macOS x64 (tables generated from the measured layout files). */
#include "LayoutEntry.h"

#include <gtest/gtest.h>

namespace {

void expectTableMatches(const LayoutEntry* table, size_t count)
{
    ASSERT_GT(count, 40u);
    for (size_t i = 0; i < count; ++i) {
        const LayoutEntry& e = table[i];
        if (e.field[0] == '\0') {
            EXPECT_EQ(e.actual, e.expected) << "size of " << e.record;
            EXPECT_EQ(e.actualExtra, e.expectedExtra) << "alignment of " << e.record;
        } else {
            EXPECT_EQ(e.actual, e.expected) << "offset of " << e.record << "." << e.field;
            EXPECT_EQ(e.actualExtra, e.expectedExtra) << "size of " << e.record << "." << e.field;
        }
    }
}

TEST(HostInterfaceLayout, MatchesWindowsX64Host)
{
    size_t count = 0;
    const LayoutEntry* table = layoutTable_win64(&count);
    expectTableMatches(table, count);
}

TEST(HostInterfaceLayout, MatchesMacX64Host)
{
    size_t count = 0;
    const LayoutEntry* table = layoutTable_lp64(&count);
    expectTableMatches(table, count);
}

} // namespace
