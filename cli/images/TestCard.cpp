/* TestCard.cpp — drawing the test card, band by band from the top. */
#include "images/TestCard.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "images/BitmapFont.h"

namespace cfcli {

namespace {

void put(RgbaImage& img, int x, int y, int r, int g, int b, int a = 255)
{
    std::uint16_t* p = img.pixel(x, y);
    p[0] = static_cast<std::uint16_t>(std::clamp(r, 0, 255));
    p[1] = static_cast<std::uint16_t>(std::clamp(g, 0, 255));
    p[2] = static_cast<std::uint16_t>(std::clamp(b, 0, 255));
    p[3] = static_cast<std::uint16_t>(std::clamp(a, 0, 255));
}

/* 0..255 across a span of n pixels. */
int ramp(int i, int n)
{
    return n > 1 ? i * 255 / (n - 1) : 0;
}

} // namespace

RgbaImage makeTestCard(int width, int height)
{
    RgbaImage card(width, height, 8);
    const int rampEnd = height / 8;
    const int stepsEnd = height * 2 / 8;
    const int barsEnd = height * 7 / 16;
    const int shapesEnd = height * 7 / 8;

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (y < rampEnd) { /* smooth grey ramp */
                const int v = ramp(x, width);
                put(card, x, y, v, v, v);
            } else if (y < stepsEnd) { /* fifteen grey steps */
                const int step = std::min(14, x * 15 / width);
                const int v = step * 255 / 14;
                put(card, x, y, v, v, v);
            } else if (y < barsEnd) { /* colour bars */
                static const int bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                               {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
                const int* c = bars[std::min(7, x * 8 / width)];
                put(card, x, y, c[0], c[1], c[2]);
            } else if (y < shapesEnd) { /* a colour wash behind the shapes */
                put(card, x, y, ramp(x, width) / 2, 40 + ramp(y - barsEnd, shapesEnd - barsEnd) / 3,
                    160 - ramp(x, width) / 2);
            } else { /* alpha ramp over a reversed grey ramp */
                const int v = 255 - ramp(x, width);
                put(card, x, y, v, v, v, ramp(x, width));
            }
        }
    }

    /* shaded disc and concentric rings, side by side in the shapes band */
    const int bandHeight = shapesEnd - barsEnd;
    const double radius = bandHeight * 0.45;
    const double cy = barsEnd + bandHeight / 2.0;
    const double discX = width / 6.0;
    const double ringsX = width / 2.0;
    for (int y = barsEnd; y < shapesEnd; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dDisc = std::hypot(x + 0.5 - discX, y + 0.5 - cy);
            if (dDisc < radius) {
                const int v = static_cast<int>(255.0 * (1.0 - dDisc / radius));
                put(card, x, y, v, v, std::min(255, v + 30));
            }
            const double dRings = std::hypot(x + 0.5 - ringsX, y + 0.5 - cy);
            if (dRings < radius) {
                const int ring = static_cast<int>(dRings / (radius / 6.0));
                const int v = ring % 2 == 0 ? 230 - ring * 20 : 25 + ring * 10;
                put(card, x, y, v, v / 2 + 60, 255 - v);
            }
        }
    }

    /* text-like shapes on a dark plate */
    const int plateLeft = width * 2 / 3 + 4;
    const int plateRight = width - 4;
    for (int y = barsEnd + 4; y < shapesEnd - 4; ++y) {
        for (int x = plateLeft; x < plateRight; ++x) {
            put(card, x, y, 20, 20, 24);
        }
    }
    const int scale = std::max(1, height / 60);
    const std::uint8_t white[4] = {255, 255, 255, 255};
    const std::uint8_t amber[4] = {255, 176, 32, 255};
    drawText(card, plateLeft + 4, barsEnd + 8, "Ab3&", scale, white);
    drawText(card, plateLeft + 4, barsEnd + 8 + 9 * scale, "0123", std::max(1, scale - 1), amber);
    drawText(card, plateLeft + 4, barsEnd + 8 + 9 * scale + 8 * std::max(1, scale - 1), "XYZ", scale, white);
    return card;
}

} // namespace cfcli
