#include "apps/common/cli/colour_options.h"

#include <optional>
#include <string>

namespace trellin_app {

void add_colour_options(CLI::App& command, RenderOverrides& overrides, bool raw_frames)
{
    struct SpaceOption {
        const char* name;
        std::optional<std::string> RenderOverrides::*member;
        const char* help;
    };
    const SpaceOption spaces[] = {
        {"--colorspace-in", &RenderOverrides::colorspace_in,
         raw_frames ? "Colour space of the frames read (default: sRGB for rgba64le, linear for gbrapf32le)"
                    : "Colour space of the input (default: the file's metadata, else its format's convention: "
                      "integer samples sRGB, float samples linear)"},
        {"--working-space", &RenderOverrides::working_space,
         "Colour space the effect works in (default: the input's; sRGB for PQ and HLG)"},
        {"--colorspace-out", &RenderOverrides::colorspace_out,
         raw_frames ? "Colour space of the frames written (default: the frames' own, --colorspace-in)"
                    : "Colour space of the output (default: its format's convention: OpenEXR and float samples "
                      "linear, integer samples sRGB)"}};
    for (const SpaceOption& o : spaces) {
        auto member = o.member;
        command
            .add_option_function<std::string>(
                o.name, [&overrides, member](const std::string& v) { overrides.*member = v; }, o.help)
            ->type_name("NAME");
    }
    command
        .add_option_function<std::string>(
            "--hdr", [&overrides](const std::string& v) { overrides.hdr = v; },
            "Values outside 0..1 of the working space. split: render the part above 1 (and below 0) as "
            "a second picture through the same glass and add it back, the look within 0..1 unchanged; log: "
            "carry -0.135 to 1024 on a logarithmic curve (the effect then works on the curve); none: clip to "
            "0..1; auto (default): split for float samples (OpenEXR, float pipes) and PQ and HLG, none for other "
            "integer ones")
        ->check(CLI::IsMember({"auto", "split", "log", "none"}))
        ->type_name("MODE");
    command.add_flag_callback(
        "--refract-alpha", [&overrides] { overrides.refract_alpha = true; },
        "Refract alpha with the colour (default: alpha stays where it was)");
    command.add_flag_callback(
        "--no-refract-alpha", [&overrides] { overrides.refract_alpha = false; },
        "Keep alpha where it was, whatever a project says");
}

}  // namespace trellin_app
