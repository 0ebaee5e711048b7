// trellin farm: renders a shot on a Slurm cluster, split into frame-range
// jobs.
//
//   farm submit IN OUT --frames A-B --chunk N   writes a batch script and a
//       frozen project beside the outputs and submits the script with sbatch
//       as an array job, one task per chunk of N frames; prints the job id.
//   farm status OUT --frames A-B                frames done and missing, from
//       the output files.
//   farm wait JOBID OUT --frames A-B            waits until the job has left
//       the queue; succeeds only when every frame exists.
//
// The settings (--project, --key, --set and the colour options) are resolved into a node exactly as
// `trellin render` resolves them and written out as one project file at
// submission; every task reads only that file, so editing the user's own
// project later cannot change a job already queued.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/project_file.h"
#include "apps/trellin/command_support.h"
#include "apps/trellin/farm_arguments.h"
#include "apps/trellin/farm_frames.h"
#include "apps/trellin/farm_script.h"
#include "apps/trellin/farm_slurm.h"

namespace fs = std::filesystem;

using namespace trellin_app;

namespace trellin_cli {

namespace {

// More array tasks than any cluster takes (Slurm's own limit is usually 1000);
// the script holds one line per task.
constexpr long long max_tasks = 100000;

FrameRange range_option(const std::string& text)
{
    try {
        return parse_frame_range(text);
    } catch (const SequenceError& e) {
        throw Failure{exit_usage, std::string("--frames: ") + e.what()};
    }
}

// The pattern of a sequence argument; a Failure when it numbers no frames.
FramePattern sequence_pattern(const std::string& path, const std::string& argument)
{
    try {
        FramePattern pattern(path);
        if (!pattern.numbered())
            throw Failure{exit_usage, path + ": " + argument +
                                          " needs a frame number pattern in its name (%04d or ####), e.g. "
                                          "shot.%04d.png"};
        return pattern;
    } catch (const SequenceError& e) {
        throw Failure{exit_usage, e.what()};
    }
}

// The batch script names every path on #SBATCH lines and in comments, where
// a double quote or a line break cannot be written safely.
void check_path_text(const std::string& path)
{
    if (path.find_first_of("\"\n\r") != std::string::npos)
        throw Failure{exit_usage, path + ": a path for the farm may not hold a double quote or a line break"};
}

// "glass" for ".../glass.%04d.png": the output name without its folder,
// extension, frame pattern and the separators around it.
std::string shot_name(const std::string& output)
{
    std::string name = fs::path(output).stem().string();
    std::string kept;
    for (std::size_t i = 0; i < name.size();) {
        if (name[i] == '#') {
            while (i < name.size() && name[i] == '#') ++i;
        } else if (name[i] == '%') {
            i = name.find('d', i);
            i = i == std::string::npos ? name.size() : i + 1;
        } else {
            kept += name[i++];
        }
    }
    const std::string separators = "._- ";
    const std::size_t b = kept.find_first_not_of(separators);
    if (b == std::string::npos) return "shot";
    return kept.substr(b, kept.find_last_not_of(separators) + 1 - b);
}

std::string time_stamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Claims a name for this submission's files "FOLDER/SHOT.farm-STAMP[-N]" by
// creating its script file, so two submissions never share their files.
std::string claim_job_base(const std::string& folder, const std::string& shot)
{
    const std::string stem = folder + "/" + shot + ".farm-" + time_stamp();
    for (int n = 1; n < 1000; ++n) {
        const std::string base = n == 1 ? stem : stem + "-" + std::to_string(n);
        const int fd = open((base + ".sh").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
            return base;
        }
        if (errno != EEXIST) throw Failure{exit_failed, base + ".sh: " + std::strerror(errno)};
    }
    throw Failure{exit_failed, stem + ": too many farm submissions in one second"};
}

void write_text(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw Failure{exit_failed, path + ": cannot write the batch script"};
}

class FarmCommand : public Command, FarmArguments {
public:
    CLI::App* add_to(CLI::App& app) override { return declare(app); }

