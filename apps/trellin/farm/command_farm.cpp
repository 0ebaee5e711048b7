// trellin farm: renders a shot on a Slurm cluster, split into frame-range
// jobs.
//
//   farm submit IN OUT --frames A-B --chunk N   writes a batch script and a
//       frozen project beside the outputs and submits the script with sbatch
//       as an array job, one task per chunk of N frames; prints the job id.
//       IN is a numbered sequence or a video (each task seeks to its frames).
//       Into a video OUT the tasks render lossless parts and a second job,
//       dependent on the array job, joins them (farm join); its id is printed.
//   farm status OUT --frames A-B                frames done and missing, from
//       the output files (for a video OUT: whether it exists).
//   farm wait JOBID OUT --frames A-B            waits until the job has left
//       the queue; succeeds only when every frame (the video) exists.
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
#include <cstdlib>
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
#include "apps/trellin/farm/farm_arguments.h"
#include "apps/trellin/farm/farm_frames.h"
#include "apps/trellin/farm/farm_join.h"
#include "apps/trellin/farm/farm_script.h"
#include "apps/trellin/farm/farm_slurm.h"
#include "apps/trellin/rendering/video_options.h"
#include "apps/video/frame_input.h"
#include "apps/video/video_frames.h"
#include "apps/video/video_reader.h"

namespace fs = std::filesystem;

using namespace trellin_app;
using namespace trellin_video;

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

