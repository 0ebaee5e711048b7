// trellin pipe in the program: 16-bit frames that need no colour handling
// (UnchangedColour) render here, without loading the picture library, so a
// pipe starts as quickly as --help. Any other run (float frames,
// premultiplied alpha, a colour space or --hdr named by the options or the
// project, a configuration in $OCIO, a project read from a picture) is
// handed whole to the library, which runs it from the start.
#include <sys/stat.h>

#include <cctype>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "apps/common/core/project_file.h"
#include "apps/trellin/picture_library.h"
#include "apps/trellin/pipe/pipe_command.h"
#include "contract/node_flags.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

// The project names a file the picture library reads (a picture rendered by trellin).
struct ProjectNeedsPictures {};

// True when `path` is a regular file that is not plainly a project file:
// the library tells pictures from project files by asking OpenImageIO,
// which the program cannot, so anything but a ".json" file that starts
// as a JSON object goes to it. Devices and pipes are refused as project
// files, unopened.
bool may_be_picture(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const std::size_t dot = path.rfind('.');
    std::string extension = dot == std::string::npos ? "" : path.substr(dot);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".json") return true;
    std::ifstream in(path, std::ios::binary);
    char c = 0;
    while (in.get(c) && std::isspace(static_cast<unsigned char>(c))) {}
    return !in || c != '{';
}

RegV read_project_file_only(const std::string& path)
{
    if (may_be_picture(path)) throw ProjectNeedsPictures{};
    return read_project_file(path);
}

// True when the command line alone already asks for colour handling (an
// --hdr the library refuses included: it names the fault).
bool converts_colour(const PictureSource& source, const RenderOverrides& given)
{
    try {
        return !UnchangedColour::suffices(source, apply_overrides(RenderOptions(), given));
    } catch (const std::invalid_argument&) {
        return true;
    }
}

class ProgramPipeCommand : public PipeCommand {
public:
    int run() override
    {
        NodeSettings settings;
        const Sizes sizes = check_arguments(settings);
        if (converts_colour(frame_source(), colour_options_)) return run_in_picture_library();
        NodeModule module = load_module();
        RenderOptions project_render;
        NodePtr node;
        try {
            node = prepare_node(module, controls_, settings, read_project_file_only, &project_render);
        } catch (const ProjectNeedsPictures&) {
            return run_in_picture_library();
        }
        const RenderOptions options = apply_overrides(project_render, colour_options_);
        if (!UnchangedColour::suffices(frame_source(), options)) return run_in_picture_library();
        node->set_flags(options.refract_alpha ? vx::node_flag_refract_alpha : 0u);
        use_threads(options_.threads);
        return run_frames(*node, UnchangedColour(), sizes);
    }
};

}  // namespace

std::unique_ptr<Command> make_pipe_command()
{
    return std::make_unique<ProgramPipeCommand>();
}

}  // namespace trellin_cli
