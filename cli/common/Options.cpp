/* Options.cpp — reading the command line: CLI11 splits it (options before or after the file names, as
   "--name value" or "--name=value", a value may start with '-': "--frame -12"); each value is checked here. */
#include "common/Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <numeric>

#include "common/Errors.h"

namespace cfcli {

namespace {

const char* const kUsage =
    "usage: crumbleforge demo [OUT.png] [--plugin PATH] [--host ae|premiere] [--threads N] [-q]\n"
    "       crumbleforge describe [--json] [--plugin PATH] [--host ae|premiere]\n"
    "       crumbleforge render IN OUT [options] [--range FIRST-END]\n"
    "       crumbleforge plan IN --chunks N | --chunk-seconds S [--frame N] [--fps R] [--json]\n"
    "       crumbleforge join OUT CHUNK... [--audio-from IN] [-q]\n"
    "       crumbleforge --help | --version\n"
    "\n"
    "demo      every preset on a built-in test card as one labelled sheet (default OUT: crumbleforge-demo.png)\n"
    "describe  the effect's identity, flags, about text and parameters: the defaults it declares, and the value\n"
    "          the command starts from where that differs\n"
    "render    the effect on IN, written to OUT: PNG stills (8 or 16 bit), numbered sequences (shot_%04d.png),\n"
    "          and video and other formats through FFmpeg's libraries\n"
    "plan      IN cut into ranges of frames for render --range, one a line (\"0-240\"; the last runs to the end,\n"
    "          \"480-\", as many files only estimate how many frames they hold)\n"
    "join      chunks rendered with --range joined into OUT by stream copy (no re-encoding), in the order of their\n"
    "          ranges; refused are chunks of different inputs, settings or codec parameters, ranges that leave a\n"
    "          gap or overlap or do not run from the input's first frame to its last, and chunks that do not hold\n"
    "          the frames, at the times, they were rendered with (cut short, thinned, re-timed)\n"
    "\n"
    "render options:\n"
    "  -s, --set \"LABEL=VALUE\"  set a parameter by its label (repeatable): popups a choice or its number from\n"
    "                           1, checkboxes on/off/yes/no/true/false/1/0, colours #RRGGBB, #RGB or RRGGBB,\n"
    "                           sliders a number in the declared range. Unset parameters keep the effect's\n"
    "                           defaults, but a popup whose declared default is none of its choices starts\n"
    "                           at its first choice\n"
    "  --frame N                frame number of a still, or of the first frame (default 0; may be negative)\n"
    "  --fps R                  frame rate for time values: a number or a fraction such as 30000/1001, from\n"
    "                           0.01 to 1000 (default: a video's own rate, else 24)\n"
    "  --depth 8|16             working depth (default: the input's)\n"
    "  --host ae|premiere       the application the effect is told it runs in (default ae; premiere works\n"
    "                           in 8 bits)\n"
    "  --threads N              pixel threads, 1 to 1024 (default: all cores)\n"
    "  --plugin PATH            effect module (default: the one built beside this program)\n"
    "  -q, --quiet              no progress bar and no notes\n"
    "  --range FIRST-END        only frames FIRST to END-1, each with the time it has in a whole render: frame\n"
    "                           numbers (120-240; 480- to the end) or times after the first frame\n"
    "                           (00:01:00-00:02:00, 90s-120s). The chunk starts with a keyframe, keeps the\n"
    "                           input's timestamps and leaves the audio out, so 'join' puts chunks together\n"
    "\n"
    "video encoding (default: what the output format plays with: H.264 4:2:0 in .mp4, .m4v, .mov and .mkv;\n"
    "with transparency ProRes 4444 in .mov, FFV1 in .mkv, VP9 in .webm; else the format's own codec):\n"
    "  --codec NAME             any encoder FFmpeg's libavcodec has, e.g. libx264, libx265, libvpx-vp9, ffv1\n"
    "  --crf N                  constant quality, 0 (best) to 63, for encoders that take it (default: the\n"
    "                           encoder's own)\n"
    "  --pix-fmt NAME           pixel format fed to the encoder, e.g. yuv420p, yuv444p10le, yuva420p\n"
    "  --encoder-opt KEY=VALUE  an option handed to the encoder, e.g. preset=slow (repeatable, in order)\n"
    "\n"
    "plan options:\n"
    "  --chunks N               N ranges of equal length (1 to 100000)\n"
    "  --chunk-seconds S        ranges of S seconds of the input each\n"
    "  --frame N, --fps R       as for render: frame numbers start at N and count frames of R\n"
    "  --json                   the ranges as JSON: {\"input\", \"frames\", \"fps\", \"ranges\": [{\"range\",\n"
    "                           \"first\", \"end\"}]} (\"frames\": the input's declared frames, counted at\n"
    "                           --fps when that is given; end null when open)\n"
    "\n"
    "join options:\n"
    "  --audio-from IN          the audio of IN (the input the chunks were rendered from), whole, copied when OUT's\n"
    "                           format takes it as it is, else re-encoded\n"
    "\n"
    "IN and OUT: PNG stills, numbered sequences (shot_%04d.png), or video and other formats through FFmpeg's\n"
    "libraries. Video keeps its timestamps, audio, colour description, aspect and rotation.\n"
    "\n"
    "exit codes:\n"
    "  0  done\n"
    "  1  the effect or host failed\n"
    "  2  bad usage or input (nothing written)\n"
    "  3  done, but the input was damaged: what decoded was rendered and kept; the message says what was lost\n";

/* Which commands take an option. */
enum CommandBits : unsigned {
    kDemo = 1,
    kDescribe = 2,
    kRender = 4,
    kJoin = 8,
    kPlan = 16,
    kEffect = kDemo | kDescribe | kRender, /* the commands that load the effect */
};

unsigned bitOf(Command command)
{
    switch (command) {
    case Command::Demo: return kDemo;
    case Command::Describe: return kDescribe;
    case Command::Render: return kRender;
    case Command::Join: return kJoin;
    case Command::Plan: return kPlan;
    default: return 0;
    }
}

long wholeNumber(const char* option, const std::string& text, long min, long max)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || *end != '\0' || errno == ERANGE ||
        v < min || v > max) {
        throw UsageError(std::string(option) + " takes a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not " + quoteName(text));
    }
    return v;
}

