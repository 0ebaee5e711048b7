#include "apps/trellin/farm/farm_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

CLI::App* FarmArguments::declare(CLI::App& app)
{
    CLI::App* farm = app.add_subcommand("farm", "Render a shot on a Slurm cluster, in frame-range jobs");
    farm->require_subcommand(1);
    farm->footer(
        "Examples:\n"
        "  trellin farm submit in/shot.%04d.png out/glass.%04d.png --frames 1-240 --chunk 10 \\\n"
        "      --project look.json --partition render\n"
        "  trellin farm status out/glass.%04d.png --frames 1-240\n"
        "  trellin farm wait 4711 out/glass.%04d.png --frames 1-240 --timeout 3600\n"
        "  job=$(trellin farm submit in.mov glass.mov --chunk 48)   # every frame of in.mov\n"
        "  trellin farm wait \"$job\" glass.mov\n"
        "Every machine of the cluster must see the program, the module, the inputs and the output\n"
        "folder under the same paths.");
    add_submit(*farm);
    add_status(*farm);
    add_wait(*farm);
    add_join(*farm);
    return farm;
}

void FarmArguments::add_submit(CLI::App& farm)
{
    submit_ = farm.add_subcommand("submit", "Submit a shot to Slurm as an array job; prints the job id");
    submit_->add_option("IN", input_, "Input: a video, or a sequence with a frame pattern (%04d or ####)")
        ->required()
        ->type_name("VIDEO|PATTERN");
    submit_
        ->add_option("OUT", output_,
                     "Output: a sequence with a frame pattern, or a video (.mov .mkv .mp4 .mxf .webm); "
                     "its folder must exist")
        ->required()
        ->type_name("PATTERN|VIDEO");
    submit_
        ->add_option("-f,--frames", frames_,
                     "Frames to render: A-B or A-BxSTEP (a video's frames count from 0; default all of them)")
        ->type_name("A-B[xSTEP]");
    submit_->add_option("-c,--chunk", chunk_, "Frames per array task (the last task may get fewer)")
        ->required()
        ->check(CLI::Range(1LL, 1000000000LL))
        ->type_name("N");
    add_frame_options(*submit_, frame_options_);
    frame_options_.threads = 1;
    submit_->get_option("--threads")
        ->description("Processors per array task: asked of Slurm and rendered on (default: 1)");
    add_control_options(*submit_, control_options_, false);
    add_colour_options(*submit_, colour_options_);
    add_codec_options(*submit_);
    submit_
        ->add_option("--rate", rate_,
                     "Video OUT made of pictures: frames per second (25, 24000/1001, 29.97); default 25")
        ->type_name("FPS");
    submit_->add_option("--partition", partition_, "Slurm partition to run in (default: the cluster's)")
        ->type_name("P");
    submit_
        ->add_option("--sbatch", sbatch_extra_,
                     "A further sbatch option for the script, e.g. --sbatch=--time=2:00:00 (repeatable)")
        ->allow_extra_args(false)
        ->type_name("OPTION");
    submit_->add_flag("-n,--dry-run", dry_run_,
                      "Print the batch script (and the join job's, for a video OUT); write and submit nothing");
    submit_->footer(
        "Writes SHOT.farm-STAMP.json (the settings, frozen) and SHOT.farm-STAMP.sh (the batch\n"
        "script) beside the outputs and submits the script with sbatch. Array task k renders\n"
        "the k-th chunk with 'trellin render ... --skip-existing', so a requeued task resumes.\n"
        "Slurm writes each task's log to SHOT.farm-STAMP.task-K.log beside the outputs.\n"
        "The job id is printed alone on standard output.\n"
        "A video IN is recognised by its content, as trellin render recognises it; each task seeks\n"
        "to its own frames. Into a video OUT each task renders its frames as a lossless part\n"
        "(FFV1, 16-bit RGB(A)) in SHOT.farm-STAMP.parts/ beside OUT, and a join job, submitted to\n"
        "run once every task has succeeded, encodes them into OUT with --codec and the rest, and with\n"
        "IN's audio, other streams, metadata and timestamps: OUT is what 'trellin render IN OUT\n"
        "--frames A-B' writes, and appears whole or not at all. Its log is SHOT.farm-join-JOBID.log;\n"
        "the parts are removed once OUT is in place (after a failed join they stay, and\n"
        "'sbatch SHOT.farm-STAMP.join.sh' runs it again). The job id printed is the join job's.\n"
        "\n"
        "Examples:\n"
        "  job=$(trellin farm submit in/%04d.png out/glass.%04d.png --frames 0-99 --chunk 10 \\\n"
        "        --key \"Cell Angle@0=0\" --key \"Cell Angle@99=90\")\n"
        "  trellin farm wait \"$job\" out/glass.%04d.png --frames 0-99\n"
        "  job=$(trellin farm submit in.mov out/glass.mov --frames 100-339 --chunk 24 --project look.json)\n"
        "  trellin farm wait \"$job\" out/glass.mov\n"
        "  trellin farm submit in.mp4 out/glass.%04d.exr --chunk 50   # every frame of in.mp4");
}

