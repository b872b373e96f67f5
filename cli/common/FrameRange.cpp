/* FrameRange.cpp — reading ranges as the user writes them, turning them into time values, and the source that delivers only a range's frames (seeking close to it first). */
#include "common/FrameRange.h"

extern "C" {
#include <libavutil/parseutils.h>
}

#include <climits>
#include <cstdio>

#include "common/Errors.h"
#include "pipeline/Media.h"
#include "common/Options.h"
#include "common/Text.h"

namespace cfcli {

TimeValues::TimeValues(AVRational timeBase, AVRational rate, long firstFrame)
    : timeBase_(timeBase), rate_(rate), firstFrame_(firstFrame)
{
    /* One unit is 1 / (100 R) seconds; reduced, as R's numerator times 100 can pass an int. */
    av_reduce(&unit_.num, &unit_.den, rate.den, static_cast<std::int64_t>(rate.num) * 100, INT_MAX);
}

std::int64_t TimeValues::ofTimestamp(std::int64_t sinceFirst) const
{
    /* past every frame number: where a time too far to express in units lands (FFmpeg gives INT64_MIN then) */
    constexpr std::int64_t kFar = std::int64_t{1} << 62;
    std::int64_t value = av_rescale_q_rnd(sinceFirst, timeBase_, unit_, AV_ROUND_NEAR_INF);
    if (value == INT64_MIN || value > kFar || value < -kFar) {
        value = sinceFirst < 0 ? -kFar : kFar;
    }
    // A container that keeps coarse times (Matroska and WebM keep whole milliseconds) stores a frame's time
    // rounded: at 24 fps the third frame, 83.33 ms, comes back as 83 ms, 199.2 units, and would get the
    // second frame's chaos. A value the stored time cannot tell from a whole frame is that frame.
    const double slack = 0.5 * av_q2d(timeBase_) / av_q2d(unit_) + 0.5;
    const std::int64_t whole = (value >= 0 ? value + 50 : value - 50) / 100 * 100;
    if (static_cast<double>(value > whole ? value - whole : whole - value) <= slack) {
        value = whole;
    }
    return static_cast<std::int64_t>(firstFrame_) * 100 + value;
}

std::int64_t TimeValues::ofMicroseconds(std::int64_t microseconds) const
{
    return static_cast<std::int64_t>(firstFrame_) * 100 +
           av_rescale_q_rnd(microseconds, AV_TIME_BASE_Q, unit_, AV_ROUND_NEAR_INF);
}

std::int64_t TimeValues::timestampOf(std::int64_t value) const
{
    return av_rescale_q(value - static_cast<std::int64_t>(firstFrame_) * 100, unit_, timeBase_);
}

std::int64_t TimeValues::scale() const
{
    return av_rescale(rate_.num, 100, rate_.den);
}

namespace {

RangeBound bound(const std::string& text, const std::string& whole)
{
    RangeBound b;
    const std::size_t sign = text.size() > 1 && text[0] == '-' ? 1 : 0;
    const bool digits = !text.empty() && text.size() - sign <= 9 &&
                        text.find_first_not_of("0123456789", sign) == std::string::npos && text.size() > sign;
    if (digits) {
        b.frame = std::stol(text);
        if (b.frame >= -kMaxFrame && b.frame <= kMaxFrame) {
            return b;
        }
    } else if (!text.empty() && text[0] != '-' && text[0] != '+' && av_parse_time(&b.microseconds, text.c_str(), 1) == 0) {
        b.isTime = true;
        return b;
    }
    throw UsageError("--range takes FIRST-END in frame numbers (120-240, 480- to the end) or times after the first "
                     "frame (00:01:00-00:02:00, 90s-120s), not " + quoteName(whole));
}

std::int64_t valueOf(const RangeBound& b, const TimeValues& values)
{
    return b.isTime ? values.ofMicroseconds(b.microseconds) : static_cast<std::int64_t>(b.frame) * 100;
}

std::string frameText(std::int64_t value)
{
    return value % 100 == 0 ? std::to_string(value / 100) : shortestText(static_cast<double>(value) / 100);
}

} // namespace

RangeSpec RangeSpec::parse(const std::string& text)
{
    /* The first '-' after the first character divides; a frame number before it may be negative. */
    const std::size_t dash = text.find('-', 1);
    if (dash == std::string::npos) {
        bound("", text);
    }
    RangeSpec spec;
    spec.text = text;
    spec.first = bound(text.substr(0, dash), text);
    if (dash + 1 < text.size()) {
        spec.end = bound(text.substr(dash + 1), text);
    }
    return spec;
}

FrameRange FrameRange::resolve(const RangeSpec& spec, const TimeValues& values)
{
    FrameRange range;
    const std::int64_t limit = static_cast<std::int64_t>(kMaxFrame) * 100;
    auto checked = [&](const RangeBound& b) {
        const std::int64_t v = valueOf(b, values);
        if (v > limit || v < -limit) {
            throw UsageError("--range " + quoteName(spec.text) + " goes past the last frame number the host's time "
                             "values can express (" + std::to_string(kMaxFrame) + ")");
        }
        return v;
    };
    range.first = checked(spec.first);
    if (spec.end) {
        range.end = checked(*spec.end);
        if (*range.end <= range.first) {
            throw UsageError("--range " + quoteName(spec.text) + " holds no frames: its end is not after its start");
        }
    }
    return range;
}

long FrameRange::firstFrameNumber() const
{
    const std::int64_t whole = first / 100;
    return static_cast<long>(first % 100 > 0 ? whole + 1 : whole);
}

std::string FrameRange::text() const
{
    return frameText(first) + "-" + (end ? frameText(*end) : "");
}

namespace {

class RangedSource : public FrameSource {
public:
    RangedSource(std::unique_ptr<FrameSource> inner, const FrameRange& range, const TimeValues& values,
                 bool* inputEnded)
        : inner_(std::move(inner)), range_(range), values_(values), description_(inner_->description()),
          inputEnded_(inputEnded)
    {
        /* How many frames it holds is known only at its end (the input's count may be an estimate, and frames of
           variable-rate footage fall into ranges by their times). */
        description_.frameCount = -1;
        description_.audio = nullptr;
        description_.extras.clear();
    }
    const StreamDescription& description() const override { return description_; }
    long errors() const override { return inner_->errors(); }
    std::optional<std::int64_t> origin() const override { return origin_; }

