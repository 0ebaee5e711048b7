// The settings a picture was rendered with, carried in its own metadata: the
// project document (node controls and keys, the "render" options) with a
// "picture" member that says how this picture was made:
//   "picture": { "software": "trellin 0.1.0", "input": "in.png", "frame": 0,
//                "colorspace_in": "sRGB", "working_space": "sRGB", "colorspace_out": "linear" }
// Formats that hold text keep it: OpenEXR and PNG in a "trellin:project"
// attribute (a PNG text chunk), TIFF in its DocumentName tag, DPX in its
// user-defined data (after a 32-byte user identifier "trellin:project").
#pragma once

#include <OpenImageIO/imageio.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace trellin_app {

// "trellin" and its version: the Software attribute of every picture written.
const std::string& software_name();

// Whether pictures of `format` can carry settings.
bool holds_settings(const std::string& format);

// The settings document a picture's metadata carries, if any.
std::optional<nlohmann::json> settings_in(const OIIO::ImageSpec& spec);

// The settings document of the picture file `path`. Throws ProjectError
// (project_file.h) naming the file when it cannot be read or carries none.
nlohmann::json read_picture_settings(const std::string& path);

// Whether `path` names a picture rather than a project file: its extension
// belongs to a format pictures are read in.
bool is_picture_path(const std::string& path);

// Sets the Software attribute and puts `settings` where `format` keeps
// them, after removing the settings of any earlier render (a picture rendered
// from a rendered picture carries only its own).
void attach_settings(OIIO::ParamValueList& attributes, const std::string& format, const nlohmann::json& settings);

}  // namespace trellin_app
