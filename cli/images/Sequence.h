/* Sequence.h — numbered file names written as printf patterns: "shot_%04d.png" names frame 7
   "shot_0007.png". One %d conversion with an optional 0 flag and width; "%%" stands for a literal %. */
#pragma once

#include <optional>
#include <string>

namespace cfcli {

class SequencePattern {
public:
    /* Nothing when `text` holds no %d conversion (it is then a plain file name). Throws UsageError for a
       pattern with more than one conversion or with the conversion in a folder name. */
    static std::optional<SequencePattern> parse(const std::string& text);

    /* The file name of frame n, as printf would write it. */
    std::string format(long n) const;
    const std::string& text() const noexcept { return text_; }
    /* The frame number whose name is `name`, if the pattern names it. */
    std::optional<long> numberOf(const std::string& name) const;
    /* The first missing frame of a run that starts at `first` and has `count` files, when a file of a later
       frame exists (the sequence has a gap); nothing when the run is the whole sequence. */
    std::optional<long> gapAfter(long first, long count) const;

private:
    std::string text_;
    std::string prefix_;
    std::string suffix_;
    int width_ = 0;
    bool zeroPad_ = false;
};

} // namespace cfcli