void FarmArguments::add_codec_options(CLI::App& command)
{
    command
        .add_option("--codec", codec_.codec,
                    "Video OUT: the encoder (prores_ks, ffv1, libx264, dnxhd, libvpx-vp9, ...); default by "
                    "OUT's extension, as for trellin render")
        ->type_name("NAME");
    command.add_option("--crf", codec_.crf, "Video OUT: constant rate factor, for encoders that have one")
        ->type_name("N")
        ->check(CLI::Range(0, 100));
    command.add_option("--bitrate", codec_.bitrate, "Video OUT: bits per second (8M, 800k)")->type_name("RATE");
    command.add_option("--pix-fmt", codec_.pix_fmt, "Video OUT: the encoder's samples (yuv422p10le, ...)")
        ->type_name("LAYOUT");
    command.add_option("--gop", codec_.gop, "Video OUT: frames from one keyframe to the next")
        ->type_name("N")
        ->check(CLI::Range(1, 100000));
}

void FarmArguments::add_status(CLI::App& farm)
{
    status_ = farm.add_subcommand("status", "Frames of a shot done and missing, from its output files");
    status_->add_option("OUT", status_output_, "Output sequence, with a frame pattern, or a video")
        ->required()
        ->type_name("PATTERN|VIDEO");
    status_->add_option("-f,--frames", status_frames_, "Frames of the shot: A-B or A-BxSTEP (for a sequence)")
        ->type_name("A-B[xSTEP]");
    status_->footer(
        "Prints one line, e.g. \"frames 0-11: 9 of 12 done, 3 missing: 5-7\", or for a video OUT\n"
        "\"glass.mov: written\" or \"glass.mov: not written yet\".\n"
        "Exit code 0 when every frame (the video) exists, 1 otherwise.");
}

void FarmArguments::add_wait(CLI::App& farm)
{
    wait_ = farm.add_subcommand("wait", "Wait until a farm job has left the queue, then check its frames");
    wait_->add_option("JOBID", job_id_, "The job id that farm submit printed")->required();
    wait_->add_option("OUT", status_output_, "Output sequence, with a frame pattern, or a video")
        ->required()
        ->type_name("PATTERN|VIDEO");
    wait_->add_option("-f,--frames", status_frames_, "Frames of the shot: A-B or A-BxSTEP (for a sequence)")
        ->type_name("A-B[xSTEP]");
    wait_->add_option("--timeout", timeout_s_, "Give up after S seconds (default: wait as long as it takes)")
        ->check(finite_number())
        ->check(CLI::PositiveNumber)
        ->type_name("S");
    wait_->footer(
        "Polls squeue until the job has no task pending or running, then prints the frame status.\n"
        "Exit code 0 only when every frame exists; 1 when frames are missing, the timeout passed\n"
        "or Slurm could not be asked. For a video OUT, JOBID is the join job that submit printed:\n"
        "exit code 0 only when it ended well (as Slurm or else its log says) and OUT exists.");
}

void FarmArguments::add_join(CLI::App& farm)
{
    // Run by the join job of a video farm job; left out of the help.
    join_ = farm.add_subcommand("join", "Join the parts of a video farm job into the video (run by the job)");
    join_->group("");
    join_->add_option("IN", input_, "The job's input")->required();
    join_->add_option("OUT", output_, "The video to write")->required();
    join_->add_option("-f,--frames", frames_, "The job's frames")->required();
    join_->add_option("-c,--chunk", chunk_, "Frames per part")->required()->check(CLI::Range(1LL, 1000000000LL));
    join_->add_option("--parts", parts_, "The folder of the parts")->required();
    join_->add_option("--space", space_, "The colour space of the parts' samples")->required();
    join_->add_option("--rate", rate_, "Frames per second, when IN is a sequence");
    add_codec_options(*join_);
}

}  // namespace trellin_cli
