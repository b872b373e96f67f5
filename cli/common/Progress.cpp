/* Progress.cpp — formatting and drawing the progress line. */
#include "common/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace cfcli {

namespace {

std::string clock(double seconds)
{
    const long s = std::lround(std::max(0.0, seconds));
    char buf[32];
    if (s >= 3600) {
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    }
    return buf;
}

int terminalWidth()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) {
        return size.ws_col;
    }
    return 80;
}

} // namespace

std::string progressLine(long done, long total, double seconds, int width)
{
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    char rateText[32];
    std::snprintf(rateText, sizeof rateText, "%.1f fps", rate);
    std::string tail;
    if (total > 0) {
        tail = " " + std::to_string(done) + "/" + std::to_string(total) + " frames  " + rateText;
        if (done >= total) {
            tail += "  " + clock(seconds) + " total";
        } else {
            tail += rate > 0 ? "  " + clock(static_cast<double>(total - done) / rate) + " left" : "  --:-- left";
        }
        const int barWidth = std::clamp(width - static_cast<int>(tail.size()) - 3, 0, 40);
        const long filled = std::min<long>(barWidth, done * barWidth / total);
        std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                          std::string(static_cast<std::size_t>(barWidth - filled), '.') + "]";
        return barWidth > 0 ? bar + tail : tail.substr(1);
    }
    return std::to_string(done) + " frames  " + rateText + "  " + clock(seconds) + " elapsed";
}

Progress::Progress(bool enabled, long total)
    : active_(enabled && ::isatty(STDERR_FILENO) == 1), total_(total), start_(std::chrono::steady_clock::now()),
      lastDraw_(start_)
{
}

Progress::~Progress()
{
    if (active_ && drawn_) {
        std::fputs("\n", stderr); /* leave the partial bar on its own line when the work stopped early */
    }
}

void Progress::frameDone()
{
    ++done_;
    if (total_ >= 0 && done_ > total_) {
        total_ = done_; /* the count was an estimate */
    }
    draw(false);
}

void Progress::finish()
{
    if (total_ >= 0) {
        total_ = done_;
    }
    draw(true);
    if (active_ && drawn_) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
    }
    active_ = false;
}

void Progress::draw(bool force)
{
    if (!active_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastDraw_ = now;
    drawn_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const int width = terminalWidth() - 1;
    std::string line = progressLine(done_, total_, seconds, width);
    if (static_cast<int>(line.size()) > width) {
        line.resize(static_cast<std::size_t>(width));
    }
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
}

} // namespace cfcli
