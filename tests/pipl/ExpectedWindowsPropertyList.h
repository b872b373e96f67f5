/* ExpectedWindowsPropertyList.h — the property list as the Windows module carries it, written out by hand:
   306 little-endian bytes (leading word 1, version 0, count 12), twelve properties at fixed offsets, string
   lengths counting their zero fill while Pascal length bytes count only the characters, the 16-bit info flags
   followed by two uncounted zero bytes. Shared by the check of the generated file and the Windows program
   that reads the resource back out of the built module. */
#pragma once

#include "Bytes.h"
#include "ExpectedValues.h"

#include <vector>

struct ExpectedProperty {
    const char* keyInFile; /* four-character codes are little-endian words, so they read reversed */
    size_t offset;
    uint32_t length;
    Bytes data; /* with the zero fill */
};

inline const std::vector<ExpectedProperty>& expectedWindowsProperties()
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

inline Bytes expectedWindowsResource()
{
    Bytes bytes = le16(1) + le32(0) + le32(12);
    for (const ExpectedProperty& p : expectedWindowsProperties())
        bytes = bytes + text("MIB8") + text(p.keyInFile) + le32(0) + le32(p.length) + p.data;
    return bytes;
}
