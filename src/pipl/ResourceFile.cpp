/* ResourceFile.cpp — the classic resource-file layout, for one resource without a name or attributes. */
#include "ResourceFile.h"

#include <stdexcept>

namespace pipl {
namespace {

constexpr uint32_t kDataOffset = 256;       /* header (16) plus the reserved system and application areas */
constexpr uint16_t kTypeListOffset = 28;    /* header copy 16, next map 4, file ref 2, attributes 2, two offsets 4 */
constexpr uint16_t kNoName = 0xFFFF;
constexpr size_t kTypeEntrySize = 8;        /* type, count - 1, offset of its reference list */
constexpr size_t kReferenceEntrySize = 12;  /* id, name offset, attributes + 24-bit data offset, handle */

void put16(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void put32(std::vector<uint8_t>& out, uint32_t value)
{
    put16(out, uint16_t(value >> 16));
    put16(out, uint16_t(value));
}

} // namespace

std::vector<uint8_t> resourceFile(uint32_t type, int16_t id, const std::vector<uint8_t>& data)
{
    if (data.size() > 0xFFFFFF)
        throw std::invalid_argument("resource data too large for a resource file");

    const uint32_t dataLength = uint32_t(4 + data.size());
    const uint32_t mapOffset = kDataOffset + dataLength;
    const uint16_t typeListSize = uint16_t(2 + kTypeEntrySize);
    const uint16_t nameListOffset = uint16_t(kTypeListOffset + typeListSize + kReferenceEntrySize);
    const uint32_t mapLength = nameListOffset; /* the name list is empty */

    std::vector<uint8_t> header;
    put32(header, kDataOffset);
    put32(header, mapOffset);
    put32(header, dataLength);
    put32(header, mapLength);

    std::vector<uint8_t> file = header;
    file.resize(kDataOffset, 0);

    put32(file, uint32_t(data.size()));
    file.insert(file.end(), data.begin(), data.end());

    file.insert(file.end(), header.begin(), header.end());
    put32(file, 0); /* handle of the next map, filled in by the system when loaded */
    put16(file, 0); /* file reference number, likewise */
    put16(file, 0); /* file attributes */
    put16(file, kTypeListOffset);
    put16(file, nameListOffset);

    put16(file, 0); /* number of types - 1 */
    put32(file, type);
    put16(file, 0); /* number of resources of this type - 1 */
    put16(file, typeListSize); /* reference list, counted from the start of the type list */

    put16(file, uint16_t(id));
    put16(file, kNoName);
    put32(file, 0); /* attributes (high byte) and offset of the data in the data area (low 24 bits) */
    put32(file, 0); /* handle, filled in by the system when loaded */
    return file;
}

} // namespace pipl
