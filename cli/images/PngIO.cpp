/* PngIO.cpp — libpng's classic interface with its own error handling: libpng reports errors by
   longjmp, so every call into it happens inside a function whose only locals are plain data, and the
   C++ objects it fills are owned by the caller. */
#include "images/PngIO.h"

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>

#include "images/Conversions.h"
#include "common/Errors.h"
#include "common/InputLimits.h"
#include "common/Text.h"

namespace fs = std::filesystem;

namespace cfcli {

namespace {

/* 16-bit samples are kept in host byte order; PNG stores them big-endian. */
constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

struct ErrorState {
    char message[256] = {};
};

extern "C" void onPngError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<ErrorState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message ? message : "unknown error");
    png_longjmp(png, 1);
}

extern "C" void onPngWarning(png_structp, png_const_charp) {}

/* Reading straight from the file, so that a file that is no PNG, or claims more than it can hold, is refused
   after its first bytes whatever its length; a short file is reported as truncated. */
extern "C" void readFromFile(png_structp png, png_bytep out, png_size_t length)
{
    if (std::fread(out, 1, length, static_cast<FILE*>(png_get_io_ptr(png))) != length) {
        png_error(png, "the file is truncated");
    }
}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bits = 8;
    int fileBitsPerPixel = 1; /* as stored, before the transforms to RGBA */
};

/* Deflate packs at most 1032 bytes into one (plus a few bytes of stream overhead). A header that promises
   more rows than the whole file could unpack to is damaged, and is refused before memory for its pixels
   is allocated: a few bytes must not make the command ask for gigabytes. */
bool fileCanHold(std::size_t fileSize, const Header& header)
{
    constexpr std::uint64_t kMaxDeflateRatio = 1032;
    const std::uint64_t rowBits =
        static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.fileBitsPerPixel);
    const std::uint64_t packed = static_cast<std::uint64_t>(header.height) * (1 + (rowBits + 7) / 8);
    return packed <= kMaxDeflateRatio * (static_cast<std::uint64_t>(fileSize) + 64);
}

