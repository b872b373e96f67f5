/* PlanCommand.cpp — counting the input's frames as `render` numbers them (from --frame, at --fps), cutting them
   into ranges, and printing those as text or JSON. */
#include "PlanCommand.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

#include "Errors.h"
#include "FrameRange.h"
#include "Media.h"

namespace cfcli {

namespace {

/* Ranges covering `span` frames from `firstFrame`, either `chunks` of them or `length` frames each; the last is
   open, as many files only estimate how many frames they hold. */
std::vector<FrameRange> planRanges(long firstFrame, long span, long chunks, long length)
{
    if (chunks > 0) {
        length = (span + chunks - 1) / chunks;
    }
    length = std::max(1L, length);
    std::vector<FrameRange> ranges;
    for (long at = 0; at < span; at += length) {
        FrameRange r;
        r.first = static_cast<std::int64_t>(firstFrame + at) * 100;
        r.end = static_cast<std::int64_t>(firstFrame + std::min(span, at + length)) * 100;
        ranges.push_back(r);
    }
    if (!ranges.empty()) {
        ranges.back().end.reset(); /* frames past an estimate still belong to the last range */
    }
    return ranges;
}

} // namespace

int runPlan(const Options& options)
{
    const std::string in = options.positional[0];
    SourceOptions sourceOptions;
    sourceOptions.firstFrame = options.frame;
    sourceOptions.fps = options.fps.value_or(sourceOptions.fps);
    const std::unique_ptr<FrameSource> source = openSource(in, sourceOptions);
    const StreamDescription& d = source->description();
    if (d.frameCount <= 0) {
        throw UsageError("cannot plan " + quoteName(in) + ": it does not say how many frames it has; render it whole, "
                         "or give ranges by time (--range 00:00:00-00:10:00, ...) up to its end");
    }
    const AVRational rate = options.fps ? AVRational{options.fps->num, options.fps->den} : d.frameRate;
    /* Frames are counted at the rate time values use: a different --fps than the input's own counts more or fewer. */
    long span = d.frameCount;
    if (options.fps && av_cmp_q(rate, d.frameRate) != 0) {
        span = static_cast<long>(av_rescale_q_rnd(d.frameCount, av_inv_q(d.frameRate), av_inv_q(rate), AV_ROUND_UP));
    }
    const long length = options.chunkSeconds
                            ? std::max(1L, std::lround(*options.chunkSeconds * av_q2d(rate)))
                            : 0;
    const std::vector<FrameRange> ranges =
        planRanges(options.frame, span, options.chunks.value_or(0), length);

    std::string text;
    if (options.json) {
        nlohmann::ordered_json doc;
        doc["input"] = in;
        doc["frames"] = span;
        doc["fps"] = std::to_string(rate.num) + "/" + std::to_string(rate.den);
        doc["ranges"] = nlohmann::ordered_json::array();
        for (const FrameRange& r : ranges) {
            nlohmann::ordered_json item;
            item["range"] = r.text();
            item["first"] = r.first / 100;
            item["end"] = r.end ? nlohmann::ordered_json(*r.end / 100) : nlohmann::ordered_json(nullptr);
            doc["ranges"].push_back(item);
        }
        text = doc.dump(2) + "\n";
    } else {
        for (const FrameRange& r : ranges) {
            text += r.text() + "\n";
        }
    }
    std::fputs(text.c_str(), stdout);
    return kExitDone;
}

} // namespace cfcli
