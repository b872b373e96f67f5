/* What the property lists state statically must be what the effect declares at run time: hosts compare the
   version and capability words with what global setup writes, and complain when they differ. */
#include "Bytes.h"
#include "ResourceFileReader.h"

#include "Crumbleforge.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using PropertyMap = std::map<std::string, Bytes>; /* key as written big-endian ("eGLO") -> data */

PropertyMap windowsProperties()
{
    const Bytes resource = readFile(CRUMBLEFORGE_TEST_WINDOWS_PIPL);
    size_t end = 0;
    PropertyMap map;
    for (const FoundProperty& p : walkProperties(resource, 10, readLE32(resource, 6), readLE32, &end))
        map[std::string(p.key.rbegin(), p.key.rend())] = p.data;
    return map;
}

PropertyMap macProperties()
{
    const Bytes list = parseResourceFile(readFile(CRUMBLEFORGE_TEST_MAC_RSRC)).resource;
    size_t end = 0;
    PropertyMap map;
    for (const FoundProperty& p : walkProperties(list, 8, readBE32(list, 4), readBE32, &end))
        map[p.key] = p.data;
    return map;
}

struct GlobalSetupResult {
    PF_Err err;
    PF_OutData out;
};

GlobalSetupResult runGlobalSetup()
{
    PF_InData in{};
    GlobalSetupResult result{};
    result.err = EffectMain(PF_Cmd_GLOBAL_SETUP, &in, &result.out, nullptr, nullptr, nullptr);
    return result;
}

TEST(PropertyListAgreesWithGlobalSetup, CapabilityAndVersionWordsAreTheOnesGlobalSetupWrites)
{
    const GlobalSetupResult setup = runGlobalSetup();
    ASSERT_EQ(setup.err, PF_Err_NONE);
    for (const char* platform : {"Windows", "macOS"}) {
        SCOPED_TRACE(platform);
        const PropertyMap list = platform == std::string("Windows") ? windowsProperties() : macProperties();
        const auto word = [&](const char* key) {
            const Bytes& data = list.at(key);
            return platform == std::string("Windows") ? readLE32(data, 0) : readBE32(data, 0);
        };
        EXPECT_EQ(word("eGLO"), uint32_t(setup.out.out_flags));
        EXPECT_EQ(word("eGL2"), uint32_t(setup.out.out_flags2));
        EXPECT_EQ(word("eVER"), setup.out.my_version);
    }
}

} // namespace
