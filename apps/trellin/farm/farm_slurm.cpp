#include "apps/trellin/farm/farm_slurm.h"

#include <cctype>
#include <stdexcept>

#include "apps/trellin/commands.h"
#include "apps/trellin/farm/farm_process.h"

namespace trellin_cli {

namespace {

// How long one client call may take: a busy controller answers slowly, a dead
// one never.
constexpr double sbatch_deadline_s = 120;
constexpr double squeue_deadline_s = 60;

std::string trimmed(const std::string& text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return text.substr(b, e - b);
}

// The first line of a client's error output, for one-line messages.
std::string first_line(const std::string& text)
{
    const std::string t = trimmed(text);
    return t.substr(0, t.find('\n'));
}

ProcessResult run_client(const std::vector<std::string>& argv, double deadline_s)
{
    if (find_program(argv[0]).empty())
        throw Failure{exit_failed, argv[0] +
                                       " not found: run on a machine with Slurm's client programs "
                                       "(Debian package slurm-client)"};
    try {
        return run_process(argv, deadline_s);
    } catch (const std::runtime_error& e) {
        throw Failure{exit_failed, e.what()};
    }
}

}  // namespace

bool valid_job_id(const std::string& text)
{
    if (text.empty() || text.size() > 18) return false;
    for (char ch : text)
        if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
    return true;
}

std::string sbatch_submit(const std::string& script, const std::vector<std::string>& options)
{
    std::vector<std::string> argv = {"sbatch", "--parsable"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(script);
    const ProcessResult r = run_client(argv, sbatch_deadline_s);
    if (r.timed_out)
        throw Failure{exit_failed, "sbatch gave no answer within " + std::to_string(int(sbatch_deadline_s)) + " s"};
    if (r.code != 0) {
        const std::string why = first_line(r.err);
        throw Failure{exit_failed,
                      "sbatch refused the job: " + (why.empty() ? "exit code " + std::to_string(r.code) : why)};
    }
    // "ID" or "ID;CLUSTER".
    const std::string out = trimmed(r.out);
    const std::string id = out.substr(0, out.find(';'));
    if (!valid_job_id(id)) throw Failure{exit_failed, "sbatch printed no job id (\"" + out + "\")"};
    return id;
}

void scancel_quietly(const std::string& job_id)
{
    try {
        run_client({"scancel", job_id}, squeue_deadline_s);
    } catch (const Failure&) {
    }
}

std::string job_state(const std::string& job_id)
{
    ProcessResult r;
    try {
        r = run_client({"squeue", "--noheader", "--states=all", "--jobs=" + job_id, "--format=%T %r"},
                       squeue_deadline_s);
    } catch (const Failure&) {
        return "";
    }
    if (r.timed_out || r.code != 0) return "";
    const std::string line = first_line(r.out);
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) return line;
    const std::string state = line.substr(0, space), reason = trimmed(line.substr(space + 1));
    return reason.empty() || reason == "None" ? state : state + " (" + reason + ")";
}

QueueCheck squeue_check(const std::string& job_id)
{
    QueueCheck check;
    const ProcessResult r =
        run_client({"squeue", "--noheader", "--jobs=" + job_id, "--format=%i %T"}, squeue_deadline_s);
    if (r.timed_out) {
        check.message = "squeue gave no answer within " + std::to_string(int(squeue_deadline_s)) + " s";
    } else if (r.code == 0) {
        check.state = trimmed(r.out).empty() ? QueueState::gone : QueueState::queued;
    } else if (r.err.find("Invalid job id") != std::string::npos) {
        // The controller has already forgotten the finished job.
        check.state = QueueState::gone;
    } else {
        const std::string why = first_line(r.err);
        check.message = "squeue failed: " + (why.empty() ? "exit code " + std::to_string(r.code) : why);
    }
    return check;
}

}  // namespace trellin_cli
