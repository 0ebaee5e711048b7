// How a render treats colour and alpha around the node: the colour spaces of
// the input, the effect and the output, the range the node's samples cover,
// and whether alpha is refracted. A project keeps them beside the controls,
// as its "render" member:
//   "render": { "colorspace_in": "", "working_space": "ACEScg", "colorspace_out": "",
//               "hdr": "split", "refract_alpha": false }
// An empty space name means the automatic choice (the file's metadata or its
// format's convention; the input's space for the working space).
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace trellin_app {

// How values outside 0..1 of the working space reach the node: clipped
// (none), on the logarithmic curve (log, hdr_curve.h), as separate pictures
// (split, hdr_split.h), or automatically: split for pictures of float samples,
// none for integer ones.
enum class HdrMode { automatic, none, log, split };

// "auto", "none", "log" or "split"; false for anything else.
bool parse_hdr_mode(const std::string& text, HdrMode& mode);
const char* hdr_mode_name(HdrMode mode);
// The mode a picture renders in: `mode`, with automatic resolved by whether
// the picture's samples are floats.
HdrMode picture_hdr_mode(HdrMode mode, bool float_samples);

struct RenderOptions {
    std::string colorspace_in;
    std::string working_space;
    std::string colorspace_out;
    HdrMode hdr = HdrMode::automatic;
    bool refract_alpha = false;

    bool operator==(const RenderOptions&) const = default;
};

// The options as a project's "render" member.
nlohmann::json render_options_json(const RenderOptions& options);

// The "render" member of a project document (defaults when it has none).
// Throws std::invalid_argument naming the entry at fault: an unknown entry or
// a value of the wrong form.
RenderOptions render_options_from(const nlohmann::json& document);

// Options given on a command line; each one given replaces the project's.
struct RenderOverrides {
    std::optional<std::string> colorspace_in, working_space, colorspace_out, hdr;
    std::optional<bool> refract_alpha;
};

// `base` with the overrides applied. Throws std::invalid_argument for an
// unknown --hdr mode.
RenderOptions apply_overrides(RenderOptions base, const RenderOverrides& overrides);

}  // namespace trellin_app
