/* Bytes.h — small helpers for writing expected resource bytes by hand and reading generated files back. */
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes zeros(size_t n) { return Bytes(n, 0); }
inline Bytes le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
inline Bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
inline Bytes be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes slice(const Bytes& bytes, size_t offset, size_t count)
{
    if (offset > bytes.size() || count > bytes.size() - offset)
        throw std::out_of_range("read past the end of the data");
    return Bytes(bytes.begin() + std::ptrdiff_t(offset), bytes.begin() + std::ptrdiff_t(offset + count));
}

/* Throws unless `count` bytes follow `at`. The readers index the data directly: GCC's optimiser, seeing them
   through a temporary copy, warns about null pointers that cannot occur. */
inline void requireBytes(const Bytes& bytes, size_t at, size_t count)
{
    if (at > bytes.size() || count > bytes.size() - at)
        throw std::out_of_range("read past the end of the data");
}

inline uint32_t readLE32(const Bytes& b, size_t at)
{
    requireBytes(b, at, 4);
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

inline uint16_t readBE16(const Bytes& b, size_t at)
{
    requireBytes(b, at, 2);
    return uint16_t(b[at] << 8 | b[at + 1]);
}

inline uint32_t readBE32(const Bytes& b, size_t at)
{
    return uint32_t(readBE16(b, at)) << 16 | readBE16(b, at + 2);
}

inline std::string textAt(const Bytes& b, size_t at, size_t count)
{
    const Bytes s = slice(b, at, count);
    return std::string(s.begin(), s.end());
}

/* A property as found in a file: where it starts, vendor and key as the bytes read, length, data with fill. */
struct FoundProperty {
    size_t offset;
    std::string vendor;
    std::string key;
    uint32_t id;
    uint32_t length;
    Bytes data;
};

/* Walks `count` properties from `at`: each takes 16 bytes plus its length rounded up to a multiple of 4.
   `next` receives the offset after the last one. */
template <typename Read32>
std::vector<FoundProperty> walkProperties(const Bytes& b, size_t at, uint32_t count, Read32 read32, size_t* next)
{
    std::vector<FoundProperty> found;
    for (uint32_t i = 0; i < count; ++i) {
        FoundProperty p;
        p.offset = at;
        p.vendor = textAt(b, at, 4);
        p.key = textAt(b, at + 4, 4);
        p.id = read32(b, at + 8);
        p.length = read32(b, at + 12);
        const size_t filled = (size_t(p.length) + 3) / 4 * 4;
        p.data = slice(b, at + 16, filled);
        found.push_back(p);
        at += 16 + filled;
    }
    *next = at;
    return found;
}

/* Where two byte strings first differ, for readable failures; npos when equal. */
inline size_t firstDifference(const Bytes& a, const Bytes& b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i])
            return i;
    return a.size() == b.size() ? std::string::npos : std::min(a.size(), b.size());
}
