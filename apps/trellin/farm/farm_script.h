// The Slurm batch scripts of a farm job: one array task per chunk of the
// frame range, each rendering its chunk with `trellin render` from the frozen
// project, so every task renders the same settings. Into a picture sequence
// a task renders with --skip-existing, so a requeued or restarted task picks
// up where it stopped. Into a video each task renders its chunk as a lossless
// part (FFV1, 16-bit RGB(A)) in a folder beside the video, and a join job,
// run once the array job has succeeded, encodes the parts in order into the
// video with the input's other streams (`trellin farm join`).
#pragma once

#include <stdexcept>
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

    // A video output only:
    std::string parts;               // the folder of the tasks' parts
    std::string rate;                // --rate, for a video made of pictures ("": the default)
    std::string space;               // the colour space the video is written in
    std::vector<std::string> codec;  // the encoder's options (--codec NAME, --crf N, ...)
    std::string join_log;            // Slurm's log file of the join job
    bool video() const { return !parts.empty(); }
};

// A value the batch scripts cannot hold; what() names the option it came from.
struct ScriptValueError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// The one check of every value a script is written with: a line break or any
// other control character would end the #SBATCH line, comment or command it
// stands in and start a line of the value's own making, so it is refused,
// wherever the value goes. A double quote is refused too, unless
// `may_quote`: sbatch reads #SBATCH lines itself and takes a double-quoted
// value as one word. `option` names the value in the error ("--partition",
// "OUT"). Throws ScriptValueError.
void check_script_value(const std::string& option, const std::string& value, bool may_quote = false);

// Every value of the job through check_script_value, each named by the option
// it came from; batch_script and join_script check the job so, before they
// write a line.
void check_script_values(const FarmJob& job);

// The part that array task `k` of a video job renders: "PARTS/part-00003.mkv".
std::string part_path(const std::string& parts, long long k);

// The array job's batch script.
std::string batch_script(const FarmJob& job);

// The join job's batch script (a video output only): `trellin farm join`,
// submitted to run after the array job has succeeded.
std::string join_script(const FarmJob& job);

}  // namespace trellin_cli
