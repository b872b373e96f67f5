/* ResourceFileReader.h — reads a classic resource file's header, map and first resource back, for checks. */
#pragma once

#include "Bytes.h"

/* The parts of a resource file, located by reading its header and map. */
struct ResourceFile {
    uint32_t dataOffset, mapOffset, dataLength, mapLength;
    size_t typeList, nameList;
    uint16_t typeCountMinusOne;
    std::string type;
    uint16_t resourceCountMinusOne;
    size_t referenceList;
    int16_t id;
    uint16_t nameOffset;
    uint8_t attributes;
    uint32_t resourceDataOffset;
    Bytes resource;
};

inline ResourceFile parseResourceFile(const Bytes& file)
{
    ResourceFile r{};
    r.dataOffset = readBE32(file, 0);
    r.mapOffset = readBE32(file, 4);
    r.dataLength = readBE32(file, 8);
    r.mapLength = readBE32(file, 12);
    const size_t map = r.mapOffset;
    r.typeList = map + readBE16(file, map + 24);
    r.nameList = map + readBE16(file, map + 26);
    r.typeCountMinusOne = readBE16(file, r.typeList);
    r.type = textAt(file, r.typeList + 2, 4);
    r.resourceCountMinusOne = readBE16(file, r.typeList + 6);
    r.referenceList = r.typeList + readBE16(file, r.typeList + 8);
    r.id = int16_t(readBE16(file, r.referenceList));
    r.nameOffset = readBE16(file, r.referenceList + 2);
    r.attributes = slice(file, r.referenceList + 4, 1)[0];
    r.resourceDataOffset = readBE32(file, r.referenceList + 4) & 0xFFFFFF;
    const size_t at = r.dataOffset + r.resourceDataOffset;
    r.resource = slice(file, at + 4, readBE32(file, at));
    return r;
}
