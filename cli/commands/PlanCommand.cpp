/* PlanCommand.cpp — counting the input's frames as `render` numbers them (from --frame, at --fps), cutting them
   into ranges, and printing those as text or JSON. */
#include "commands/PlanCommand.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

#include "common/Errors.h"
#include "common/FrameRange.h"
#include "pipeline/Media.h"

namespace cfcli {

namespace {

/* Ranges covering `span` frames from `firstFrame`: `chunks` of them as even as whole frames allow (never more
   than there are frames), or `length` frames each. The last is open: frames past the count still belong to it. */
std::vector<FrameRange> planRanges(long firstFrame, long span, long chunks, long length)
{
    std::vector<long> cuts; /* the starts, and `span` at the end */
    if (chunks > 0) {
        const long n = std::min(chunks, span);
        for (long i = 0; i <= n; ++i) {
            cuts.push_back(static_cast<long>(static_cast<long long>(span) * i / n));
        }
    } else {
        length = std::max(1L, length);
        for (long at = 0; at < span; at += length) {
            cuts.push_back(at);
        }
        cuts.push_back(span);
    }
    std::vector<FrameRange> ranges;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        FrameRange r;
        r.first = static_cast<std::int64_t>(firstFrame + cuts[i]) * 100;
        r.end = static_cast<std::int64_t>(firstFrame + cuts[i + 1]) * 100;
        ranges.push_back(r);
    }
    if (!ranges.empty()) {
        ranges.back().end.reset();
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
    const AVRational rate = options.fps ? AVRational{options.fps->num, options.fps->den} : d.frameRate;
    /* The frames the file really holds, counted from its first as render numbers them (at the rate time values
       use), not the count or duration its header gives: a start offset or an edit list makes those wrong. */
    const FrameSource::Span held = source->measure();
    if (held.frames <= 0) {
        throw UsageError("cannot plan " + quoteName(in) + ": it holds no frames" +
                         (d.frameCount < 0 ? " that can be counted; render it whole, or give ranges by time "
                                             "(--range 00:00:00-00:10:00, ...) up to its end"
                                           : ""));
    }
    const TimeValues values(d.timeBase, rate, 0);
    const long span = static_cast<long>(values.ofTimestamp(held.last - held.first) / 100) + 1;
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
