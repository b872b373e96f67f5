/* The macOS bundle's Contents/Resources/Crumbleforge.rsrc: a classic resource file holding one big-endian
   PiPL resource, id 16000, with the Windows list's properties and, in place of its code property, one
   Pascal-string code property per processor (x86-64 `mi64`, arm64 `ma64`). String lengths stop at the
   string's end; the zero fill that follows is not counted. */
#include "Bytes.h"
#include "ResourceFileReader.h"
#include "ExpectedValues.h"

#include <gtest/gtest.h>

namespace {

struct ExpectedProperty {
    const char* key;
    uint32_t length;
    Bytes data; /* with the zero fill */
};

const std::vector<ExpectedProperty>& expectedProperties()
{
    static const std::vector<ExpectedProperty> properties = {
        {"kind", 4, text("eFKT")},
        {"name", 14, Bytes{13} + text("Crumble_Forge") + zeros(2)},
        {"catg", 11, Bytes{10} + text("BRISKANDUL") + zeros(1)},
        {"mi64", 11, Bytes{10} + text("EffectMain") + zeros(1)},
        {"ma64", 11, Bytes{10} + text("EffectMain") + zeros(1)},
        {"ePVR", 4, be16(2) + be16(0)},
        {"eSVR", 4, be16(13) + be16(27)},
        {"eVER", 4, be32(0x000B1E00)},
        {"eINF", 2, be16(0) + zeros(2)},
        {"eGLO", 4, be32(kExpectedOutFlags)},
        {"eGL2", 4, be32(kExpectedOutFlags2)},
        {"eMNA", 30, Bytes{29} + text("ADBE Crumbleforge - Vexthorne") + zeros(2)},
        {"aeFL", 4, be32(0)},
    };
    return properties;
}

class MacResourceFile : public ::testing::Test {
protected:
    const Bytes file = readFile(CRUMBLEFORGE_TEST_MAC_RSRC);
};

TEST_F(MacResourceFile, HeaderPlacesDataAndMapBackToBackFillingTheFile)
{
    const ResourceFile r = parseResourceFile(file);
    EXPECT_EQ(r.dataOffset, 256u);
    EXPECT_EQ(r.mapOffset, r.dataOffset + r.dataLength);
    EXPECT_EQ(file.size(), size_t(r.mapOffset) + r.mapLength);
    EXPECT_EQ(slice(file, 16, 240), zeros(240)) << "reserved system and application areas";
}

TEST_F(MacResourceFile, MapRepeatsTheHeaderAndListsOnePiPLResource16000)
{
    const ResourceFile r = parseResourceFile(file);
    EXPECT_EQ(slice(file, r.mapOffset, 16), slice(file, 0, 16));
    EXPECT_EQ(r.typeList, r.mapOffset + 28u);
    EXPECT_EQ(r.typeCountMinusOne, 0) << "one type";
    EXPECT_EQ(r.type, "PiPL");
    EXPECT_EQ(r.resourceCountMinusOne, 0) << "one resource of that type";
    EXPECT_EQ(r.id, 16000);
    EXPECT_EQ(r.nameOffset, 0xFFFF) << "no name";
    EXPECT_EQ(r.attributes, 0);
    EXPECT_EQ(r.resourceDataOffset, 0u);
    EXPECT_EQ(r.nameList, r.referenceList + 12) << "name list right after the one reference";
    EXPECT_EQ(r.nameList, size_t(r.mapOffset) + r.mapLength) << "and empty, closing the map";
}

TEST_F(MacResourceFile, ResourceIsTheBigEndianListWithACodePropertyPerProcessor)
{
    const Bytes list = parseResourceFile(file).resource;
    EXPECT_EQ(readBE32(list, 0), 0u) << "list version";
    ASSERT_EQ(readBE32(list, 4), expectedProperties().size());

    size_t end = 0;
    const std::vector<FoundProperty> found = walkProperties(list, 8, readBE32(list, 4), readBE32, &end);
    for (size_t i = 0; i < found.size(); ++i) {
        const ExpectedProperty& want = expectedProperties()[i];
        SCOPED_TRACE("property " + std::to_string(i + 1) + " " + want.key);
        EXPECT_EQ(found[i].vendor, "8BIM");
        EXPECT_EQ(found[i].key, want.key);
        EXPECT_EQ(found[i].id, 0u);
        EXPECT_EQ(found[i].length, want.length);
        EXPECT_EQ(found[i].data, want.data);
    }
    EXPECT_EQ(end, list.size()) << "bytes follow the last property";
}

} // namespace
