/* Progress.h — a one-line progress bar on standard error for long work: frames done (of how many, when
   known), rate and time left. Drawn only on a terminal and never with -q; redrawn at most ten times a
   second, and ended with a newline when the work is done. */
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace cfcli {

/* The text of one progress line; total < 0 when the number of frames is not known. */
std::string progressLine(long done, long total, double seconds, int width);

class Progress {
public:
    /* enabled: false for -q; the bar also stays away when standard error is not a terminal. */
    Progress(bool enabled, long total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void frameDone();
    /* Draws the final state and moves to the next line. */
    void finish();

private:
    void draw(bool force);

    bool active_;
    long total_;
    long done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    bool drawn_ = false;
};

} // namespace cfcli
