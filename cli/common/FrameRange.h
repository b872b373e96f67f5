/* FrameRange.h — part of the input rendered on its own (`render --range`): its frames, judged by each frame's time
   value so neighbouring ranges neither share nor lose one; a source that seeks to it. */
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

namespace cfcli {

class FrameSource;

/* The effect's time of a frame: with R the nominal rate, one frame is 100 units, and a frame shown t seconds after
   the input's first frame has 100 × firstFrame + round(t × R × 100), or the whole frame's value where t, as
   precisely as the file stores it, could be that frame's time. */
class TimeValues {
public:
    TimeValues(AVRational timeBase, AVRational rate, long firstFrame);
    /* Of a frame whose timestamp (in timeBase) lies `sinceFirst` after the first frame's. */
    std::int64_t ofTimestamp(std::int64_t sinceFirst) const;
    /* Of a moment `microseconds` after the first frame. */
    std::int64_t ofMicroseconds(std::int64_t microseconds) const;
    /* The timestamp (in timeBase, counted from the first frame's) of a time value. */
    std::int64_t timestampOf(std::int64_t value) const;
    /* The host's time scale for these values (round(R × 100)). */
    std::int64_t scale() const;

private:
    AVRational timeBase_;
    AVRational unit_;
    AVRational rate_;
    long firstFrame_;
};

/* One end of a range as the user wrote it: a frame number, or a time after the first frame. */
struct RangeBound {
    bool isTime = false;
    long frame = 0;
    std::int64_t microseconds = 0;
};

/* "A-B", "A-" (to the end), "00:01:00-00:02:00", "90s-2:00" as written; throws UsageError for anything else. */
struct RangeSpec {
    RangeBound first;
    std::optional<RangeBound> end; /* none: to the end of the input */
    std::string text;
    static RangeSpec parse(const std::string& text);
};

/* A range in time values: a frame belongs to it when first ≤ its value < end. */
struct FrameRange {
    std::int64_t first = 0;
    std::optional<std::int64_t> end;

    static FrameRange resolve(const RangeSpec& spec, const TimeValues& values);
    /* The number of the first frame that can belong to it. */
    long firstFrameNumber() const;
    /* "40-80" in frame numbers (fractions where a bound falls between frames), "80-" when open. */
    std::string text() const;
};

/* Only the frames of `range` from `inner`: seeks near its start when the source can, reads on to it, and ends at its
   end. Timestamps stay the input's, and origin() is the input's first frame, so each frame has the time it has in a
   whole render. When `inputEnded` is given, it is set once the input ends inside the range (the range holds the
   input's last frame). */
std::unique_ptr<FrameSource> rangedSource(std::unique_ptr<FrameSource> inner, const FrameRange& range,
                                          const TimeValues& values, bool* inputEnded = nullptr);

} // namespace cfcli
