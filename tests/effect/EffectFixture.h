/* EffectFixture.h — the built effect module loaded into a fresh host of ours and registered, as every
   test of the effect's shell starts; and how far a preview's pixels stray from a reference. */
#pragma once

#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

class EffectFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = std::make_unique<cfhost::Host>();
        effect = std::make_unique<cfhost::EffectInstance>(*host, CRUMBLEFORGE_MODULE_PATH);
        effect->registerModule();
    }

    cfhost::Host& h() { return *host; }
    cfhost::EffectInstance& fx() { return *effect; }

    std::unique_ptr<cfhost::Host> host;
    std::unique_ptr<cfhost::EffectInstance> effect;
};

/* Pixels of an 8-bit preview that the reference (a full render, reduced) does not show within one pixel
   around them. */
inline long misplacedPixels(const cfhost::World& preview, const cfhost::World& reference)
{
    long count = 0;
    for (A_long y = 0; y < preview.height(); ++y) {
        for (A_long x = 0; x < preview.width(); ++x) {
            bool found = false;
            for (A_long ny = y - 1; ny <= y + 1 && !found; ++ny) {
                for (A_long nx = x - 1; nx <= x + 1 && !found; ++nx) {
                    found = nx >= 0 && ny >= 0 && nx < reference.width() && ny < reference.height() &&
                            std::memcmp(&preview.pixel8(x, y), &reference.pixel8(nx, ny), sizeof(PF_Pixel)) == 0;
                }
            }
            count += found ? 0 : 1;
        }
    }
    return count;
}