    bool next(cfhost::World& world, std::int64_t& pts) override
    {
        if (ended_) {
            return false;
        }
        if (!origin_) {
            if (!readInner(world, pts)) {
                return false;
            }
            origin_ = pts;
            seekTowardsStart(world);
            if (have_) {
                pts = pending_;
                have_ = false;
                if (deliver(pts)) {
                    return true;
                }
            }
        }
        while (!ended_ && readInner(world, pts)) {
            if (deliver(pts)) {
                return true;
            }
        }
        ended_ = true;
        return false;
    }

private:
    bool readInner(cfhost::World& world, std::int64_t& pts)
    {
        if (inner_->next(world, pts)) {
            return true;
        }
        if (inputEnded_ != nullptr) {
            *inputEnded_ = true;
        }
        return false;
    }

    std::int64_t valueOf(std::int64_t pts) const { return values_.ofTimestamp(pts - *origin_); }

    /* Whether a frame read is one to hand on; a frame past the end ends the range. */
    bool deliver(std::int64_t pts)
    {
        const std::int64_t value = valueOf(pts);
        if (range_.end && value >= *range_.end) {
            ended_ = true;
            return false;
        }
        return value >= range_.first;
    }

    /* When the range starts well after the first frame, seek to a keyframe shortly before it. A seek that lands
       after the range's start (an imprecise index) is repeated further back, down to the input's start, so that
       no frame of the range is skipped. The frame in `world` afterwards is the next one to judge (have_). */
    void seekTowardsStart(cfhost::World& world)
    {
        have_ = true;
        pending_ = *origin_;
        const std::int64_t start = *origin_ + values_.timestampOf(range_.first);
        const std::int64_t second = av_rescale_q(1, AVRational{1, 1}, description_.timeBase);
        std::int64_t margin = std::max<std::int64_t>(second, 1);
        if (start - *origin_ <= margin) {
            return; /* read on from the first frame */
        }
        while (true) {
            const std::int64_t target = std::max(*origin_, start - margin);
            if (!inner_->seek(target)) {
                if (!seekedOnce_) {
                    return; /* cannot seek: read on from the first frame, which is still in `world` */
                }
                throw UsageError("cannot read " + quoteName(description_.name) +
                                 ": it does not seek back to the start of the range");
            }
            seekedOnce_ = true;
            std::int64_t pts = 0;
            if (!inner_->next(world, pts)) {
                have_ = false;
                if (target == *origin_) {
                    ended_ = true;
                    return;
                }
            } else {
                have_ = true;
                pending_ = pts;
                if (valueOf(pts) <= range_.first || target == *origin_) {
                    return;
                }
            }
            margin *= 4;
        }
    }

    std::unique_ptr<FrameSource> inner_;
    FrameRange range_;
    TimeValues values_;
    StreamDescription description_;
    std::optional<std::int64_t> origin_;
    std::int64_t pending_ = 0;
    bool have_ = false;
    bool seekedOnce_ = false;
    bool ended_ = false;
    bool* inputEnded_;
};

} // namespace

std::unique_ptr<FrameSource> rangedSource(std::unique_ptr<FrameSource> inner, const FrameRange& range,
                                          const TimeValues& values, bool* inputEnded)
{
    return std::make_unique<RangedSource>(std::move(inner), range, values, inputEnded);
}

} // namespace cfcli
