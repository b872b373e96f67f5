/* Reference.cpp — direct renders and the expected pixel values. */
#include "Reference.h"

#include <gtest/gtest.h>

#include "images/Conversions.h"
#include "cfhost/HostError.h"

namespace cftest {

using cfcli::fileToHost16;
using cfcli::host16ToFile;
using cfcli::host16ToHost8;
using cfcli::host8ToHost16;

ReferenceEffect::ReferenceEffect(bool premiere)
{
    cfhost::HostOptions options;
    options.applicationId = premiere ? cfhost::kPremierePro : cfhost::kAfterEffects;
    host_ = std::make_unique<cfhost::Host>(options);
    fx_ = std::make_unique<cfhost::EffectInstance>(*host_, CF_MODULE);
    fx_->registerModule();
    cfhost::check(fx_->globalSetup(), "global setup");
    cfhost::check(fx_->paramsSetup(), "parameter setup");
    cfhost::check(fx_->sequenceSetup(), "sequence setup");
    /* The effect declares 0 for both popups, none of their choices; the command starts them at their first. */
    setPopup("Presets", 1);
    setPopup("Chaos Behavior", 1);
}

ReferenceEffect::~ReferenceEffect()
{
    fx_->sequenceSetdown();
    fx_->globalSetdown();
}

PF_ParamIndex ReferenceEffect::index(const std::string& label) const
{
    const auto i = fx_->findParameter(label);
    if (!i) {
        throw cfhost::HostError("the effect declares no parameter " + label);
    }
    return *i;
}

void ReferenceEffect::setPopup(const std::string& label, int choice)
{
    fx_->setPopup(index(label), choice);
}

void ReferenceEffect::setCheckbox(const std::string& label, bool on)
{
    fx_->setCheckbox(index(label), on);
}

void ReferenceEffect::setFloat(const std::string& label, double value)
{
    fx_->setFloat(index(label), value);
}

void ReferenceEffect::setColor(const std::string& label, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    fx_->setColor(index(label), PF_Pixel{255, r, g, b});
}

cfhost::World ReferenceEffect::render(const cfhost::World& input, long frame, double fps)
{
    cfhost::World out = host_->makeWorld(input.width(), input.height(), input.depth());
    cfhost::check(fx_->render(input, out, cfhost::FrameTime::ofFrame(static_cast<A_long>(frame), fps)), "render");
    return out;
}

namespace {

/* One pixel of a PNG as file-range RGBA. */
void pngPixel(const TestPng& png, std::size_t i, std::uint16_t rgba[4])
{
    const std::uint16_t max = png.bitDepth == 16 ? 65535 : 255;
    const std::uint16_t* s = png.samples.data() + i * static_cast<std::size_t>(png.channels());
    switch (png.colorType) {
    case 0: rgba[0] = rgba[1] = rgba[2] = s[0]; rgba[3] = max; break;
    case 2: rgba[0] = s[0]; rgba[1] = s[1]; rgba[2] = s[2]; rgba[3] = max; break;
    case 3:
        for (int c = 0; c < 3; ++c) {
            rgba[c] = png.palette[s[0] * 3u + static_cast<unsigned>(c)];
        }
        rgba[3] = s[0] < png.paletteAlpha.size() ? png.paletteAlpha[s[0]] : 255;
        break;
    case 4: rgba[0] = rgba[1] = rgba[2] = s[0]; rgba[3] = s[1]; break;
    default: rgba[0] = s[0]; rgba[1] = s[1]; rgba[2] = s[2]; rgba[3] = s[3]; break;
    }
}

} // namespace

cfhost::World worldFromPng(cfhost::Host& host, const TestPng& png, cfhost::Depth depth)
{
    cfhost::World world = host.makeWorld(png.width, png.height, depth);
    const bool sixteen = png.bitDepth == 16;
    for (int y = 0; y < png.height; ++y) {
        for (int x = 0; x < png.width; ++x) {
            std::uint16_t v[4];
            pngPixel(png, static_cast<std::size_t>(y) * static_cast<std::size_t>(png.width) + x, v);
            if (depth == cfhost::Depth::Sixteen) {
                auto h = [&](std::uint16_t s) {
                    return sixteen ? fileToHost16(s) : host8ToHost16(static_cast<std::uint8_t>(s));
                };
                world.pixel16(x, y) = PF_Pixel16{h(v[3]), h(v[0]), h(v[1]), h(v[2])};
            } else {
                auto e = [&](std::uint16_t s) {
                    return sixteen ? host16ToHost8(fileToHost16(s)) : static_cast<std::uint8_t>(s);
                };
                world.pixel8(x, y) = PF_Pixel{e(v[3]), e(v[0]), e(v[1]), e(v[2])};
            }
        }
    }
    return world;
}

std::vector<std::uint16_t> fileSamples(const cfhost::World& world)
{
    std::vector<std::uint16_t> samples;
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            if (world.deep()) {
                const PF_Pixel16& p = world.pixel16(x, y);
                for (const A_u_short v : {p.red, p.green, p.blue, p.alpha}) {
                    samples.push_back(host16ToFile(v));
                }
            } else {
                const PF_Pixel& p = world.pixel8(x, y);
                for (const A_u_char v : {p.red, p.green, p.blue, p.alpha}) {
                    samples.push_back(v);
                }
            }
        }
    }
    return samples;
}

std::vector<cfhost::World> worldsFromRaw(cfhost::Host& host, const std::string& raw, int width, int height, int bits)
{
    const std::size_t bytesPerSample = bits == 16 ? 2 : 1;
    const std::size_t frameBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4 * bytesPerSample;
    std::vector<cfhost::World> frames;
    for (std::size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
        TestPng png;
        png.width = width;
        png.height = height;
        png.bitDepth = bits;
        png.colorType = 6;
        for (std::size_t i = 0; i < frameBytes; i += bytesPerSample) {
            const auto lo = static_cast<unsigned char>(raw[at + i]);
            const auto hi = bits == 16 ? static_cast<unsigned char>(raw[at + i + 1]) : 0;
            png.samples.push_back(static_cast<std::uint16_t>(lo | (hi << 8)));
        }
        frames.push_back(worldFromPng(host, png, bits == 16 ? cfhost::Depth::Sixteen : cfhost::Depth::Eight));
    }
    return frames;
}

} // namespace cftest
