/* Values that the binary form cannot hold are refused when the list is written, never cut short. */
#include "PropertyList.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using pipl::Platform;

TEST(PropertyValueLimits, PascalStringOfMoreThan255CharactersIsRefused)
{
    const std::string longest(255, 'x');
    for (Platform platform : {Platform::Windows, Platform::Mac}) {
        EXPECT_EQ(pipl::encodePascalString(pipl::fourCC("name"), longest, platform).data.at(0), 255);
        EXPECT_THROW(pipl::encodePascalString(pipl::fourCC("name"), longest + "x", platform), std::invalid_argument);
    }
}

TEST(PropertyValueLimits, CStringWithAZeroByteInsideIsRefused)
{
    EXPECT_THROW(pipl::encodeCString(pipl::fourCC("8664"), std::string("Effect\0Main", 11), Platform::Windows),
                 std::invalid_argument);
}

} // namespace
