// The Slurm client calls the farm makes: sbatch to submit a batch script,
// squeue to see whether a job is still queued or running and how it ended,
// and scancel to take back a job submitted in vain. Each runs as a
// process with a deadline; SLURM_CONF and the rest of the environment pass
// through, so the clients reach whatever cluster they are set up for.
#pragma once

#include <string>
#include <vector>

namespace trellin_cli {

// Submits `script` with sbatch and returns the job id. Throws Failure (exit
// code 1) with sbatch's own message when it refuses or cannot be run.
// `options` go before the script (e.g. a dependency).
std::string sbatch_submit(const std::string& script, const std::vector<std::string>& options = {});

// Cancels `job_id` as far as it can; failures are left unsaid (it is the
// clean-up of a submission that failed already).
void scancel_quietly(const std::string& job_id);

enum class QueueState {
    queued,   // the job (some array task of it) is pending or running
    gone,     // the job has left the queue
    unknown,  // squeue failed; `message` says why
};

struct QueueCheck {
    QueueState state = QueueState::unknown;
    std::string message;
};

// Asks squeue about `job_id`.
QueueCheck squeue_check(const std::string& job_id);

// A job's state and why, while the controller remembers it (a job that has
// left the queue by default for 5 minutes): "RUNNING", "PENDING (Dependency)",
// "COMPLETED", "FAILED", "CANCELLED (DependencyNeverSatisfied)" and the like;
// "" when it has forgotten the job or cannot be asked.
std::string job_state(const std::string& job_id);

// The state of a job held by a dependency that can never be met.
inline constexpr const char* never_runs = "PENDING (DependencyNeverSatisfied)";

// True when `text` is a job id as sbatch prints it (digits).
bool valid_job_id(const std::string& text);

}  // namespace trellin_cli
