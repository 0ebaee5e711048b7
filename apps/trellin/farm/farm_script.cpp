#include "apps/trellin/farm/farm_script.h"

#include <algorithm>
#include <cstdio>
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

void check_script_value(const std::string& option, const std::string& value, bool may_quote)
{
    for (const char ch : value) {
        const auto code = static_cast<unsigned char>(ch);
        if (code < 0x20 || code == 0x7f)
            throw ScriptValueError(option + ": may not hold a line break or another control character (" +
                                   (ch == '\n' ? std::string("a line feed") : "character " + std::to_string(code)) +
                                   "): it would start a line of its own in the batch script");
        if (ch == '"' && !may_quote)
            throw ScriptValueError(option +
                                   ": may not hold a double quote: the batch script names it on an "
                                   "#SBATCH line or in a comment");
    }
}

void check_script_values(const FarmJob& job)
{
    // The paths stand on #SBATCH lines (the folder, the logs), in comments and
    // in commands; those made by farm submit come from OUT's name.
    for (const std::string* path :
         {&job.output, &job.project, &job.work_dir, &job.log_pattern, &job.parts, &job.join_log, &job.job_name})
        check_script_value("OUT", *path);
    check_script_value("IN", job.input);
    check_script_value("the trellin program's path", job.trellin);
    check_script_value("the effect module's path (TRELLIN_MODULE)", job.module);
    check_script_value("--partition", job.partition);
    for (const std::string& extra : job.sbatch_extra) check_script_value("--sbatch", extra, true);
    check_script_value("--rate", job.rate, true);
    check_script_value("the colour space", job.space, true);
    // The encoder's options come in pairs: the option, then its value.
    for (std::size_t i = 0; i < job.codec.size(); ++i)
        check_script_value(i % 2 == 1 ? job.codec[i - 1] : job.codec[i], job.codec[i], true);
}

namespace {

// An #SBATCH option value: sbatch reads these lines itself (no shell), and
// takes a double-quoted value as one word.
std::string sbatch_value(const std::string& text)
{
    if (text.find_first_of(" \t\"") == std::string::npos) return text;
    return "\"" + text + "\"";
}

// The #SBATCH lines both scripts share, after the job's name.
void common_lines(std::ostringstream& s, const FarmJob& job, const std::string& log)
{
    s << "#SBATCH --ntasks=1\n"
      << "#SBATCH --cpus-per-task=" << job.threads << "\n"
      << "#SBATCH --chdir=" << sbatch_value(job.work_dir) << "\n"
      << "#SBATCH --output=" << sbatch_value(log) << "\n";
    if (!job.partition.empty()) s << "#SBATCH --partition=" << sbatch_value(job.partition) << "\n";
    for (const std::string& extra : job.sbatch_extra) s << "#SBATCH " << extra << "\n";
}

}  // namespace

std::string part_path(const std::string& parts, long long k)
{
    char name[32];
    std::snprintf(name, sizeof name, "part-%05lld.mkv", k);
    return parts + "/" + name;
}

std::string batch_script(const FarmJob& job)
{
    check_script_values(job);
    const long long tasks = chunk_count(job.range, job.chunk);
    std::ostringstream s;
    s << "#!/bin/bash\n"
      << "# Written by trellin farm submit: frames " << range_text(job.range) << " of\n"
      << "#   " << job.input << "\n"
      << "# rendered to\n"
      << "#   " << job.output << "\n"
      << "# as " << tasks << " array task" << (tasks == 1 ? "" : "s") << " of up to " << job.chunk << " frame"
      << (job.chunk == 1 ? "" : "s") << ", with the settings frozen in\n"
      << "#   " << job.project << "\n";
    if (job.video())
        s << "# Each task renders its frames as a lossless part in\n"
          << "#   " << job.parts << "\n"
          << "# (a part already there is kept, so a requeued task resumes); the join job\n"
          << "# makes the video of them once every task has succeeded.\n";
    else
        s << "# A task skips frames that already exist, so a requeued task resumes; its log\n"
          << "# lists the frames it rendered.\n";
    s << "#SBATCH --job-name=" << sbatch_value(job.job_name) << "\n"
      << "#SBATCH --array=0-" << tasks - 1 << "\n";
    common_lines(s, job, job.log_pattern);
    s << "set -eu\n"
      << "case \"${SLURM_ARRAY_TASK_ID:-}\" in\n";
    for (long long k = 0; k < tasks; ++k) {
        s << "  " << k << ") frames=" << range_text(chunk_range(job.range, job.chunk, k));
        if (job.video()) s << " part=" << shell_quote(part_path(job.parts, k));
        s << " ;;\n";
    }
    s << "  *) echo \"trellin farm: no frames for array task '${SLURM_ARRAY_TASK_ID:-}' "
         "(submit this script with sbatch)\" >&2; exit 2 ;;\n"
      << "esac\n"
      << "export TRELLIN_MODULE=" << shell_quote(job.module) << "\n";
    if (job.video()) {
        s << "if [ -f \"$part\" ]; then echo \"trellin farm: $part is there already\" >&2; exit 0; fi\n"
          << "exec " << shell_quote(job.trellin) << " render " << shell_quote(job.input) << " \"$part\" \\\n"
          << "  --frames \"$frames\" --project " << shell_quote(job.project) << " --threads " << job.threads;
        if (!job.rate.empty()) s << " --rate " << shell_quote(job.rate);
        s << " --verbose\n";
    } else {
        s << "exec " << shell_quote(job.trellin) << " render " << shell_quote(job.input) << " "
          << shell_quote(job.output) << " \\\n"
          << "  --frames \"$frames\" --skip-existing --project " << shell_quote(job.project) << " --threads "
          << job.threads << " --verbose\n";
    }
    return s.str();
}

std::string join_script(const FarmJob& job)
{
    check_script_values(job);
    std::ostringstream s;
    s << "#!/bin/bash\n"
      << "# Written by trellin farm submit: joins the parts of frames " << range_text(job.range) << " in\n"
      << "#   " << job.parts << "\n"
      << "# into\n"
      << "#   " << job.output << "\n"
      << "# with the other streams of\n"
      << "#   " << job.input << "\n"
      << "# Submitted to run once the array job has succeeded; the parts are removed\n"
      << "# after the video is in place.\n"
      << "#SBATCH --job-name=" << sbatch_value(job.job_name + "-join") << "\n";
    common_lines(s, job, job.join_log);
    s << "set -eu\n"
      << "exec " << shell_quote(job.trellin) << " farm join " << shell_quote(job.input) << " "
      << shell_quote(job.output) << " \\\n"
      << "  --frames " << range_text(job.range) << " --chunk " << job.chunk << " --parts " << shell_quote(job.parts)
      << " --space " << shell_quote(job.space);
    if (!job.rate.empty()) s << " --rate " << shell_quote(job.rate);
    for (const std::string& option : job.codec) s << " " << shell_quote(option);
    s << "\n";
    return s.str();
}

}  // namespace trellin_cli
