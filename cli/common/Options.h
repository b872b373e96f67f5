/* Options.h — the command line: which command runs and with what. Parsing only; nothing is opened here.
   Bad usage throws UsageError with a one-line message. */
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/FrameRange.h"

namespace cfcli {

enum class Command { Help, Version, Demo, Describe, Render, Join, Plan };

/* Frame numbers stay within this, so that frame × 100 fits the host's 32-bit time values. */
inline constexpr long kMaxFrame = 20000000;

/* A frame rate as a fraction (30000/1001), kept exact for encoders and time values, in lowest terms.
   --fps takes kMinFps to kMaxFps frames per second (so the host's time scale, 100 units a frame, is at least
   1) with a denominator of at most kMaxFpsDenominator: numerator and denominator stay far inside an int. */
struct FrameRate {
    int num = 24;
    int den = 1;
    double value() const { return static_cast<double>(num) / den; }
    bool operator==(const FrameRate& o) const { return num == o.num && den == o.den; }
};
inline constexpr double kMinFps = 0.01;
inline constexpr double kMaxFps = 1000;
inline constexpr int kMaxFpsDenominator = 1000000;

/* --crf: the widest range the common encoders take (x264 and x265 0–51, VP9 and AV1 0–63). */
inline constexpr int kMaxCrf = 63;

struct Options {
    Command command = Command::Help;
    std::vector<std::string> positional; /* demo: [OUT]; render: IN OUT; join: OUT CHUNK...; plan: IN */
    bool json = false;                   /* describe, plan --json */
    std::vector<std::string> settings;   /* "LABEL=VALUE", in the order given */
    long frame = 0;
    std::optional<FrameRate> fps;
    std::optional<int> depth;            /* 8 or 16 */
    bool premiere = false;               /* --host premiere */
    unsigned threads = 0;                /* 0: all cores */
    std::optional<std::string> plugin;
    bool quiet = false;
    /* Video encoding: unset means the container's playable default. */
    std::optional<std::string> codec;    /* --codec NAME: any encoder libavcodec has */
    std::optional<int> crf;              /* --crf N */
    std::optional<std::string> pixFmt;   /* --pix-fmt NAME */
    std::vector<std::pair<std::string, std::string>> encoderOptions; /* --encoder-opt KEY=VALUE, in order */
    std::optional<RangeSpec> range;      /* render --range */
    std::optional<std::string> audioFrom; /* join --audio-from IN */
    std::optional<long> chunks;          /* plan --chunks N */
    std::optional<double> chunkSeconds;  /* plan --chunk-seconds S */
};

Options parseOptions(int argc, const char* const argv[]);

/* The usage text shown by --help and named in usage errors. */
std::string usageText();

/* Every option the parser knows, as it reads them ("-s,--set"): the usage text must list them all. */
std::vector<std::string> optionNames();

} // namespace cfcli
