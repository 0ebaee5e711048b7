#include "apps/trellin/farm_script.h"

#include <algorithm>
#include <sstream>

using trellin_app::FrameRange;

namespace trellin_cli {

long long chunk_count(const FrameRange& range, long long chunk)
{
    return (range.count() + chunk - 1) / chunk;
}

FrameRange chunk_range(const FrameRange& range, long long chunk, long long k)
{
    FrameRange part;
    part.step = range.step;
    part.first = range.first + k * chunk * range.step;
    const long long frames = std::min(chunk, range.count() - k * chunk);
    part.last = part.first + (frames - 1) * range.step;
    return part;
}

std::string range_text(const FrameRange& range)
{
    std::ostringstream text;
    text << range.first;
    if (range.last != range.first) {
        text << '-' << range.last;
        if (range.step != 1) text << 'x' << range.step;
    }
    return text.str();
}

std::string shell_quote(const std::string& text)
{
    std::string quoted = "'";
    for (char ch : text) {
        if (ch == '\'')
            quoted += "'\\''";
        else
            quoted += ch;
    }
    return quoted + "'";
}

namespace {

// An #SBATCH option value: sbatch reads these lines itself (no shell), and
// takes a double-quoted value as one word.
std::string sbatch_value(const std::string& text)
{
    if (text.find_first_of(" \t\"") == std::string::npos) return text;
    return "\"" + text + "\"";
}

}  // namespace

std::string batch_script(const FarmJob& job)
{
    const long long tasks = chunk_count(job.range, job.chunk);
    std::ostringstream s;
    s << "#!/bin/bash\n"
      << "# Written by trellin farm submit: frames " << range_text(job.range) << " of\n"
      << "#   " << job.input << "\n"
      << "# rendered to\n"
      << "#   " << job.output << "\n"
      << "# as " << tasks << " array task" << (tasks == 1 ? "" : "s") << " of up to " << job.chunk << " frame"
      << (job.chunk == 1 ? "" : "s") << ", with the settings frozen in\n"
      << "#   " << job.project << "\n"
      << "# A task skips frames that already exist, so a requeued task resumes; its log\n"
      << "# lists the frames it rendered.\n"
      << "#SBATCH --job-name=" << sbatch_value(job.job_name) << "\n"
      << "#SBATCH --array=0-" << tasks - 1 << "\n"
      << "#SBATCH --ntasks=1\n"
      << "#SBATCH --cpus-per-task=" << job.threads << "\n"
      << "#SBATCH --chdir=" << sbatch_value(job.work_dir) << "\n"
      << "#SBATCH --output=" << sbatch_value(job.log_pattern) << "\n";
    if (!job.partition.empty()) s << "#SBATCH --partition=" << sbatch_value(job.partition) << "\n";
    for (const std::string& extra : job.sbatch_extra) s << "#SBATCH " << extra << "\n";
    s << "set -eu\n"
      << "case \"${SLURM_ARRAY_TASK_ID:-}\" in\n";
    for (long long k = 0; k < tasks; ++k)
        s << "  " << k << ") frames=" << range_text(chunk_range(job.range, job.chunk, k)) << " ;;\n";
    s << "  *) echo \"trellin farm: no frames for array task '${SLURM_ARRAY_TASK_ID:-}' "
         "(submit this script with sbatch)\" >&2; exit 2 ;;\n"
      << "esac\n"
      << "export TRELLIN_MODULE=" << shell_quote(job.module) << "\n"
      << "exec " << shell_quote(job.trellin) << " render " << shell_quote(job.input) << " " << shell_quote(job.output)
      << " \\\n"
      << "  --frames \"$frames\" --skip-existing --project " << shell_quote(job.project) << " --threads " << job.threads
      << " --verbose\n";
    return s.str();
}

}  // namespace trellin_cli
