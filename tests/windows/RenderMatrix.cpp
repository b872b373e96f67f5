/* RenderMatrix.cpp — renders a fixed set of frames of a made-up input through our host and prints one checksum
   per frame, so that the Linux module and the Windows module can be shown to produce the same pixels.
     render_matrix MODULE
   Prints "NAME HASH" lines: first the two inputs, then every frame at 8 and 16 bits. HASH is the 64-bit FNV-1a
   of the pixels, rows without their padding, in 16 hex digits. Exits 1 (after printing every line it can) when
   a frame fails to render, when the input or a row's padding gets written, or when the host is left holding
   anything. Built for Linux and for Windows from this one source. */
#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"
#include "cfhost/HostError.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace {

using cfhost::Depth;
using cfhost::EffectInstance;
using cfhost::World;

constexpr A_long kWidth = 97, kHeight = 61;

std::uint64_t fnv1a(const World& world)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    const auto* base = static_cast<const unsigned char*>(static_cast<const void*>(world.layer().data));
    const std::size_t rowBytes = static_cast<std::size_t>(world.width()) * world.pixelBytes();
    for (A_long y = 0; y < world.height(); ++y) {
        const unsigned char* row = base + static_cast<std::ptrdiff_t>(y) * world.rowbytes();
        for (std::size_t i = 0; i < rowBytes; ++i) {
            hash = (hash ^ row[i]) * 0x100000001b3ull;
        }
    }
    return hash;
}

/* Gradients in all four channels (alpha fading out towards the top right), a disc, a rectangle and a small
   checkerboard. 16-bit gradients use the whole 0..32768 range, not just 8-bit steps. */
World syntheticInput(Depth depth)
{
    World world(kWidth, kHeight, depth, depth == Depth::Eight ? 13 : 22);
    const A_long top = depth == Depth::Eight ? PF_MAX_CHAN8 : PF_MAX_CHAN16;
    for (A_long y = 0; y < kHeight; ++y) {
        for (A_long x = 0; x < kWidth; ++x) {
            A_long a = top, r = x * top / (kWidth - 1), g = y * top / (kHeight - 1),
                   b = ((x + 2 * y) % 64) * top / 63;
            if (x >= 80 && y < 20) {
                a = (96 - x) * top / 16 * (y + 1) / 20;
            }
            PF_Pixel shape{0, 0, 0, 0};
            const A_long dx = x - 30, dy = y - 25;
            if (dx * dx + dy * dy <= 14 * 14) {
                shape = PF_Pixel{255, 250, 240, 20};
            } else if (x >= 55 && x <= 75 && y >= 35 && y <= 55) {
                shape = PF_Pixel{200, 20, 30, 200};
            } else if (x < 16 && y > 45) {
                const A_u_char v = ((x / 3 + y / 3) % 2) != 0 ? 255 : 0;
                shape = PF_Pixel{255, v, v, v};
            }
            if (shape.alpha != 0) {
                const PF_Pixel16 deep = cfhost::to16(shape);
                const bool eight = depth == Depth::Eight;
                a = eight ? shape.alpha : deep.alpha;
                r = eight ? shape.red : deep.red;
                g = eight ? shape.green : deep.green;
                b = eight ? shape.blue : deep.blue;
            }
            if (depth == Depth::Eight) {
                world.pixel8(x, y) = PF_Pixel{static_cast<A_u_char>(a), static_cast<A_u_char>(r),
                                              static_cast<A_u_char>(g), static_cast<A_u_char>(b)};
            } else {
                world.pixel16(x, y) = PF_Pixel16{static_cast<A_u_short>(a), static_cast<A_u_short>(r),
                                                 static_cast<A_u_short>(g), static_cast<A_u_short>(b)};
            }
        }
    }
    return world;
}

/* Parameter values set by label, as a user sets them. */
class Controls {
public:
    explicit Controls(EffectInstance& effect) : effect_(effect) {}
    Controls& popup(const char* label, A_long choice)
    {
        effect_.setPopup(index(label), choice);
        return *this;
    }
    Controls& checkbox(const char* label, bool on)
    {
        effect_.setCheckbox(index(label), on);
        return *this;
    }
    Controls& number(const char* label, double value)
    {
        effect_.setFloat(index(label), value);
        return *this;
    }
    Controls& colour(const char* label, A_u_char red, A_u_char green, A_u_char blue)
    {
        effect_.setColor(index(label), PF_Pixel{255, red, green, blue});
        return *this;
    }

private:
    PF_ParamIndex index(const char* label) const
    {
        const auto found = effect_.findParameter(label);
        if (!found) {
            throw cfhost::HostError(std::string("the effect has no parameter \"") + label + "\"");
        }
        return *found;
    }