/* Up to ten decimal digits as a number; -1 for anything else. */
long long digits(const std::string& text)
{
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return -1;
    }
    return std::stoll(text);
}

/* "30000/1001", "25" or "29.97" (at most six decimals) as an exact fraction in lowest terms. */
FrameRate frameRate(const std::string& text)
{
    long long num = -1;
    long long den = -1;
    if (const auto slash = text.find('/'); slash != std::string::npos) {
        num = digits(text.substr(0, slash));
        den = digits(text.substr(slash + 1));
    } else {
        const auto dot = text.find('.');
        const std::string whole = text.substr(0, dot);
        const std::string decimals = dot == std::string::npos ? "" : text.substr(dot + 1);
        if (decimals.size() <= 6 && !(dot != std::string::npos && decimals.empty()) && whole.size() <= 4) {
            num = digits(whole.empty() ? decimals : whole + decimals);
            den = 1;
            for (std::size_t i = 0; i < decimals.size(); ++i) {
                den *= 10;
            }
        }
    }
    if (num > 0 && den > 0) {
        const long long common = std::gcd(num, den);
        num /= common;
        den /= common;
    }
    /* kMinFps ≤ num / den ≤ kMaxFps in whole numbers; then num ≤ 1000 × kMaxFpsDenominator fits an int. */
    if (num <= 0 || den <= 0 || den > kMaxFpsDenominator || num * 100 < den || num > den * 1000) {
        throw UsageError("--fps takes a frame rate from 0.01 to 1000, as a number or a fraction such as 30000/1001, "
                         "not " + quoteName(text));
    }
    return FrameRate{static_cast<int>(num), static_cast<int>(den)};
}

/* A positive number of seconds, at most ten million. */
double seconds(const char* option, const std::string& text)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || *end != '\0' || !(v > 0) || v > 1e7) {
        throw UsageError(std::string(option) + " takes a number of seconds above 0, such as 60 or 2.5, not " +
                         quoteName(text));
    }
    return v;
}

/* The index of `text` among `words`, which the message lists. */
std::size_t oneOf(const char* option, const std::string& text, const std::vector<std::string>& words)
{
    const auto it = std::find(words.begin(), words.end(), text);
    if (it == words.end()) {
        throw UsageError(std::string(option) + " takes " + words[0] + " or " + words[1] + ", not " + quoteName(text));
    }
    return static_cast<std::size_t>(it - words.begin());
}

/* An encoder or pixel format name as libavcodec spells them (libx264, prores_ks, libvpx-vp9, yuv420p10le);
   whether one exists is decided when the output is opened. */
