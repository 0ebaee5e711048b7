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

#include "apps/common/core/software_name.h"

namespace trellin_app {

// Whether pictures of `format` can carry settings.
bool holds_settings(const std::string& format);

// What a picture's metadata says of settings: none, settings that cannot be
// taken (text that is not a settings document, nested too deeply, numbers
// out of range, bytes that are not UTF-8), or a settings document.
struct CarriedSettings {
    enum class State { absent, refused, accepted };
    State state = State::absent;
    nlohmann::json doc;  // accepted: the document
    std::string fault;   // refused: why, with the line and column where the text has them
};

// What the metadata `spec` carries.
CarriedSettings carried_settings(const OIIO::ImageSpec& spec);

// The settings document a picture's metadata carries, if it carries one that
// can be taken.
std::optional<nlohmann::json> settings_in(const OIIO::ImageSpec& spec);

// The settings document of the picture file `path`. Throws ProjectError
// (project_file.h) naming the file when it cannot be read, carries none
// (saying so) or carries settings that cannot be taken (saying why).
nlohmann::json read_picture_settings(const std::string& path);

// The most settings text each format reads back whole; longer settings are
// not written (attach_settings).
std::size_t settings_capacity(const std::string& format);

// Whether `path` names a picture rather than a project file: its extension
// belongs to a format pictures are read in.
bool is_picture_path(const std::string& path);

// Sets the Software attribute and puts `settings` where `format` keeps
// them, after removing the settings of any earlier render (a picture rendered
// from a rendered picture carries only its own). Returns false when the
// format holds settings but not this many (settings_capacity): the picture
// then carries none rather than settings that would read back cut.
bool attach_settings(OIIO::ParamValueList& attributes, const std::string& format, const nlohmann::json& settings);

}  // namespace trellin_app