// The script's own check of a value (farm_script.h), as a usage error.
void check_script_text(const std::string& option, const std::string& value, bool may_quote = false)
{
    try {
        check_script_value(option, value, may_quote);
    } catch (const ScriptValueError& e) {
        throw Failure{exit_usage, e.what()};
    }
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

// The join job's log beside a video OUT, named by the job's id so that
// `farm wait` finds it from OUT and the id alone ("%j": Slurm's placeholder).
std::string join_log_path(const std::string& output, const std::string& job_id)
{
    const std::string folder = fs::path(output).parent_path().string();
    return (folder.empty() ? "" : folder + "/") + shot_name(output) + ".farm-join-" + job_id + ".log";
}

// Whether the join's log ends with the line it writes once the video is in
// place.
bool log_says_joined(const std::string& log)
{
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last.starts_with("trellin: farm: ") && last.find(joined_into) != std::string::npos;
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
        if (join_->parsed()) return run_join();
        return run_wait();
    }

private:
    int run_submit()
    {
        const std::string input = absolute_name(input_), output = absolute_name(output_);
        // What the user gives first, before anything is read: every value the
        // scripts are written with passes the scripts' one check.
        check_script_text("IN", input);
        check_script_text("OUT", output);
        check_script_text("--partition", partition_);
        for (const std::string& extra : sbatch_extra_) check_script_text("--sbatch", extra, true);
        check_script_text("--rate", rate_, true);
        check_script_text("--codec", codec_.codec, true);
        check_script_text("--bitrate", codec_.bitrate, true);
        check_script_text("--pix-fmt", codec_.pix_fmt, true);
        const bool video_out = is_video_output(output);
        check_video_options(codec_, rate_, !numbered_name(input) && is_video_file(input), video_out);
        if (!numbered_name(input)) {
            std::error_code ec;
            if (!fs::exists(input, ec)) throw Failure{exit_usage, input_ + ": IN does not exist"};
            if (!is_video_file(input))
                throw Failure{exit_usage, input_ +
                                              ": IN is no video and its name has no frame number pattern (%04d or "
                                              "####), e.g. shot.%04d.png"};
        }
        // A video's frames default to all of them, as trellin render renders them.
        std::optional<FrameInput> frames;
        try {
            frames.emplace(input_, frames_, "render");
        } catch (const FrameInputError& e) {
            throw Failure{exit_usage, e.what()};
        }
        VideoReader* reader = frames->reader();
        const FrameRange range = frames->range();
        if (chunk_count(range, chunk_) > max_tasks)
            throw Failure{exit_usage, "--chunk " + std::to_string(chunk_) + " splits " + std::to_string(range.count()) +
                                          " frames into more than " + std::to_string(max_tasks) +
                                          " tasks; give a larger chunk"};
        const NodeSettings parsed = parse_node_settings(frame_options_, control_options_);

        // Everything a task needs must be there before anything is queued.
        std::optional<FramePattern> in;
        if (!reader) {
            in = sequence_pattern(input, "IN");
            for (long long f = range.first; f <= range.last; f += range.step) {
                std::error_code ec;
                if (!fs::is_regular_file(in->path_for(f), ec))
                    throw Failure{exit_usage,
                                  in->path_for(f) + ": input frame " + std::to_string(f) + " does not exist"};
            }
        }
        std::optional<FramePattern> out;
        if (video_out) {
            if (same_file(input, output))
                throw Failure{exit_usage, output_ + ": OUT is IN; write the video to another name"};
            if (!dry_run_) check_folder_writable(output);
        } else {
            out = sequence_pattern(output, "OUT");
            check_sequence_output(in, *out, range, !dry_run_);
        }

        // The node the tasks will render with, built as `trellin render` builds it.
        NodeModule module = load_module();
        RenderOptions project_render;
        NodePtr node = prepare_node(module, control_options_, parsed, &project_render);
        const PictureColour colour = prepare_colour(*node, project_render, colour_options_);

        const std::string folder = fs::path(output).parent_path().string();
        const std::string shot = shot_name(output);
        FarmJob job;
        job.trellin = fs::read_symlink("/proc/self/exe").string();
        job.module = absolute_name(module.path());
        job.input = input;
        job.output = output;
        job.work_dir = folder;
        job.job_name = "trellin-" + shot;
        job.range = range;
        job.chunk = chunk_;
        job.partition = partition_;
        job.threads = frame_options_.threads;
        job.sbatch_extra = sbatch_extra_;
        if (video_out) plan_video(job, reader, in, colour);
        try {
            check_script_values(job);
        } catch (const ScriptValueError& e) {
            throw Failure{exit_usage, e.what()};
        }

        const std::string base =
            dry_run_ ? folder + "/" + shot + ".farm-" + time_stamp() : claim_job_base(folder, shot);
        job.project = base + ".json";
        job.log_pattern = base + ".task-%a.log";
        if (video_out) {
            job.parts = base + ".parts";
            job.join_log = join_log_path(output, "%j");
        }
        const std::string script = batch_script(job);
        if (dry_run_) {
            std::cout << script;
            if (video_out)
                std::cout
                    << "\n# The join job, submitted with --dependency=afterok:ARRAYJOB --kill-on-invalid-dep=yes:\n"
                    << join_script(job);
            return exit_done;
        }

        const std::string script_path = base + ".sh";
        const std::string join_path = base + ".join.sh";
        try {
            save_project(*node, job.project, &colour.options());
            write_text(script_path, script);
            if (video_out) {
                write_text(join_path, join_script(job));
                create_folder(job.parts);
            }
            const std::string id = sbatch_submit(script_path);
            std::string join_id;
            if (video_out) {
                try {
                    // Held until every array task has succeeded; cancelled by Slurm when one fails.
                    join_id = sbatch_submit(join_path, {"--dependency=afterok:" + id, "--kill-on-invalid-dep=yes"});
                } catch (...) {
                    scancel_quietly(id);
                    throw;
                }
            }
            const long long tasks = chunk_count(range, chunk_);
            std::cerr << "trellin: farm: job " << id << ": " << range.count() << " frames in " << tasks << " task"
                      << (tasks == 1 ? "" : "s") << " of up to " << chunk_ << "\n"
                      << "trellin: farm: settings frozen in " << job.project << "\n"
                      << "trellin: farm: logs in " << base << ".task-*.log\n";
            if (video_out)
                std::cerr << "trellin: farm: job " << join_id << " joins the parts in " << job.parts << " into "
                          << output << " once job " << id << " has succeeded (log: " << join_log_path(output, join_id)
                          << ")\n";
            std::cout << (video_out ? join_id : id) << "\n";
        } catch (const ProjectError& e) {
            discard(base);
            throw Failure{exit_failed, e.what()};
        } catch (...) {
            discard(base);
            throw;
        }
        return exit_done;
    }

    // The checks of a sequence OUT: no frame replaces an input frame or
    // another output frame, and its first frame can be written.
    static void check_sequence_output(const std::optional<FramePattern>& in, const FramePattern& out,
                                      const FrameRange& range, bool writing)
    {
        if (in) {
            // Names are absolute, not resolved through symbolic links: the name the
            // user gives is the one every node of the cluster sees.
            // Here, where the names are checked, folders linked elsewhere are
            // resolved as well: frames that meet there meet on the nodes too.
            std::optional<long long> f = first_overlap(*in, out, range);
            if (!f)
                f = first_overlap(FramePattern(resolved_name(in->text())), FramePattern(resolved_name(out.text())),
                                  range);
            if (f)
                throw Failure{exit_usage, out.path_for(*f) + ": OUT frame " + std::to_string(*f) +
                                              " would replace an input frame; write the frames to other names"};
        }
        try {
            out.check_distinct(range);
        } catch (const SequenceError& e) {
            throw Failure{exit_usage, e.what()};
        }
        check_output(out.path_for(range.first));
        if (writing) check_folder_writable(out.path_for(range.first));
    }

    // What the join needs to write the video as `trellin render` would: the
    // codec (refused here, before anything is queued, when the container
    // cannot hold it) and the colour space the first frame is written in.
    void plan_video(FarmJob& job, VideoReader* reader, const std::optional<FramePattern>& in,
                    const PictureColour& colour) const
    {
        // The codec's name first, before any picture is read.
        try {
            plan_video_output(job.output, codec_, false);
        } catch (const VideoOptionError& e) {
            throw Failure{exit_usage, e.what()};
        } catch (const VideoError&) {
        }
        HostPicture picture;
        PictureSource source;
        std::string name = job.input;
        try {
            if (reader) {
                reader->read(job.range.first, picture);
                source = reader->source();
            } else {
                name = in->path_for(job.range.first);
                picture = read_picture(name, &source);
            }
        } catch (const VideoError& e) {
            throw Failure{exit_usage, e.what()};
        } catch (const PictureError& e) {
            throw Failure{exit_usage, e.what()};
        }
        const bool alpha = reader ? reader->info().alpha : picture.samples == 4;
        try {
            plan_video_output(job.output, codec_, alpha);
        } catch (const VideoError& e) {
            throw Failure{exit_usage, e.what()};
        }
        if (!reader) parse_rate(rate_);
        NodeFrame frame;
        try {
            frame = colour.to_node(std::move(picture), std::move(source), name);
        } catch (const ColourError& e) {
            throw Failure{exit_usage, e.what()};
        }
        for (const std::string& note : frame.notes) std::cerr << "trellin: note: " << note << "\n";
        job.space = video_tag_space(
            colour.options(), reader,
            colour.options().colorspace_out.empty() ? frame.input_space : colour.options().colorspace_out);
        job.rate = reader ? "" : rate_;
        if (!codec_.codec.empty()) job.codec.insert(job.codec.end(), {"--codec", codec_.codec});
        if (codec_.crf >= 0) job.codec.insert(job.codec.end(), {"--crf", std::to_string(codec_.crf)});
        if (!codec_.bitrate.empty()) job.codec.insert(job.codec.end(), {"--bitrate", codec_.bitrate});
        if (!codec_.pix_fmt.empty()) job.codec.insert(job.codec.end(), {"--pix-fmt", codec_.pix_fmt});
        if (codec_.gop > 0) job.codec.insert(job.codec.end(), {"--gop", std::to_string(codec_.gop)});
    }

    // Removes the files of a submission that did not happen.
    static void discard(const std::string& base)
    {
        std::error_code ignored;
        fs::remove(base + ".sh", ignored);
        fs::remove(base + ".json", ignored);
        fs::remove(base + ".join.sh", ignored);
        fs::remove(base + ".parts", ignored);
    }

    int run_join()
    {
        JoinRequest request;
        request.input = input_;
        request.output = output_;
        request.parts = parts_;
        request.space = space_;
        request.rate = rate_;
        request.range = range_option(frames_);
        request.chunk = chunk_;
        request.codec = codec_;
        join_parts(request);
        return exit_done;
    }

    int run_status()
    {
        if (is_video_output(status_output_)) {
            const bool written = video_written(status_output_);
            std::cout << status_output_ << (written ? ": written" : ": not written yet" + parts_done(status_output_))
                      << "\n";
            return written ? exit_done : exit_failed;
        }
        const FrameRange range = range_option(sequence_frames());
        const FramePattern out = sequence_pattern(status_output_, "OUT");
        const FrameStatus status = frame_status(out, range);
        std::cout << status_text(status) << "\n";
        return status.missing.empty() ? exit_done : exit_failed;
    }

    // How far the tasks of the newest submission of a video OUT have come:
    // "; K of N parts rendered (FOLDER)", from its parts folder and its batch
    // script's array line; empty when there is no parts folder.
    static std::string parts_done(const std::string& output)
    {
        const fs::path folder = fs::path(output).parent_path().empty() ? "." : fs::path(output).parent_path();
        const std::string prefix = shot_name(output) + ".farm-", suffix = ".parts";
        std::error_code ec;
        std::string newest;  // submission stamps sort by time
        for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
            const std::string name = e.path().filename().string();
            if (name.starts_with(prefix) && name.ends_with(suffix) && e.is_directory(ec) && name > newest)
                newest = name;
        }
        if (newest.empty()) return "";
        const fs::path parts = folder / newest;
        long long done = 0;
        for (const fs::directory_entry& e : fs::directory_iterator(parts, ec)) {
            const std::string name = e.path().filename().string();
            if (name.starts_with("part-") && name.ends_with(".mkv") && e.is_regular_file(ec)) ++done;
        }
        // The array's tasks, from the line "#SBATCH --array=0-LAST" of the script.
        long long tasks = 0;
        std::ifstream script(folder / (newest.substr(0, newest.size() - suffix.size()) + ".sh"));
        for (std::string line; std::getline(script, line);)
            if (line.starts_with("#SBATCH --array=0-")) tasks = std::atoll(line.c_str() + 18) + 1;
        return "; " + std::to_string(done) + (tasks > 0 ? " of " + std::to_string(tasks) : "") + " part" +
               (done == 1 && tasks <= 1 ? "" : "s") + " rendered (" + parts.string() + ")";
    }

    static bool video_written(const std::string& path)
    {
        std::error_code ec;
        return fs::is_regular_file(path, ec);
    }

    // --frames, which a sequence OUT needs.
    const std::string& sequence_frames() const
    {
        if (status_frames_.empty())
            throw Failure{exit_usage, status_output_ + ": OUT is a sequence; give its frames with --frames A-B"};
        return status_frames_;
    }

    int run_wait()
    {
        if (!valid_job_id(job_id_)) throw Failure{exit_usage, "\"" + job_id_ + "\": a job id is a number"};
        const bool video = is_video_output(status_output_);
        const FrameRange range = video ? FrameRange{} : range_option(sequence_frames());
        const std::optional<FramePattern> out =
            video ? std::nullopt : std::optional<FramePattern>(sequence_pattern(status_output_, "OUT"));
        auto status_line = [&] {
            if (video) return status_output_ + (video_written(status_output_) ? ": written" : ": not written yet");
            return status_text(frame_status(*out, range));
        };

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
            // A join job whose array job has failed never runs; Slurm cancels
            // it in its own time, which need not be waited for.
            if (video && check.state == QueueState::queued && job_state(job_id_) == never_runs) {
                std::cout << status_line() << "\n";
                throw Failure{exit_failed, "job " + job_id_ +
                                               " will never run (a task of the array job it waits for has failed): " +
                                               status_output_ + " was not written (the logs are beside it)"};
            }
            if (check.state == QueueState::unknown) {
                if (failing_since < 0) failing_since = elapsed();
                if (elapsed() - failing_since >= unreachable_limit_s) throw Failure{exit_failed, check.message};
            } else {
                failing_since = -1;
            }
            if (timeout_s_ > 0 && elapsed() >= timeout_s_) {
                std::cout << status_line() << "\n";
                std::ostringstream message;
                message << "job " << job_id_ << " is still in the queue after " << timeout_s_ << " s";
                throw Failure{exit_failed, message.str()};
            }
            double pause = interval;
            if (timeout_s_ > 0) pause = std::min(pause, std::max(0.0, timeout_s_ - elapsed()));
            std::this_thread::sleep_for(std::chrono::duration<double>(pause));
            interval = std::min(interval * 1.5, 5.0);
        }

        if (video) {
            // The join job renames the video into place as its last step, but a
            // video there from before is no proof: the job must have ended
            // well, as the controller says while it remembers the job, and
            // else as the job's log says.
            const std::string state = job_state(job_id_);
            const bool written = video_written(status_output_);
            std::cout << status_line() << "\n";
            if (!state.empty() && state != "COMPLETED")
                throw Failure{exit_failed, "job " + job_id_ + " ended " + state + ": " + status_output_ +
                                               " was not written (the logs are beside it)"};
            if (!written)
                throw Failure{exit_failed, "job " + job_id_ + " has left the queue and " + status_output_ +
                                               " was not written (the logs are beside it)"};
            const std::string log = join_log_path(absolute_name(status_output_), job_id_);
            if (state.empty() && !log_says_joined(log))
                throw Failure{exit_failed, log + ": does not say that job " + job_id_ + " wrote " + status_output_ +
                                               " (Slurm no longer knows how the job ended)"};
            return exit_done;
        }
        const FrameStatus status = frame_status(*out, range);
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
