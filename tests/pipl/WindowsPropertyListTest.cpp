/* The property list as the Windows module carries it: 306 little-endian bytes (leading word 1, version 0,
   count 12), twelve properties at fixed offsets, string lengths counting their zero fill while Pascal length
   bytes count only the characters, the 16-bit info flags followed by two uncounted zero bytes. The expected
   bytes are written out here by hand. */
#include "Bytes.h"
#include "ExpectedValues.h"

#include <gtest/gtest.h>

namespace {

struct ExpectedProperty {
    const char* keyInFile; /* four-character codes are little-endian words, so they read reversed */
    size_t offset;
    uint32_t length;
    Bytes data; /* with the zero fill */
};

const std::vector<ExpectedProperty>& expectedProperties()
{
    static const std::vector<ExpectedProperty> properties = {
        {"dnik", 10, 4, text("TKFe")},
        {"eman", 30, 16, Bytes{13} + text("Crumble_Forge") + zeros(2)},
        {"gtac", 62, 12, Bytes{10} + text("BRISKANDUL") + zeros(1)},
        {"4668", 90, 12, text("EffectMain") + zeros(2)},
        {"RVPe", 118, 4, le16(2) + le16(0)},
        {"RVSe", 138, 4, le16(13) + le16(27)},
        {"REVe", 158, 4, le32(0x000B1E00)},
        {"FNIe", 178, 2, le16(0) + zeros(2)},
        {"OLGe", 198, 4, le32(kExpectedOutFlags)},
        {"2LGe", 218, 4, le32(kExpectedOutFlags2)},
        {"ANMe", 238, 32, Bytes{29} + text("ADBE Crumbleforge - Vexthorne") + zeros(2)},
        {"LFea", 286, 4, le32(0)},
    };
    return properties;
}

Bytes expectedResource()
{
    Bytes bytes = le16(1) + le32(0) + le32(12);
    for (const ExpectedProperty& p : expectedProperties())
        bytes = bytes + text("MIB8") + text(p.keyInFile) + le32(0) + le32(p.length) + p.data;
    return bytes;
}

class WindowsPropertyList : public ::testing::Test {
protected:
    const Bytes resource = readFile(CRUMBLEFORGE_TEST_WINDOWS_PIPL);
};

TEST_F(WindowsPropertyList, IsExactlyTheExpectedBytes)
{
    const Bytes expected = expectedResource();
    ASSERT_EQ(expected.size(), 306u) << "the hand-written table itself is off";
    EXPECT_EQ(resource.size(), 306u);
    const size_t at = firstDifference(resource, expected);
    EXPECT_EQ(at, std::string::npos) << "first difference at byte " << at;
}

TEST_F(WindowsPropertyList, HasTwelvePropertiesAtTheirOffsetsEndingTheResource)
{
    size_t end = 0;
    const std::vector<FoundProperty> found = walkProperties(resource, 10, 12, readLE32, &end);
    ASSERT_EQ(found.size(), expectedProperties().size());
    for (size_t i = 0; i < found.size(); ++i) {
        const ExpectedProperty& want = expectedProperties()[i];
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