    EffectInstance& effect_;
};

struct Frame {
    std::string name;
    A_long preset; /* 0: the popup keeps the value the effect declared */
    A_long frame;
    std::function<void(Controls&)> set;
    A_u_long downsample = 1; /* a preview at 1/downsample in both directions; the input stands for the reduced layer */
    cfhost::LayerOrigin origin{}; /* the input stands for a grown buffer with the layer's (0, 0) here */
};

std::string twoDigits(A_long n)
{
    return (n < 10 ? "0" : "") + std::to_string(n);
}

std::vector<Frame> frames()
{
    std::vector<Frame> list;
    const auto none = [](Controls&) {};

    for (A_long preset = 0; preset <= 10; ++preset) {
        list.push_back({"p" + twoDigits(preset), preset, 0, none});
    }

    // Chaos: each behaviour standing still and at speeds whose values have moved on by the frame shown
    // (37: every 631 frames; 99.5: every 6; 100: every frame, before zero too).
    struct Motion {
        const char* speedName;
        double speed;
        A_long frame;
    };
    for (const A_long preset : {2, 6, 9}) {
        for (const A_long behaviour : {1, 2, 3}) {
            for (const Motion m : {Motion{"0", 0, 0}, Motion{"37", 37, 1900}, Motion{"99.5", 99.5, 29},
                                   Motion{"100", 100, -7}}) {
                list.push_back({"p" + twoDigits(preset) + "-chaos-b" + std::to_string(behaviour) + "-s" +
                                    m.speedName + "-f" + std::to_string(m.frame),
                                preset, m.frame, [behaviour, m](Controls& c) {
                                    c.checkbox("Enable Chaos", true)
                                        .popup("Chaos Behavior", behaviour)
                                        .number("Animation Speed", m.speed)
                                        .number("Intensity", 12)
                                        .number("Seed", 451);
                                }});
            }
        }
    }
    // Chaos with its declared intensity, seed and behaviour, on every preset.
    for (A_long preset = 1; preset <= 10; ++preset) {
        list.push_back({"p" + twoDigits(preset) + "-chaos-declared-f12", preset, 12, [](Controls& c) {
                            c.checkbox("Enable Chaos", true).number("Animation Speed", 50);
                        }});
    }

    struct Variant {
        const char* name;
        std::vector<A_long> presets;
        std::function<void(Controls&)> set;
    };
    const Variant variants[] = {
        {"contrast+60-brightness-25", {1, 4},
         [](Controls& c) { c.number("Contrast", 60).number("Brightness", -25); }},
        {"brightness+40-contrast-80", {2, 7},
         [](Controls& c) { c.number("Brightness", 40).number("Contrast", -80); }},
        {"brightness+100-contrast+150", {1}, [](Controls& c) { c.number("Brightness", 100).number("Contrast", 150); }},
        {"brightness-100-contrast-150", {1},
         [](Controls& c) { c.number("Brightness", -100).number("Contrast", -150); }},
        {"original-colour", {1, 6},
         [](Controls& c) { c.checkbox("Use Original Color", true).colour("Pixel Color", 255, 0, 128); }},
        {"transparent-background", {3, 9}, [](Controls& c) { c.checkbox("Transparent Background", true); }},
        {"original-colour-transparent-background", {5},
         [](Controls& c) { c.checkbox("Use Original Color", true).checkbox("Transparent Background", true); }},
        {"scale-lock", {5, 10}, [](Controls& c) { c.checkbox("Enable Scale Lock", true).number("Pattern Size", 4.5); }},
        {"scale-lock-chaos", {8},
         [](Controls& c) {
             c.checkbox("Enable Scale Lock", true).checkbox("Enable Chaos", true).number("Intensity", 25);
         }},
        {"colours-and-detail", {1, 8},
         [](Controls& c) {
             c.colour("Pixel Color", 200, 40, 90)
                 .colour("Background Color", 10, 60, 30)
                 .number("Horizontal Detail", 7.5)
                 .number("Vertical Detail", 3.25)
                 .number("Pattern Size", 1.75);
         }},
        {"coarse-detail", {4}, [](Controls& c) { c.number("Horizontal Detail", 250).number("Vertical Detail", 1); }},
    };
    for (const Variant& v : variants) {
        for (const A_long preset : v.presets) {
            list.push_back({"p" + twoDigits(preset) + "-" + v.name, preset, 0, v.set});
        }
    }

    // Previews at reduced resolution scale blocks and cells by fractions.
    list.push_back({"p03-preview-half", 3, 0, none, 2});
    list.push_back({"p07-preview-third-chaos", 7, 5, [](Controls& c) {
                        c.checkbox("Enable Chaos", true).number("Animation Speed", 100).number("Intensity", 9);
                    }, 3});
    list.push_back({"p01-preview-half-scale-lock", 1, 0,
                    [](Controls& c) { c.checkbox("Enable Scale Lock", true).number("Pattern Size", 2.5); }, 2});

    // Buffers grown by an earlier effect: the grid stays on the layer, whose corner may lie anywhere.
    list.push_back({"p02-grown-origin-13-9", 2, 0, none, 1, {13, 9}});
    list.push_back({"p05-grown-origin-left-of-buffer", 5, 0,
                    [](Controls& c) { c.number("Horizontal Detail", 9).number("Vertical Detail", 7); }, 1, {-7, 4}});
    list.push_back({"p07-grown-preview-half-chaos", 7, 3, [](Controls& c) {
                        c.checkbox("Enable Chaos", true).number("Animation Speed", 100).number("Intensity", 6);
                    }, 2, {5, 5}});
    list.push_back({"p10-grown-scale-lock-original-colour", 10, 0, [](Controls& c) {
                        c.checkbox("Enable Scale Lock", true).number("Pattern Size", 1.5).checkbox("Use Original Color", true);
                    }, 1, {20, 11}});
    return list;
}

