// Progress of a run over many frames, on standard error.
//
// quiet    nothing at all;
// normal   on a terminal one line that updates in place: frames done of the
//          total, frames per second and the time left; nothing when standard
//          error is not a terminal (a log file or a pipe gets no clutter);
// verbose  one line per frame, terminal or not.
#pragma once

#include <chrono>
#include <string>

namespace trellin_cli {

enum class Verbosity { quiet, normal, verbose };

class Progress {
public:
    // `total` frames in the run; 0 when not known in advance (a pipe).
    Progress(Verbosity verbosity, long long total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // A frame was rendered; `what` describes it for the verbose line.
    void rendered(const std::string& what);
    // A frame was left out (its output exists already).
    void skipped(const std::string& what);
    // Ends the updating line (also done by the destructor). Call before
    // printing anything else on standard error.
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    void show(bool force);

    Verbosity verbosity_;
    bool live_ = false;  // an updating line on a terminal
    bool line_open_ = false;
    long long total_ = 0;
    long long done_ = 0;         // rendered and skipped
    long long rendered_ = 0;     // rendered only: these set the speed
    long long shown_done_ = -1;  // done_ as the line last showed it
    Clock::time_point start_;
    Clock::time_point frame_start_;
    Clock::time_point last_shown_;
};

// The "frames per second" and "time left" parts, for tests of the layout:
// "12/100 frames  3.4 fps  0:26 left" (total 0: "12 frames  3.4 fps").
std::string progress_text(long long done, long long total, long long rendered, double seconds);

}  // namespace trellin_cli
