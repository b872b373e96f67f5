/* Demo.cpp — rendering the test card with every preset and laying the results out as a sheet. */
#include "commands/Demo.h"

#include <cstdio>

#include "common/AtomicFile.h"
#include "images/BitmapFont.h"
#include "images/Conversions.h"
#include "pipeline/EffectSession.h"
#include "common/Errors.h"
#include "images/PngIO.h"
#include "images/TestCard.h"

namespace fs = std::filesystem;

namespace cfcli {

namespace {

/* Blocks one pattern tile wide, with cells of two pixels, so that every preset's pattern reads clearly at
   tile size. */
const char* const kDemoSettings[] = {"Enable Scale Lock=on", "Pattern Size=2"};

const DeclaredParam& presetParameter(const std::vector<DeclaredParam>& params)
{
    for (const DeclaredParam& p : params) {
        if (p.def.param_type == PF_Param_POPUP && std::string(p.def.name) == "Presets") {
            return p;
        }
    }
    throw EffectFailure("the effect module declares no \"Presets\" popup to show");
}

std::uint16_t over(std::uint16_t c, std::uint16_t a, int background)
{
    return static_cast<std::uint16_t>((c * a + background * (255 - a) + 127) / 255);
}

} // namespace

RgbaImage contactSheet(const std::vector<RgbaImage>& tiles, const std::vector<std::string>& labels)
{
    const int count = static_cast<int>(tiles.size());
    const int columns = std::min(kSheetColumns, std::max(count, 1));
    const int rows = (count + columns - 1) / columns;
    const int width = kGutter + columns * (kTileWidth + kGutter);
    const int height = kGutter + std::max(rows, 1) * (kLabelHeight + kTileHeight + kGutter);
    RgbaImage sheet(width, height, 8);
    for (std::size_t i = 0; i < sheet.samples.size(); i += 4) {
        sheet.samples[i] = sheet.samples[i + 1] = sheet.samples[i + 2] = 40;
        sheet.samples[i + 3] = 255;
    }
    const std::uint8_t labelColor[4] = {235, 235, 235, 255};
    for (int t = 0; t < count; ++t) {
        const int left = kGutter + (t % columns) * (kTileWidth + kGutter);
        const int top = kGutter + (t / columns) * (kLabelHeight + kTileHeight + kGutter);
        const std::string& label = t < static_cast<int>(labels.size()) ? labels[t] : std::string();
        drawText(sheet, left, top + kLabelHeight - 2 * kGlyphHeight - 2, label, 2, labelColor);
        const RgbaImage& tile = tiles[static_cast<std::size_t>(t)];
        for (int y = 0; y < kTileHeight && y < tile.height; ++y) {
            for (int x = 0; x < kTileWidth && x < tile.width; ++x) {
                const std::uint16_t* s = tile.pixel(x, y);
                const int checker = ((x / 8 + y / 8) % 2) ? 150 : 100;
                std::uint16_t* d = sheet.pixel(left + x, top + kLabelHeight + y);
                for (int c = 0; c < 3; ++c) {
                    d[c] = over(s[c], s[3], checker);
                }
                d[3] = 255;
            }
        }
    }
    return sheet;
}

int runDemo(const Options& options)
{
    const fs::path out = options.positional.empty() ? fs::path("crumbleforge-demo.png") : fs::path(options.positional[0]);
    if (!hasPngExtension(out)) {
        throw UsageError("the demo writes a PNG; name it .png, not " + quoteName(out.string()));
    }
    const fs::path plugin = locatePlugin(options.plugin);
    EffectSession session(SessionOptions{plugin, options.premiere, options.threads});
    const DeclaredParam& presets = presetParameter(session.declared());
    TempFile file(out); /* an unwritable folder fails here, before any rendering */

    std::vector<std::string> settings(std::begin(kDemoSettings), std::end(kDemoSettings));
    applySettings(session.effect(), parseSettings(settings, session.declared()));

    const RgbaImage card = makeTestCard(kTileWidth, kTileHeight);
    cfhost::World input = session.host().makeWorld(kTileWidth, kTileHeight, cfhost::Depth::Eight);
    imageToWorld(card, input);
    std::vector<RgbaImage> tiles;
    for (std::size_t i = 0; i < presets.choices.size(); ++i) {
        session.effect().setPopup(presets.index, static_cast<A_long>(i + 1));
        tiles.push_back(worldToImage(session.render(input, 0, 24.0)));
    }
    const auto bytes = encodePng(contactSheet(tiles, presets.choices), out.string());
    file.write(bytes.data(), bytes.size());
    file.commit();
    std::printf("%s\n", out.string().c_str());
    return kExitDone;
}

} // namespace cfcli