/* Reads the header and sets up the transforms to RGBA; false on error (message in state). */
bool readHeader(png_structp png, png_infop info, Header* header)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    const int colorType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    header->fileBitsPerPixel = depth * png_get_channels(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_filler(png, depth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
    }
    if (depth == 16 && kLittleEndian) {
        png_set_swap(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->bits = png_get_bit_depth(png, info);
    return true;
}

bool readRows(png_structp png, png_infop info, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ReadStructs() = default;
    ReadStructs(const ReadStructs&) = delete;
    ReadStructs& operator=(const ReadStructs&) = delete;
    ~ReadStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct WriteBuffer {
    std::vector<unsigned char>* bytes;
    bool failed;
};

extern "C" void writeToBuffer(png_structp png, png_bytep data, png_size_t length)
{
    auto* buffer = static_cast<WriteBuffer*>(png_get_io_ptr(png));
    try {
        buffer->bytes->insert(buffer->bytes->end(), data, data + length);
    } catch (...) {
        buffer->failed = true;
    }
    if (buffer->failed) {
        png_error(png, "out of memory");
    }
}

extern "C" void flushBuffer(png_structp) {}

void setChunks(png_structp png, png_infop info, const PngColourChunks* chunks);

bool writeImage(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height, int bits,
                png_bytepp rows, const PngColourChunks* chunks)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, width, height, bits, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    setChunks(png, info, chunks);
    png_write_info(png, info);
    if (bits == 16 && kLittleEndian) {
        png_set_swap(png);
    }
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

void readChunks(png_structp png, png_infop info, PngColourChunks* chunks)
{
    png_fixed_point gamma = 0;
    if (png_get_gAMA_fixed(png, info, &gamma) != 0) {
        chunks->gamma = gamma;
    }
    std::array<png_fixed_point, 8> c{};
    if (png_get_cHRM_fixed(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0) {
        chunks->chrm = std::array<std::int32_t, 8>{c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]};
    }
    int intent = 0;
    if (png_get_sRGB(png, info, &intent) != 0) {
        chunks->srgbIntent = intent;
    }
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0 && profile != nullptr) {
        chunks->iccName = name != nullptr ? name : "ICC profile";
        chunks->iccProfile.assign(profile, profile + length);
    }
}

void setChunks(png_structp png, png_infop info, const PngColourChunks* chunks)
{
    if (chunks == nullptr) {
        return;
    }
    if (chunks->srgbIntent) {
        png_set_sRGB(png, info, *chunks->srgbIntent);
    }
    if (!chunks->iccProfile.empty()) {
        png_set_iCCP(png, info, chunks->iccName.c_str(), PNG_COMPRESSION_TYPE_BASE, chunks->iccProfile.data(),
                     static_cast<png_uint_32>(chunks->iccProfile.size()));
    }
    if (chunks->gamma) {
        png_set_gAMA_fixed(png, info, *chunks->gamma);
    }
    if (chunks->chrm) {
        const auto& c = *chunks->chrm;
        png_set_cHRM_fixed(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
}

/* One row of a world as PNG RGBA samples (16-bit ones big-endian). */
void worldRow(const cfhost::World& world, int y, unsigned char* out)
{
    const auto* row = reinterpret_cast<const unsigned char*>(world.layer().data) +
                      static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes());
    const int w = world.width();
    if (!world.deep()) {
        for (int x = 0; x < w; ++x, row += 4, out += 4) {
            out[0] = row[1];
            out[1] = row[2];
            out[2] = row[3];
            out[3] = row[0];
        }
        return;
    }
    const auto* p = reinterpret_cast<const PF_Pixel16*>(row);
    for (int x = 0; x < w; ++x, out += 8) {
        const std::uint16_t v[4] = {host16ToFile(p[x].red), host16ToFile(p[x].green), host16ToFile(p[x].blue),
                                    host16ToFile(p[x].alpha)};
        for (int c = 0; c < 4; ++c) {
            out[2 * c] = static_cast<unsigned char>(v[c] >> 8);
            out[2 * c + 1] = static_cast<unsigned char>(v[c] & 0xFF);
        }
    }
}

bool writeWorld(png_structp png, png_infop info, const cfhost::World* world, const PngColourChunks* chunks,
                unsigned char* scratch)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(world->width()), static_cast<png_uint_32>(world->height()),
                 world->deep() ? 16 : 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    setChunks(png, info, chunks);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    for (int y = 0; y < world->height(); ++y) {
        worldRow(*world, y, scratch);
        png_write_row(png, scratch);
    }
    png_write_end(png, info);
    return true;
}

struct FileCloser {
    void operator()(FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File openForReading(const fs::path& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        throw UsageError("cannot read " + quoteName(path.string()) + ": no such file");
    }
    if (fs::is_directory(path, ec)) {
        throw UsageError("cannot read " + quoteName(path.string()) + ": it is a folder");
    }
    File file(std::fopen(path.c_str(), "rbe"));
    if (!file) {
        throw UsageError("cannot read " + quoteName(path.string()) + ": " + systemMessage(errno));
    }
    return file;
}

/* A PNG written into memory by `write` (writeImage or writeWorld on the given structures). */
template <typename Write>
std::vector<unsigned char> encodeWith(const std::string& name, Write write)
{
    std::vector<unsigned char> bytes;
    ErrorState state;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onPngError, onPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, &info);
        throw std::bad_alloc();
    }
    WriteBuffer buffer{&bytes, false};
    png_set_write_fn(png, &buffer, writeToBuffer, flushBuffer);
    const bool ok = write(png, info);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        throw CliError("cannot encode " + quoteName(name) + " as PNG (" + state.message + ")", kExitBadInput);
    }
    return bytes;
}

} // namespace

bool hasPngExtension(const fs::path& path)
{
    return lowered(path.extension().string()) == ".png";
}

