/* The property list the build writes for the Windows module is exactly the hand-written expectation:
   the bytes as a whole, and the twelve properties walked one by one. */
#include "ExpectedWindowsPropertyList.h"

#include <gtest/gtest.h>

namespace {

class WindowsPropertyList : public ::testing::Test {
protected:
    const Bytes resource = readFile(CRUMBLEFORGE_TEST_WINDOWS_PIPL);
};

TEST_F(WindowsPropertyList, IsExactlyTheExpectedBytes)
{
    const Bytes expected = expectedWindowsResource();
    ASSERT_EQ(expected.size(), 306u) << "the hand-written table itself is off";
    EXPECT_EQ(resource.size(), 306u);
    const size_t at = firstDifference(resource, expected);
    EXPECT_EQ(at, std::string::npos) << "first difference at byte " << at;
}

TEST_F(WindowsPropertyList, HasTwelvePropertiesAtTheirOffsetsEndingTheResource)
{
    size_t end = 0;
    const std::vector<FoundProperty> found = walkProperties(resource, 10, 12, readLE32, &end);
    ASSERT_EQ(found.size(), expectedWindowsProperties().size());
    for (size_t i = 0; i < found.size(); ++i) {
        const ExpectedProperty& want = expectedWindowsProperties()[i];
        SCOPED_TRACE("property " + std::to_string(i + 1) + " " + want.keyInFile);
        EXPECT_EQ(found[i].offset, want.offset);
        EXPECT_EQ(found[i].vendor, "MIB8");
        EXPECT_EQ(found[i].key, want.keyInFile);
        EXPECT_EQ(found[i].id, 0u);
        EXPECT_EQ(found[i].length, want.length);
        EXPECT_EQ(found[i].data, want.data);
    }
    EXPECT_EQ(end, resource.size()) << "bytes follow the twelfth property";
}

} // namespace
