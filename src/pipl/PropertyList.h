/* PropertyList.h — the plug-in property list as typed values, and how each value is written into the
   binary form that a host reads from the Windows resource or the macOS resource file. */
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace pipl {

/* The two binary forms. Windows: little-endian, a leading 16-bit word 1, string lengths count the zero
   fill. macOS: big-endian, no leading word, string lengths stop at the string's end. */
enum class Platform { Windows, Mac };

/* A four-character code as the host writes it in C: 'eFKT' == 0x65464B54, first character highest. */
constexpr uint32_t fourCC(const char (&code)[5])
{
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
           (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

/* Value kinds of the properties an effect carries. */
struct FourCharCode { uint32_t code; };
struct PascalString { std::string text; };
struct CString { std::string text; };
struct VersionPair { uint16_t major; uint16_t minor; };
struct Word32 { uint32_t value; };
struct Word16 { uint16_t value; };
/* The name of the main entry; becomes one code property per processor the platform runs. */
struct EntryPoint { std::string symbol; };

using Value = std::variant<FourCharCode, PascalString, CString, VersionPair, Word32, Word16, EntryPoint>;

struct PropertySource {
    uint32_t key; /* unused for EntryPoint, whose keys depend on the platform */
    Value value;
};

/* One property ready to write: its length field and its data with the zero fill to a multiple of 4. */
struct EncodedProperty {
    uint32_t key;
    uint32_t length;
    std::vector<uint8_t> data;
};

/* One function per value encoding. Each throws std::invalid_argument for a value the form cannot hold. */
EncodedProperty encodeFourCharCode(uint32_t key, uint32_t code, Platform platform);
EncodedProperty encodePascalString(uint32_t key, const std::string& text, Platform platform);
EncodedProperty encodeCString(uint32_t key, const std::string& text, Platform platform);
EncodedProperty encodeVersionPair(uint32_t key, uint16_t major, uint16_t minor, Platform platform);
EncodedProperty encodeWord32(uint32_t key, uint32_t value, Platform platform);
EncodedProperty encodeWord16(uint32_t key, uint16_t value, Platform platform);
/* Windows x86-64: one C-string property `8664`. macOS: Pascal-string properties `mi64` (x86-64) and
   `ma64` (arm64), since hosts on Apple silicon load only native code. */
std::vector<EncodedProperty> encodeEntryPoint(const std::string& symbol, Platform platform);

/* The whole resource body: header words, count, and each property (vendor '8BIM', key, id 0, length, data). */
std::vector<uint8_t> encodePropertyList(const std::vector<PropertySource>& properties, Platform platform);

/* The effect's own list, from the identity the entry points report as well. */
std::vector<PropertySource> crumbleforgeProperties();

/* The resource type and id under which hosts look for the list. */
constexpr uint32_t kResourceType = fourCC("PiPL");
constexpr int16_t kResourceId = 16000;

} // namespace pipl
