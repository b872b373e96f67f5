/* Options.cpp — parsing the command line. Options may come before or after the file names, as
   "--name value" or "--name=value"; a value may start with '-' ("--frame -12"). */
#include "Options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "Errors.h"

namespace cfcli {

namespace {

const char* const kUsage =
    "usage: crumbleforge demo [OUT.png] [--plugin PATH] [--host ae|premiere] [--threads N]\n"
    "       crumbleforge describe [--json] [--plugin PATH] [--host ae|premiere]\n"
    "       crumbleforge render IN OUT [options]\n"
    "\n"
    "render options:\n"
    "  -s, --set \"LABEL=VALUE\"  set a parameter by its label (repeatable): popups take a choice or its\n"
    "                           number from 1, checkboxes on/off, colours #RRGGBB, sliders a number\n"
    "  --frame N                frame number of a still, or of the first frame (default 0; may be negative)\n"
    "  --fps R                  frame rate for time values (default 24; a video's own rate)\n"
    "  --depth 8|16             working depth (default: the input's)\n"
    "  --host ae|premiere       the application the effect is told it runs in (default ae)\n"
    "  --threads N              pixel threads (default: all cores)\n"
    "  --plugin PATH            effect module (default: the one built beside this program)\n"
    "  -q, --quiet              no progress bar and no notes\n"
    "\n"
    "IN and OUT: PNG stills, numbered sequences (shot_%04d.png), or video and other formats through FFmpeg's\n"
    "libraries. Video keeps its timestamps, audio, colour description, aspect and rotation; each container gets\n"
    "a codec players take (H.264 4:2:0 in .mp4/.mov/.mkv; alpha codecs in .mov/.mkv/.webm/.gif when the\n"
    "result has transparency).\n"
    "Exit codes: 0 done, 1 the effect or host failed, 2 bad usage or input (nothing written), 3 done but the\n"
    "input was damaged (what decoded was rendered and kept).\n";

long parseLong(const std::string& option, const std::string& text, long min, long max)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < min || v > max) {
        throw UsageError(option + " takes a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not " + quoteName(text));
    }
    return v;
}

double parsePositive(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || !(v > 0) || v > 10000) {
        throw UsageError(option + " takes a frame rate above 0 (such as 24 or 29.97), not " + quoteName(text));
    }
    return v;
}

Command commandNamed(const std::string& word)
{
    static const std::map<std::string, Command> commands{
        {"demo", Command::Demo}, {"describe", Command::Describe}, {"render", Command::Render},
        {"help", Command::Help}};
    const auto it = commands.find(word);
    if (it == commands.end()) {
        throw UsageError("unknown command " + quoteName(word) + "; the commands are demo, describe and render");
    }
    return it->second;
}

/* Which options each command takes. */
bool allowed(Command command, const std::string& option)
{
    static const std::set<std::string> common{"--plugin", "--host", "--threads", "--quiet"};
    static const std::set<std::string> render{"--set", "--frame", "--fps", "--depth"};
    if (common.count(option)) {
        return true;
    }
    switch (command) {
    case Command::Describe:
        return option == "--json";
    case Command::Render:
        return render.count(option) > 0;
    default:
        return false;
    }
}

} // namespace

std::string usageText()
{
    return kUsage;
}

Options parseOptions(int argc, const char* const argv[])
{
    Options options;
    std::vector<std::string> args(argv + 1, argv + argc);
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

    static const std::map<std::string, std::string> shortNames{{"-s", "--set"}, {"-q", "--quiet"}};
    static const std::set<std::string> flags{"--quiet", "--json"};
    bool onlyPositional = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            options.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        if (const auto it = shortNames.find(arg); it != shortNames.end()) {
            arg = it->second;
        }
        const std::string commandName = args[0];
        if (!allowed(options.command, arg)) {
            throw UsageError(flags.count(arg) || allowed(Command::Render, arg) || allowed(Command::Describe, arg)
                                 ? "'" + commandName + "' does not take " + arg
                                 : "unknown option " + quoteName(args[i]) + "; try 'crumbleforge --help'");
        }
        if (flags.count(arg)) {
            if (value) {
                throw UsageError(arg + " takes no value");
            }
            (arg == "--quiet" ? options.quiet : options.json) = true;
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            value = args[++i];
        }
        const std::string& v = *value;
        if (arg == "--set") {
            options.settings.push_back(v);
        } else if (arg == "--frame") {
            options.frame = parseLong(arg, v, -kMaxFrame, kMaxFrame);
        } else if (arg == "--fps") {
            const double fps = parsePositive(arg, v);
            options.fps = FrameRate{static_cast<int>(std::lround(fps * 1000)), 1000};
        } else if (arg == "--depth") {
            if (v != "8" && v != "16") {
                throw UsageError("--depth takes 8 or 16, not " + quoteName(v));
            }
            options.depth = v == "8" ? 8 : 16;
        } else if (arg == "--host") {
            if (v != "ae" && v != "premiere") {
                throw UsageError("--host takes ae or premiere, not " + quoteName(v));
            }
            options.premiere = v == "premiere";
        } else if (arg == "--threads") {
            options.threads = static_cast<unsigned>(parseLong(arg, v, 1, 1024));
        } else if (arg == "--plugin") {
            if (v.empty()) {
                throw UsageError("--plugin needs a path");
            }
            options.plugin = v;
        }
    }

    const std::size_t count = options.positional.size();
    if (options.command == Command::Render && count != 2) {
        throw UsageError(count < 2 ? "render needs an input and an output file: crumbleforge render IN OUT"
                                   : "render takes one input and one output, not " + quoteName(options.positional[2]));
    }
    if (options.command == Command::Demo && count > 1) {
        throw UsageError("demo takes at most one output file, not " + quoteName(options.positional[1]));
    }
    if (options.command == Command::Describe && count > 0) {
        throw UsageError("describe takes no file, not " + quoteName(options.positional[0]));
    }
    return options;
}

} // namespace cfcli