    int run() override
    {
        if (submit_->parsed()) return run_submit();
        if (status_->parsed()) return run_status();
        return run_wait();
    }

private:
    int run_submit()
    {
        const FrameRange range = range_option(frames_);
        const FramePattern in = sequence_pattern(absolute_name(input_), "IN");
        const FramePattern out = sequence_pattern(absolute_name(output_), "OUT");
        for (const std::string& path : {in.text(), out.text()}) check_path_text(path);
        // Names are absolute, not resolved through symbolic links: the name the
        // user gives is the one every node of the cluster sees.
        // Here, where the names are checked, folders linked elsewhere are
        // resolved as well: frames that meet there meet on the nodes too.
        std::optional<long long> f = first_overlap(in, out, range);
        if (!f) f = first_overlap(FramePattern(resolved_name(input_)), FramePattern(resolved_name(output_)), range);
        if (f)
            throw Failure{exit_usage, out.path_for(*f) + ": OUT frame " + std::to_string(*f) +
                                          " would replace an input frame; write the frames to other names"};
        try {
            out.check_distinct(range);
        } catch (const SequenceError& e) {
            throw Failure{exit_usage, e.what()};
        }
        if (chunk_count(range, chunk_) > max_tasks)
            throw Failure{exit_usage, "--chunk " + std::to_string(chunk_) + " splits " + std::to_string(range.count()) +
                                          " frames into more than " + std::to_string(max_tasks) +
                                          " tasks; give a larger chunk"};
        for (const std::string& extra : sbatch_extra_)
            if (extra.find_first_of("\n\r") != std::string::npos)
                throw Failure{exit_usage, "--sbatch: an option may not hold a line break"};
        const NodeSettings parsed = parse_node_settings(frame_options_, control_options_);

        // Everything a task needs must be there before anything is queued.
        for (long long f = range.first; f <= range.last; f += range.step) {
            std::error_code ec;
            if (!fs::is_regular_file(in.path_for(f), ec))
                throw Failure{exit_usage, in.path_for(f) + ": input frame " + std::to_string(f) + " does not exist"};
        }
        check_output(out.path_for(range.first));
        if (!dry_run_) check_folder_writable(out.path_for(range.first));

        // The node the tasks will render with, built as `trellin render` builds it.
        NodeModule module = load_module();
        RenderOptions project_render;
        NodePtr node = prepare_node(module, control_options_, parsed, &project_render);
        const PictureColour colour = prepare_colour(*node, project_render, colour_options_);

        const std::string folder = fs::path(out.text()).parent_path().string();
        const std::string shot = shot_name(out.text());
        FarmJob job;
        job.trellin = fs::read_symlink("/proc/self/exe").string();
        job.module = absolute_name(module.path());
        job.input = in.text();
        job.output = out.text();
        job.work_dir = folder;
        job.job_name = "trellin-" + shot;
        job.range = range;
        job.chunk = chunk_;
        job.partition = partition_;
        job.threads = frame_options_.threads;
        job.sbatch_extra = sbatch_extra_;
        for (const std::string& path : {job.trellin, job.module}) check_path_text(path);

        const std::string base =
            dry_run_ ? folder + "/" + shot + ".farm-" + time_stamp() : claim_job_base(folder, shot);
        job.project = base + ".json";
        job.log_pattern = base + ".task-%a.log";
        const std::string script = batch_script(job);
        if (dry_run_) {
            std::cout << script;
            return exit_done;
        }

        const std::string script_path = base + ".sh";
        try {
            save_project(*node, job.project, &colour.options());
            write_text(script_path, script);
            const std::string id = sbatch_submit(script_path);
            const long long tasks = chunk_count(range, chunk_);
            std::cerr << "trellin: farm: job " << id << ": " << range.count() << " frames in " << tasks << " task"
                      << (tasks == 1 ? "" : "s") << " of up to " << chunk_ << "\n"
                      << "trellin: farm: settings frozen in " << job.project << "\n"
                      << "trellin: farm: logs in " << base << ".task-*.log\n";
            std::cout << id << "\n";
        } catch (const ProjectError& e) {
            discard(base);
            throw Failure{exit_failed, e.what()};
        } catch (...) {
            discard(base);
            throw;
        }
        return exit_done;
    }

    // Removes the files of a submission that did not happen.
    static void discard(const std::string& base)
    {
        std::error_code ignored;
        fs::remove(base + ".sh", ignored);
        fs::remove(base + ".json", ignored);
    }

    int run_status()
    {
        const FrameRange range = range_option(status_frames_);
        const FramePattern out = sequence_pattern(status_output_, "OUT");
        const FrameStatus status = frame_status(out, range);
        std::cout << status_text(status) << "\n";
        return status.missing.empty() ? exit_done : exit_failed;
    }

    int run_wait()
    {
        if (!valid_job_id(job_id_)) throw Failure{exit_usage, "\"" + job_id_ + "\": a job id is a number"};
        const FrameRange range = range_option(status_frames_);
        const FramePattern out = sequence_pattern(status_output_, "OUT");

        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
        // Quick polls at first, for short jobs; at most every 5 s for long ones.
        double interval = 0.2;
        // Slurm may be briefly out of reach (a controller restarting); give up
        // when squeue has failed for this long without a break.
        constexpr double unreachable_limit_s = 60;
        double failing_since = -1;
        while (true) {
            const QueueCheck check = squeue_check(job_id_);
            if (check.state == QueueState::gone) break;
            if (check.state == QueueState::unknown) {
                if (failing_since < 0) failing_since = elapsed();
                if (elapsed() - failing_since >= unreachable_limit_s) throw Failure{exit_failed, check.message};
            } else {
                failing_since = -1;
            }
            if (timeout_s_ > 0 && elapsed() >= timeout_s_) {
                std::cout << status_text(frame_status(out, range)) << "\n";
                std::ostringstream message;
                message << "job " << job_id_ << " is still in the queue after " << timeout_s_ << " s";
                throw Failure{exit_failed, message.str()};
            }
            double pause = interval;
            if (timeout_s_ > 0) pause = std::min(pause, std::max(0.0, timeout_s_ - elapsed()));
            std::this_thread::sleep_for(std::chrono::duration<double>(pause));
            interval = std::min(interval * 1.5, 5.0);
        }

        const FrameStatus status = frame_status(out, range);
        std::cout << status_text(status) << "\n";
        if (!status.missing.empty())
            throw Failure{exit_failed, "job " + job_id_ + " has left the queue with " +
                                           std::to_string(status.missing.size()) +
                                           " frames missing (its task logs are beside the outputs)"};
        return exit_done;
    }
};

}  // namespace

std::unique_ptr<Command> make_farm_command()
{
    return std::make_unique<FarmCommand>();
}

}  // namespace trellin_cli