RgbaImage readPng(const fs::path& path, PngColourChunks* chunks)
{
    const File file = openForReading(path);
    const std::string name = quoteName(path.string());
    unsigned char signature[8];
    const std::size_t got = std::fread(signature, 1, sizeof signature, file.get());
    if (got < sizeof signature && std::ferror(file.get())) {
        throw UsageError("cannot read " + name + ": " + systemMessage(errno));
    }
    if (got < sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
        throw UsageError("cannot read " + name + ": not a PNG file");
    }
    struct stat st {};
    /* a pipe or device has no size to check the header against */
    const bool sized = ::fstat(fileno(file.get()), &st) == 0 && S_ISREG(st.st_mode);
    ErrorState state;
    ReadStructs structs;
    structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onPngError, onPngWarning);
    structs.info = structs.png ? png_create_info_struct(structs.png) : nullptr;
    if (structs.png == nullptr || structs.info == nullptr) {
        throw std::bad_alloc();
    }
    png_structp png = structs.png;
    png_infop info = structs.info;
    png_set_read_fn(png, file.get(), readFromFile);
    png_set_sig_bytes(png, sizeof signature);
    /* PNGs wider or taller than this are refused before any pixel memory is allocated. */
    png_set_user_limits(png, 1u << 16, 1u << 16);

    Header header;
    RgbaImage image;
    std::vector<png_bytep> rows;
    bool ok = readHeader(png, info, &header);
    if (ok && chunks != nullptr) {
        readChunks(png, info, chunks);
    }
    if (ok && sized && !fileCanHold(static_cast<std::uint64_t>(st.st_size), header)) {
        throw UsageError("cannot read " + name + ": damaged or truncated PNG (its header promises " +
                         std::to_string(header.width) + "x" + std::to_string(header.height) + " pixels, more than " +
                         std::to_string(st.st_size) + " bytes can hold)");
    }
    if (ok && !limits::frameSizeAllowed(header.width, header.height)) {
        throw UsageError("cannot read " + name + ": its size " + std::to_string(header.width) + "x" +
                         std::to_string(header.height) + " is more than this command reads (" +
                         std::to_string(limits::kMaxPixels) + " pixels)");
    }
    if (ok) {
        image = RgbaImage(static_cast<int>(header.width), static_cast<int>(header.height), header.bits);
        std::vector<unsigned char> eight;
        png_bytep base = nullptr;
        std::size_t stride = 0;
        if (header.bits == 16) {
            base = reinterpret_cast<png_bytep>(image.samples.data());
            stride = static_cast<std::size_t>(header.width) * 8u;
        } else {
            eight.resize(image.samples.size());
            base = eight.data();
            stride = static_cast<std::size_t>(header.width) * 4u;
        }
        rows.resize(header.height);
        for (png_uint_32 y = 0; y < header.height; ++y) {
            rows[y] = base + y * stride;
        }
        ok = readRows(png, info, rows.data());
        if (ok && header.bits == 8) {
            std::copy(eight.begin(), eight.end(), image.samples.begin());
        }
    }
    if (!ok) {
        throw UsageError("cannot read " + name + ": damaged or truncated PNG (" + state.message + ")");
    }
    return image;
}

std::vector<unsigned char> encodePng(const RgbaImage& image, const std::string& name, const PngColourChunks* chunks)
{
    std::vector<unsigned char> eight;
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    const std::size_t width = static_cast<std::size_t>(image.width);
    if (image.bits == 16) {
        auto* base = const_cast<png_bytep>(reinterpret_cast<const unsigned char*>(image.samples.data()));
        for (std::size_t y = 0; y < rows.size(); ++y) {
            rows[y] = base + y * width * 8u;
        }
    } else {
        eight.resize(image.samples.size());
        std::transform(image.samples.begin(), image.samples.end(), eight.begin(),
                       [](std::uint16_t v) { return static_cast<unsigned char>(v); });
        for (std::size_t y = 0; y < rows.size(); ++y) {
            rows[y] = eight.data() + y * width * 4u;
        }
    }
    return encodeWith(name, [&](png_structp png, png_infop info) {
        return writeImage(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                          image.bits, rows.data(), chunks);
    });
}

std::vector<unsigned char> encodePng(const cfhost::World& world, const std::string& name, const PngColourChunks* chunks)
{
    std::vector<unsigned char> scratch(static_cast<std::size_t>(world.width()) * (world.deep() ? 8u : 4u) + 8u);
    return encodeWith(name, [&](png_structp png, png_infop info) {
        return writeWorld(png, info, &world, chunks, scratch.data());
    });
}

bool isAnimatedPng(const fs::path& path)
{
    FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) {
        return false;
    }
    unsigned char head[8];
    bool animated = false;
    if (std::fread(head, 1, 8, file) == 8 && png_sig_cmp(head, 0, 8) == 0) {
        unsigned char chunk[8];
        while (std::fread(chunk, 1, 8, file) == 8) {
            const std::uint32_t length = (std::uint32_t{chunk[0]} << 24) | (std::uint32_t{chunk[1]} << 16) |
                                         (std::uint32_t{chunk[2]} << 8) | chunk[3];
            if (std::memcmp(chunk + 4, "acTL", 4) == 0) {
                animated = true;
                break;
            }
            if (std::memcmp(chunk + 4, "IDAT", 4) == 0 || std::fseek(file, static_cast<long>(length) + 4, SEEK_CUR) != 0) {
                break;
            }
        }
    }
    std::fclose(file);
    return animated;
}

} // namespace cfcli
