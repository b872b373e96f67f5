/* ArgumentsFuzzer.cpp — what a user types: the command line, "LABEL=VALUE" settings checked against the
   parameters the real module declares, and numbered file-name patterns. Bad text must end in a UsageError
   (one line, exit code 2) and nothing else; what is accepted must hold what the command relies on:
   - options: the right number of files per command, numbers inside their documented ranges;
   - settings: a value the parser accepts lies in the declared range or choices, and the host takes it;
   - patterns: a frame's file name is what printf writes for the pattern.
   The first input byte picks the part; the rest is the text, split into arguments at NUL bytes. */
#include "common/Errors.h"
#include "common/Options.h"
#include "pipeline/ParamSetter.h"
#include "images/Sequence.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_cli_args: %s\n", what.c_str());
    std::abort();
}

std::vector<std::string> splitAtNul(const std::uint8_t* data, std::size_t size, std::size_t most)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            if (parts.size() == most) {
                break;
            }
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(data[i]);
        }
    }
    return parts;
}

void fuzzOptions(const std::vector<std::string>& words)
{
    std::vector<const char*> argv{"crumbleforge"};
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    cfcli::Options o;
    try {
        o = cfcli::parseOptions(static_cast<int>(argv.size()), argv.data());
    } catch (const cfcli::UsageError&) {
        return;
    }
    using cfcli::Command;
    const std::size_t files = o.positional.size();
    if ((o.command == Command::Render && files != 2) || (o.command == Command::Demo && files > 1) ||
        (o.command == Command::Describe && files != 0) || (o.command == Command::Plan && files != 1) ||
        (o.command == Command::Join && files < 2)) {
        fail("accepted a command with the wrong number of files");
    }
    if (o.frame < -cfcli::kMaxFrame || o.frame > cfcli::kMaxFrame) {
        fail("accepted a frame number outside the documented range");
    }
    if (o.fps && !(o.fps->num > 0 && o.fps->den > 0 && o.fps->den <= cfcli::kMaxFpsDenominator &&
                   o.fps->value() >= cfcli::kMinFps && o.fps->value() <= cfcli::kMaxFps &&
                   std::gcd(o.fps->num, o.fps->den) == 1)) {
        fail("accepted a frame rate outside the documented range, or not in lowest terms");
    }
    if (o.range) {
        try {
            const cfcli::FrameRange r =
                cfcli::FrameRange::resolve(*o.range, cfcli::TimeValues(AVRational{1, 90000}, AVRational{24, 1}, o.frame));
            if (r.end && *r.end <= r.first) {
                fail("accepted a range that holds no frames");
            }
        } catch (const cfcli::UsageError&) {
        }
    }
    if (o.crf && (*o.crf < 0 || *o.crf > cfcli::kMaxCrf)) {
        fail("accepted a quality outside 0..kMaxCrf");
    }
    for (const auto& [key, value] : o.encoderOptions) {
        if (key.empty() || key.find('=') != std::string::npos) {
            fail("accepted an encoder option without a key");
        }
    }
    if ((o.codec && o.codec->empty()) || (o.pixFmt && o.pixFmt->empty())) {
        fail("accepted an empty codec or pixel format name");
    }
    if (o.depth && *o.depth != 8 && *o.depth != 16) {
        fail("accepted a depth other than 8 or 16");
    }
    if (o.threads > 1024) {
        fail("accepted more than 1024 threads");
    }
    if (o.plugin && o.plugin->empty()) {
        fail("accepted an empty module path");
    }
    const bool encoding = o.codec || o.crf || o.pixFmt || !o.encoderOptions.empty();
    if ((o.json && o.command != Command::Describe) ||
        ((!o.settings.empty() || encoding) && o.command != Command::Render)) {
        fail("accepted an option the command does not take");
    }
}

/* The real module's declarations, read once, as `crumbleforge render` reads them. */
struct Module {
    cfhost::Host host;
    cfhost::EffectInstance effect{host, CRUMBLEFORGE_MODULE};
    std::vector<cfcli::DeclaredParam> declared;

    Module()
    {
        effect.registerModule();
        if (effect.globalSetup() != PF_Err_NONE || effect.paramsSetup() != PF_Err_NONE) {
            fail("the module does not set up");
        }
        declared = cfcli::declaredParameters(effect);
    }
};

void checkAccepted(const cfcli::ParamValue& v, const std::vector<cfcli::DeclaredParam>& declared)
{
    const cfcli::DeclaredParam* p = nullptr;
    for (const cfcli::DeclaredParam& d : declared) {
        if (d.index == v.index) {
            p = &d;
        }
    }
    if (p == nullptr || p->def.param_type != v.type) {
        fail("a setting names no declared parameter of its kind");
    }
    const PF_ParamDef& def = p->def;
    switch (v.type) {
    case PF_Param_POPUP:
        if (v.choice < 1 || v.choice > def.u.pd.num_choices) {
            fail("accepted a popup choice outside 1..count");
        }
        break;
    case PF_Param_FLOAT_SLIDER:
        if (!(v.number >= static_cast<double>(def.u.fs_d.valid_min) &&
              v.number <= static_cast<double>(def.u.fs_d.valid_max))) {
            fail("accepted a slider value outside the valid range");
        }
        break;
    case PF_Param_COLOR:
        if (v.color.alpha != def.u.cd.value.alpha) {
            fail("a colour setting changed the declared alpha");
        }
        break;
    case PF_Param_CHECKBOX:
        break;
    default:
        fail("accepted a value for a parameter that takes none from the command line");
    }
}

void fuzzSettings(const std::vector<std::string>& settings)
{
    static Module module;
    std::vector<cfcli::ParamValue> values;
    try {
        values = cfcli::parseSettings(settings, module.declared);
    } catch (const cfcli::UsageError&) {
        return;
    }
    for (const cfcli::ParamValue& v : values) {
        checkAccepted(v, module.declared);
    }
    // What the parser let through, the host must take.
    cfcli::applySettings(module.effect, values);
}

void fuzzPattern(const std::string& text, long frame)
{
    std::optional<cfcli::SequencePattern> pattern;
    try {
        pattern = cfcli::SequencePattern::parse(text);
    } catch (const cfcli::UsageError&) {
        return;
    }
    if (!pattern) {
        return;
    }
    const std::string name = pattern->format(frame);
    // Where every % of the text is "%%" or the one conversion, printf gives the reference.
    std::string format;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            format += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            format += "%%";
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            ++j;
        }
        if (j >= text.size() || text[j] != 'd' || j - i > 3) {
            return; // a plain percent sign, which printf would read differently
        }
        format += text.substr(i, j - i) + "ld";
        i = j;
    }
    char expected[512];
    // The format is built above from the pattern: only literal text, "%%" and one "%ld" conversion.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
    const int length = std::snprintf(expected, sizeof expected, format.c_str(), frame);
#pragma clang diagnostic pop
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof expected) {
        return;
    }
    if (name != expected) {
        fail("pattern '" + text + "' names frame " + std::to_string(frame) + " '" + name + "', printf '" +
             expected + "'");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::uint8_t part = data[0] % 3;
    const std::vector<std::string> words = splitAtNul(data + 1, size - 1, 24);
    switch (part) {
    case 0:
        fuzzOptions(words);
        break;
    case 1:
        fuzzSettings(words);
        break;
    default: {
        // The frame number comes from the second word, as --frame gives it.
        const long frame = words.size() > 1 ? std::strtol(words[1].c_str(), nullptr, 10) % 100000000 : 7;
        fuzzPattern(words[0], frame);
        break;
    }
    }
    return 0;
}