std::string encoderName(const char* option, const std::string& text, const char* example)
{
    const bool shaped = !text.empty() && text.size() <= 64 &&
                        std::all_of(text.begin(), text.end(), [](unsigned char c) {
                            return std::isalnum(c) || c == '_' || c == '-' || c == '.';
                        });
    if (!shaped) {
        throw UsageError(std::string(option) + " takes a name such as " + example + ", not " + quoteName(text));
    }
    return text;
}

std::pair<std::string, std::string> keyValue(const std::string& text)
{
    const auto eq = text.find('=');
    const auto space = std::find_if(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); });
    if (eq == 0 || eq == std::string::npos || space - text.begin() < static_cast<long>(eq)) {
        throw UsageError("--encoder-opt takes KEY=VALUE, such as preset=slow, not " + quoteName(text));
    }
    return {text.substr(0, eq), text.substr(eq + 1)};
}

/* One option: its names as CLI11 reads them, the commands that take it, and what it sets (flags get ""). */
struct OptionSpec {
    const char* names;
    unsigned commands;
    bool flag;
    void (*take)(Options&, const std::string&);
};

const OptionSpec kOptionSpecs[] = {
    {"-s,--set", kRender, false, [](Options& o, const std::string& v) { o.settings.push_back(v); }},
    {"--frame", kRender | kPlan, false,
     [](Options& o, const std::string& v) { o.frame = wholeNumber("--frame", v, -kMaxFrame, kMaxFrame); }},
    {"--fps", kRender | kPlan, false, [](Options& o, const std::string& v) { o.fps = frameRate(v); }},
    {"--depth", kRender, false,
     [](Options& o, const std::string& v) { o.depth = oneOf("--depth", v, {"8", "16"}) == 0 ? 8 : 16; }},
    {"--codec", kRender, false,
     [](Options& o, const std::string& v) { o.codec = encoderName("--codec", v, "libx264"); }},
    {"--crf", kRender, false,
     [](Options& o, const std::string& v) { o.crf = static_cast<int>(wholeNumber("--crf", v, 0, kMaxCrf)); }},
    {"--pix-fmt", kRender, false,
     [](Options& o, const std::string& v) { o.pixFmt = encoderName("--pix-fmt", v, "yuv420p"); }},
    {"--encoder-opt", kRender, false,
     [](Options& o, const std::string& v) { o.encoderOptions.push_back(keyValue(v)); }},
    {"--range", kRender, false, [](Options& o, const std::string& v) { o.range = RangeSpec::parse(v); }},
    {"--chunks", kPlan, false,
     [](Options& o, const std::string& v) { o.chunks = wholeNumber("--chunks", v, 1, 100000); }},
    {"--chunk-seconds", kPlan, false,
     [](Options& o, const std::string& v) { o.chunkSeconds = seconds("--chunk-seconds", v); }},
    {"--audio-from", kJoin, false,
     [](Options& o, const std::string& v) {
         if (v.empty()) {
             throw UsageError("--audio-from needs a file");
         }
         o.audioFrom = v;
     }},
    {"--json", kDescribe | kPlan, true, [](Options& o, const std::string&) { o.json = true; }},
    {"--host", kEffect, false,
     [](Options& o, const std::string& v) { o.premiere = oneOf("--host", v, {"ae", "premiere"}) == 1; }},
    {"--threads", kEffect, false,
     [](Options& o, const std::string& v) { o.threads = static_cast<unsigned>(wholeNumber("--threads", v, 1, 1024)); }},
    {"--plugin", kEffect, false,
     [](Options& o, const std::string& v) {
         if (v.empty()) {
             throw UsageError("--plugin needs a path");
         }
         o.plugin = v;
     }},
    {"-q,--quiet", kEffect | kJoin, true, [](Options& o, const std::string&) { o.quiet = true; }},
};

std::string longName(const OptionSpec& spec)
{
    const std::string names = spec.names;
    return names.substr(names.rfind(',') + 1);
}

/* The option `token` names ("-s", "--set"), if any. */
const OptionSpec* optionNamed(const std::string& token)
{
    for (const OptionSpec& spec : kOptionSpecs) {
        const std::string names = std::string(",") + spec.names + ",";
        if (names.find("," + token + ",") != std::string::npos) {
            return &spec;
        }
    }
    return nullptr;
}

