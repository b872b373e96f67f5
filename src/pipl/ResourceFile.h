/* ResourceFile.h — writes a classic Resource Manager resource file (the data-fork form a macOS bundle
   keeps in Contents/Resources) holding a single resource. */
#pragma once

#include <cstdint>
#include <vector>

namespace pipl {

/* Header (data and map offsets and lengths), 240 reserved bytes, the data area (each resource preceded by
   its 32-bit length), then the map: header copy, type list, reference list, empty name list. Big-endian. */
std::vector<uint8_t> resourceFile(uint32_t type, int16_t id, const std::vector<uint8_t>& data);

} // namespace pipl
