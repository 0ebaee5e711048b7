#include "apps/trellin/farm_arguments.h"

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
        "Every machine of the cluster must see the program, the module, the inputs and the output\n"
        "folder under the same paths.");
    add_submit(*farm);
    add_status(*farm);
    add_wait(*farm);
    return farm;
}

void FarmArguments::add_submit(CLI::App& farm)
{
    submit_ = farm.add_subcommand("submit", "Submit a shot to Slurm as an array job; prints the job id");
    submit_->add_option("IN", input_, "Input sequence, with a frame pattern (%04d or ####)")
        ->required()
        ->type_name("PATTERN");
    submit_->add_option("OUT", output_, "Output sequence, with a frame pattern; its folder must exist")
        ->required()
        ->type_name("PATTERN");
    submit_->add_option("-f,--frames", frames_, "Frames to render: A-B or A-BxSTEP")
        ->required()
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
    submit_->add_option("--partition", partition_, "Slurm partition to run in (default: the cluster's)")
        ->type_name("P");
    submit_
        ->add_option("--sbatch", sbatch_extra_,
                     "A further sbatch option for the script, e.g. --sbatch=--time=2:00:00 (repeatable)")
        ->allow_extra_args(false)
        ->type_name("OPTION");
    submit_->add_flag("-n,--dry-run", dry_run_, "Print the batch script; write and submit nothing");
    submit_->footer(
        "Writes SHOT.farm-STAMP.json (the settings, frozen) and SHOT.farm-STAMP.sh (the batch\n"
        "script) beside the outputs and submits the script with sbatch. Array task k renders\n"
        "the k-th chunk with 'trellin render ... --skip-existing', so a requeued task resumes.\n"
        "Slurm writes each task's log to SHOT.farm-STAMP.task-K.log beside the outputs.\n"
        "The job id is printed alone on standard output.\n"
        "\n"
        "Example:\n"
        "  job=$(trellin farm submit in/%04d.png out/glass.%04d.png --frames 0-99 --chunk 10 \\\n"
        "        --key \"Cell Angle@0=0\" --key \"Cell Angle@99=90\")\n"
        "  trellin farm wait \"$job\" out/glass.%04d.png --frames 0-99");
}

void FarmArguments::add_status(CLI::App& farm)
{
    status_ = farm.add_subcommand("status", "Frames of a shot done and missing, from its output files");
    status_->add_option("OUT", status_output_, "Output sequence, with a frame pattern")
        ->required()
        ->type_name("PATTERN");
    status_->add_option("-f,--frames", status_frames_, "Frames of the shot: A-B or A-BxSTEP")
        ->required()
        ->type_name("A-B[xSTEP]");
    status_->footer(
        "Prints one line, e.g. \"frames 0-11: 9 of 12 done, 3 missing: 5-7\".\n"
        "Exit code 0 when every frame exists, 1 when some are missing.");
}

void FarmArguments::add_wait(CLI::App& farm)
{
    wait_ = farm.add_subcommand("wait", "Wait until a farm job has left the queue, then check its frames");
    wait_->add_option("JOBID", job_id_, "The job id that farm submit printed")->required();
    wait_->add_option("OUT", status_output_, "Output sequence, with a frame pattern")->required()->type_name("PATTERN");
    wait_->add_option("-f,--frames", status_frames_, "Frames of the shot: A-B or A-BxSTEP")
        ->required()
        ->type_name("A-B[xSTEP]");
    wait_->add_option("--timeout", timeout_s_, "Give up after S seconds (default: wait as long as it takes)")
        ->check(finite_number())
        ->check(CLI::PositiveNumber)
        ->type_name("S");
    wait_->footer(
        "Polls squeue until the job has no task pending or running, then prints the frame status.\n"
        "Exit code 0 only when every frame exists; 1 when frames are missing, the timeout passed\n"
        "or Slurm could not be asked.");
}

}  // namespace trellin_cli
