/* TestPng.cpp — libpng without transforms. */
#include "TestPng.h"

#include <png.h>

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>

namespace fs = std::filesystem;

namespace cftest {

namespace {

std::vector<std::uint8_t> packRows(const TestPng& png)
{
    const int bytes = png.bitDepth == 16 ? 2 : 1;
    std::vector<std::uint8_t> data;
    for (const std::uint16_t v : png.samples) {
        if (bytes == 2) {
            data.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        data.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return data;
}

bool writeRows(png_structp png, png_infop info, const TestPng& img, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(img.width), static_cast<png_uint_32>(img.height), img.bitDepth,
                 img.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (img.colorType == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> entries;
        for (std::size_t i = 0; i + 2 < img.palette.size(); i += 3) {
            entries.push_back(png_color{img.palette[i], img.palette[i + 1], img.palette[i + 2]});
        }
        png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
        if (!img.paletteAlpha.empty()) {
            png_set_tRNS(png, info, img.paletteAlpha.data(), static_cast<int>(img.paletteAlpha.size()), nullptr);
        }
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

bool readRows(png_structp png, png_infop info, TestPng* img, std::vector<std::uint8_t>* data,
              std::vector<png_bytep>* rows)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    img->width = static_cast<int>(png_get_image_width(png, info));
    img->height = static_cast<int>(png_get_image_height(png, info));
    img->bitDepth = png_get_bit_depth(png, info);
    img->colorType = png_get_color_type(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    data->resize(rowBytes * static_cast<std::size_t>(img->height));
    rows->resize(static_cast<std::size_t>(img->height));
    for (int y = 0; y < img->height; ++y) {
        (*rows)[static_cast<std::size_t>(y)] = data->data() + rowBytes * static_cast<std::size_t>(y);
    }
    png_read_image(png, rows->data());
    png_read_end(png, info);
    return true;
}

} // namespace

int TestPng::channels() const
{
    switch (colorType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 4;
    }
}

void writeTestPng(const fs::path& path, const TestPng& img)
{
    std::vector<std::uint8_t> data = packRows(img);
    const std::size_t rowBytes = data.size() / static_cast<std::size_t>(img.height);
    std::vector<png_bytep> rows;
    for (int y = 0; y < img.height; ++y) {
        rows.push_back(data.data() + rowBytes * static_cast<std::size_t>(y));
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    const bool ok = writeRows(png, info, img, rows.data());
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    ASSERT_TRUE(ok) << "cannot write test PNG " << path;
}

TestPng readTestPng(const fs::path& path)
{
    TestPng img;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return img;
    }
    std::vector<std::uint8_t> data;
    std::vector<png_bytep> rows;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    const bool ok = readRows(png, info, &img, &data, &rows);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    if (!ok) {
        ADD_FAILURE() << "cannot read " << path;
        return TestPng{};
    }
    const std::size_t count =
        static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height) * img.channels();
    img.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        img.samples[i] = img.bitDepth == 16 ? static_cast<std::uint16_t>((data[2 * i] << 8) | data[2 * i + 1])
                                            : data[i];
    }
    return img;
}

TestPng patternImage(int width, int height, int bitDepth, int colorType, unsigned seed)
{
    TestPng img;
    img.width = width;
    img.height = height;
    img.bitDepth = bitDepth;
    img.colorType = colorType;
    const unsigned max = bitDepth == 16 ? 65535u : 255u;
    const unsigned edges[] = {0, 1, max / 2, max / 2 + 1, max - 1, max};
    unsigned state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < img.channels(); ++c) {
                state = state * 1103515245u + 12345u;
                const unsigned noise = (state >> 8) % (max / 4 + 1);
                unsigned v = (static_cast<unsigned>(x + y * (c + 1)) * max / static_cast<unsigned>(width + height) +
                              noise) % (max + 1);
                if ((x + 3 * y + c) % 11 == 0) {
                    v = edges[(x + y + c) % 6];
                }
                img.samples.push_back(static_cast<std::uint16_t>(v));
            }
        }
    }
    return img;
}

} // namespace cftest