Command commandNamed(const std::string& word)
{
    static const std::map<std::string, Command> commands{
        {"demo", Command::Demo}, {"describe", Command::Describe}, {"render", Command::Render},
        {"join", Command::Join}, {"plan", Command::Plan},       {"help", Command::Help}};
    const auto it = commands.find(word);
    if (it == commands.end()) {
        throw UsageError("unknown command " + quoteName(word) + "; the commands are demo, describe, render, plan and join");
    }
    return it->second;
}

/* CLI11 reports a value missing at the end of the line, or one given to a flag. */
std::string parseErrorText(const CLI::Error& error)
{
    const std::string what = error.what();
    std::string named = what.substr(0, what.find_first_of(": "));
    if (named.compare(0, 1, "-") != 0) {
        named = "--" + named; /* flags are named without their dashes */
    }
    const OptionSpec* spec = optionNamed(named);
    if (spec == nullptr) {
        return what;
    }
    return longName(*spec) + (spec->flag ? " takes no value" : " needs a value");
}

} // namespace

std::string usageText()
{
    return kUsage;
}

std::vector<std::string> optionNames()
{
    std::vector<std::string> names;
    for (const OptionSpec& spec : kOptionSpecs) {
        names.push_back(spec.names);
    }
    return names;
}

Options parseOptions(int argc, const char* const argv[])
{
    Options options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        throw UsageError("no command given; try 'crumbleforge --help'");
    }
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") {
            options.command = Command::Help;
            return options;
        }
        if (a == "--version") {
            options.command = Command::Version;
            return options;
        }
    }
    options.command = commandNamed(args[0]);
    if (options.command == Command::Help) {
        return options;
    }
    const std::string& command = args[0];

    CLI::App app(command);
    app.set_help_flag();
    app.allow_extras(); /* unknown options are reported below, with what the command does take */
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("files", options.positional);
    for (const OptionSpec& spec : kOptionSpecs) {
        if ((spec.commands & bitOf(options.command)) == 0) {
            continue;
        }
        if (spec.flag) {
            app.add_flag_callback(spec.names, [&options, &spec] { spec.take(options, ""); })->disable_flag_override();
        } else {
            app.add_option(spec.names)->each([&options, &spec](const std::string& v) { spec.take(options, v); });
        }
    }
    /* CLI11 would read "--fps= 25" as "--fps 25". */
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        const std::string& a = args[i];
        const bool emptyValue = a.size() > 3 && a.compare(0, 2, "--") == 0 && a.find('=') == a.size() - 1;
        const OptionSpec* spec = emptyValue ? optionNamed(a.substr(0, a.size() - 1)) : nullptr;
        if (spec != nullptr && !spec->flag) {
            throw UsageError(a.substr(0, a.size() - 1) + " needs a value");
        }
    }
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend() - 1));
    } catch (const CLI::Error& e) {
        throw UsageError(parseErrorText(e));
    }
    for (const std::string& extra : app.remaining()) {
        if (extra == "--") {
            continue;
        }
        const OptionSpec* spec = optionNamed(extra.substr(0, extra.find('=')));
        throw UsageError(spec ? "'" + command + "' does not take " + extra.substr(0, extra.find('='))
                              : "unknown option " + quoteName(extra) + "; try 'crumbleforge --help'");
    }

    const std::size_t count = options.positional.size();
    if (options.command == Command::Render && count != 2) {
        throw UsageError(count < 2 ? "render needs an input and an output file: crumbleforge render IN OUT"
                                   : "render takes one input and one output, not " + quoteName(options.positional[2]));
    }
    if (options.command == Command::Demo && count > 1) {
        throw UsageError("demo takes at most one output file, not " + quoteName(options.positional[1]));
    }
    if (options.command == Command::Plan && count != 1) {
        throw UsageError(count < 1 ? "plan needs an input file: crumbleforge plan IN --chunks N"
                                   : "plan takes one input, not " + quoteName(options.positional[1]));
    }
    if (options.command == Command::Plan && options.chunks.has_value() == options.chunkSeconds.has_value()) {
        throw UsageError("plan takes either --chunks N or --chunk-seconds S");
    }
    if (options.command == Command::Join && count < 2) {
        throw UsageError("join needs an output and the chunks: crumbleforge join OUT CHUNK...");
    }
    if (options.command == Command::Describe && count > 0) {
        throw UsageError("describe takes no file, not " + quoteName(options.positional[0]));
    }
    return options;
}

} // namespace cfcli
