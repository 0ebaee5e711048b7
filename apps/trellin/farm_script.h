// The Slurm batch script of a farm job: one array task per chunk of the frame
// range, each rendering its chunk with `trellin render ... --skip-existing`
// from the frozen project, so a requeued or restarted task picks up where it
// stopped and every task renders the same settings.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/frame_sequence.h"

namespace trellin_cli {

// How many chunks of up to `chunk` frames the range splits into.
long long chunk_count(const trellin_app::FrameRange& range, long long chunk);

// Chunk `k` (0-based) of the range: `chunk` frames of it (fewer in the last),
// with the range's step.
trellin_app::FrameRange chunk_range(const trellin_app::FrameRange& range, long long chunk, long long k);

// The range as `trellin render --frames` takes it ("5-9", "0-20x4", "7").
std::string range_text(const trellin_app::FrameRange& range);

// `text` quoted for a POSIX shell (single quotes; a single quote inside
// becomes '\'').
std::string shell_quote(const std::string& text);

// Everything the script names. Paths are absolute: the tasks run on other
// machines, in other folders.
struct FarmJob {
    std::string trellin;      // the trellin program
    std::string module;       // the effect module it loaded
    std::string input;        // input pattern (%04d or ####)
    std::string output;       // output pattern
    std::string project;      // the frozen project file
    std::string work_dir;     // the tasks' working folder (the outputs' folder)
    std::string log_pattern;  // Slurm's log file per task (with %A, %a)
    std::string job_name;
    trellin_app::FrameRange range;
    long long chunk = 1;
    std::string partition;                  // "": the cluster's default
    int threads = 1;                        // processors per task
    std::vector<std::string> sbatch_extra;  // further sbatch options, one per #SBATCH line
};

// The batch script's text.
std::string batch_script(const FarmJob& job);

}  // namespace trellin_cli
