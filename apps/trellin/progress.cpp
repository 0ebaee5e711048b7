#include "apps/trellin/progress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>

namespace trellin_cli {

namespace {

std::string clock_text(double seconds)
{
    const long long s = static_cast<long long>(std::llround(seconds));
    char text[48];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

}  // namespace

std::string progress_text(long long done, long long total, long long rendered, double seconds)
{
    char count[64];
    if (total > 0)
        std::snprintf(count, sizeof count, "%lld/%lld frames", done, total);
    else
        std::snprintf(count, sizeof count, "%lld frames", done);
    std::string text = count;
    if (rendered > 0 && seconds > 0.0) {
        const double fps = static_cast<double>(rendered) / seconds;
        char rate[48];
        std::snprintf(rate, sizeof rate, "  %.*f fps", fps < 10.0 ? 2 : 1, fps);
        text += rate;
        if (total > 0 && done < total) {
            text += "  ";
            text += clock_text(static_cast<double>(total - done) / fps);
            text += " left";
        }
    }
    return text;
}

Progress::Progress(Verbosity verbosity, long long total)
    : verbosity_(verbosity), total_(total), start_(Clock::now()), frame_start_(start_), last_shown_(start_)
{
    live_ = verbosity_ == Verbosity::normal && ::isatty(STDERR_FILENO) == 1;
}

Progress::~Progress()
{
    finish();
}

void Progress::rendered(const std::string& what)
{
    const Clock::time_point now = Clock::now();
    ++done_;
    ++rendered_;
    if (verbosity_ == Verbosity::verbose) {
        const double seconds = std::chrono::duration<double>(now - frame_start_).count();
        char took[48];
        std::snprintf(took, sizeof took, " (%.2f s)", seconds);
        std::cerr << "trellin: " << what << took << "\n";
    }
    frame_start_ = now;
    show(false);
}

void Progress::skipped(const std::string& what)
{
    ++done_;
    if (verbosity_ == Verbosity::verbose) std::cerr << "trellin: " << what << " (exists, skipped)\n";
    frame_start_ = Clock::now();
    show(false);
}

void Progress::show(bool force)
{
    if (!live_) return;
    const Clock::time_point now = Clock::now();
    // A few updates a second are enough to read; the last frame always shows.
    if (!force && done_ != total_ && now - last_shown_ < std::chrono::milliseconds(200)) return;
    last_shown_ = now;
    shown_done_ = done_;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    // Back to the line's start, the text, then clear what a longer text left.
    std::cerr << "\rtrellin: " << progress_text(done_, total_, rendered_, seconds) << "\x1b[K" << std::flush;
    line_open_ = true;
}

void Progress::finish()
{
    // The line ends on the count reached, even when the last update was held back.
    if (live_ && done_ > 0 && shown_done_ != done_) show(true);
    if (!line_open_) return;
    std::cerr << "\n" << std::flush;
    line_open_ = false;
}

}  // namespace trellin_cli