void print(const std::string& name, std::uint64_t hash)
{
    std::printf("%s %016" PRIx64 "\n", name.c_str(), hash);
}

/* Renders one frame with a fresh instance of the effect; false (with a message) when anything went wrong. */
bool render(cfhost::Host& host, const std::string& modulePath, const Frame& f, const World& input,
            const std::string& name)
{
    const std::uint64_t inputHash = fnv1a(input);
    EffectInstance effect(host, modulePath);
    effect.registerModule();
    cfhost::check(effect.globalSetup(), "global setup");
    cfhost::check(effect.paramsSetup(), "parameter setup");
    cfhost::check(effect.sequenceSetup(), "sequence setup");
    Controls controls(effect);
    if (f.preset != 0) {
        controls.popup("Presets", f.preset);
    }
    f.set(controls);

    World output(kWidth, kHeight, input.depth(), input.deep() ? 6 : 5);
    const cfhost::FrameTime time = cfhost::FrameTime::ofFrame(f.frame, 24);
    PF_Err err = PF_Err_NONE;
    if (f.downsample == 1 && f.origin.x == 0 && f.origin.y == 0) {
        err = effect.render(input, output, time);
    } else {
        cfhost::CommandFrame command = effect.prepare(PF_Cmd_RENDER, &input, &output, time);
        command.in.downsample_x = PF_RationalScale{1, f.downsample};
        command.in.downsample_y = PF_RationalScale{1, f.downsample};
        command.in.pre_effect_source_origin_x = f.origin.x;
        command.in.pre_effect_source_origin_y = f.origin.y;
        err = effect.send(command);
    }
    bool ok = true;
    if (err != PF_Err_NONE) {
        std::fprintf(stderr, "%s: render failed with error %d\n", name.c_str(), static_cast<int>(err));
        ok = false;
    }
    if (!output.paddingIntact()) {
        std::fprintf(stderr, "%s: the output's row padding was written\n", name.c_str());
        ok = false;
    }
    if (fnv1a(input) != inputHash || !input.paddingIntact()) {
        std::fprintf(stderr, "%s: the input was written\n", name.c_str());
        ok = false;
    }
    cfhost::check(effect.sequenceSetdown(), "sequence setdown");
    cfhost::check(effect.globalSetdown(), "global setdown");
    print(name, fnv1a(output));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_matrix MODULE\n");
        return 2;
    }
    const std::string modulePath = argv[1];
    bool ok = true;
    try {
        cfhost::Host host;
        const World inputs[] = {syntheticInput(Depth::Eight), syntheticInput(Depth::Sixteen)};
        print("input-8bit", fnv1a(inputs[0]));
        print("input-16bit", fnv1a(inputs[1]));
        for (const Frame& f : frames()) {
            for (const World& input : inputs) {
                const std::string name = f.name + (input.deep() ? "-16bit" : "-8bit");
                try {
                    ok = render(host, modulePath, f, input, name) && ok;
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
                    ok = false;
                }
            }
        }
        const std::string leaks = host.leakReport();
        if (!leaks.empty()) {
            std::fprintf(stderr, "the host is left holding:\n%s\n", leaks.c_str());
            ok = false;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "render_matrix: %s\n", e.what());
        return 1;
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}
