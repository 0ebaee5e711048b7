// The two Slurm client calls the farm makes: sbatch to submit a batch script
// and squeue to see whether a job is still queued or running. Each runs as a
// process with a deadline; SLURM_CONF and the rest of the environment pass
// through, so the clients reach whatever cluster they are set up for.
#pragma once

#include <string>

namespace trellin_cli {

// Submits `script` with sbatch and returns the job id. Throws Failure (exit
// code 1) with sbatch's own message when it refuses or cannot be run.
std::string sbatch_submit(const std::string& script);

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

// True when `text` is a job id as sbatch prints it (digits).
bool valid_job_id(const std::string& text);

}  // namespace trellin_cli
