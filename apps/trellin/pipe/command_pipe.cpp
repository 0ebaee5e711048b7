// trellin pipe in the picture library: frames whose colour, alpha or range
// the picture library converts (pipe_command.h runs them).
#include <string>
#include <utility>

#include "apps/common/core/hdr_split.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/trellin/command_support.h"
#include "apps/trellin/pipe/pipe_command.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

// PipeColour through PictureColour: outputs in --colorspace-out, else in
// each frame's input space.
class ConvertedColour : public PipeColour {
public:
    explicit ConvertedColour(PictureColour colour) : colour_(std::move(colour)) {}

    NodeFrame to_node(HostPicture picture, PictureSource source, const std::string& name) const override
    {
        try {
            NodeFrame frame = colour_.to_node(std::move(picture), std::move(source), name);
            // A colour configuration that cannot make the way out is found
            // before the node renders the frame.
            colour_.prepare_output(frame, output_space(frame));
            return frame;
        } catch (const ColourError& e) {
            throw Failure{exit_usage, e.what()};
        }
    }

    OutputFrame from_node(HostPicture result, const NodeFrame& frame, const OutputForm& form,
                          const SplitParts& parts) const override
    {
        try {
            return colour_.from_node(std::move(result), frame, output_space(frame), form, &parts);
        } catch (const ColourError& e) {
            throw Failure{exit_usage, e.what()};
        }
    }

    void print_notes(const ClipCount& before, const ClipCount& written, HdrMode hdr,
                     const std::string& working_space) const override
    {
        print_clip_notes(before, written, hdr, working_space, "16-bit frames");
    }

private:
    const std::string& output_space(const NodeFrame& frame) const
    {
        const std::string& out = colour_.options().colorspace_out;
        return out.empty() ? frame.input_space : out;
    }

    PictureColour colour_;
};

class LibraryPipeCommand : public PipeCommand {
public:
    int run() override
    {
        NodeSettings settings;
        const Sizes sizes = check_arguments(settings);
        NodeModule module = load_module();
        RenderOptions project_render;
        NodePtr node = prepare_node(module, controls_, settings, &project_render);
        const ConvertedColour colour(prepare_colour(*node, project_render, colour_options_));
        use_threads(options_.threads);
        return run_frames(*node, colour, sizes);
    }
};

}  // namespace

std::unique_ptr<Command> make_pipe_command()
{
    return std::make_unique<LibraryPipeCommand>();
}

}  // namespace trellin_cli
