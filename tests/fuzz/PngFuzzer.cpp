/* PngFuzzer.cpp — the command's PNG reader on any bytes: damaged, truncated, oversized or odd files must
   be refused with a UsageError (or decoded), never crash it or make it allocate for pixels the file cannot
   hold. What it decodes must be a sane image (8 or 16 bits, samples within the depth, one sample per
   channel and pixel) that our own encoder writes and the reader reads back to the same samples.

   The bytes reach readPng() through an in-memory file named by its /proc/self/fd path, so the reader runs
   as the command runs it, from a path. Most inputs get their chunk checksums recomputed first, so that a
   changed header or chunk reaches the code behind libpng's checksum test instead of stopping at it. */
#include "common/Errors.h"
#include "images/PngIO.h"
#include "images/RgbaImage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_png: %s\n", what.c_str());
    std::abort();
}

/* One in-memory file for the whole run, rewritten for every input. */
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("fuzz_png", MFD_CLOEXEC))
    {
        if (fd_ < 0) {
            fail("cannot create an in-memory file");
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }

    const std::string& holding(const void* data, std::size_t size)
    {
        if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) {
            fail("cannot write the in-memory file");
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

std::uint32_t bigEndian(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

/* Rewrites the checksum of every whole chunk after the signature to match the chunk's type and data. */
void fixChecksums(std::vector<std::uint8_t>& png)
{
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = bigEndian(&png[at]);
        if (length > png.size() - at - 12) {
            return;
        }
        const uLong crc = crc32(0L, &png[at + 4], static_cast<uInt>(length + 4));
        std::uint8_t* out = &png[at + 8 + length];
        out[0] = static_cast<std::uint8_t>(crc >> 24);
        out[1] = static_cast<std::uint8_t>(crc >> 16);
        out[2] = static_cast<std::uint8_t>(crc >> 8);
        out[3] = static_cast<std::uint8_t>(crc);
        at += 12 + length;
    }
}

void checkSane(const cfcli::RgbaImage& image)
{
    if (image.bits != 8 && image.bits != 16) {
        fail("decoded an image of " + std::to_string(image.bits) + " bits");
    }
    if (image.width <= 0 || image.height <= 0 || image.samples.size() != image.pixelCount() * 4u) {
        fail("decoded an image whose size and samples disagree");
    }
    for (const std::uint16_t sample : image.samples) {
        if (sample > image.maxValue()) {
            fail("decoded an 8-bit sample above 255");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static MemoryFile file;
    std::vector<std::uint8_t> bytes(data, data + size);
    if (size % 8 != 0) {
        fixChecksums(bytes);
    }
    cfcli::RgbaImage image;
    try {
        image = cfcli::readPng(file.holding(bytes.data(), bytes.size()));
    } catch (const cfcli::UsageError&) {
        return 0; // refused, as the command refuses it: one line and exit code 2
    }
    checkSane(image);

    const std::vector<unsigned char> encoded = cfcli::encodePng(image, "decoded image");
    const cfcli::RgbaImage again = cfcli::readPng(file.holding(encoded.data(), encoded.size()));
    if (again.width != image.width || again.height != image.height || again.bits != image.bits ||
        again.samples != image.samples) {
        fail("a decoded image does not survive being written and read again");
    }
    return 0;
}
