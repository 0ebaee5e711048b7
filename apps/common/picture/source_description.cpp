#include "apps/common/picture/source_description.h"

#include <algorithm>

#include "apps/common/picture/picture_settings.h"

namespace trellin_app {

namespace {

// A DPX transfer field as a colour space name; empty for "Undefined", "User
// defined" and the like, which name none.
std::string dpx_transfer_space(const std::string& transfer)
{
    static const std::pair<const char*, const char*> spaces[] = {{"Linear", "linear"},
                                                                 {"ITU-R 709-4", "Rec709"},
                                                                 {"Logarithmic", "Logarithmic"},
                                                                 {"Printing density", "Printing density"}};
    for (const auto& [field, space] : spaces)
        if (transfer == field) return space;
    return {};
}

}  // namespace

PictureSource describe_source(const OIIO::ImageSpec& spec, const std::string& format)
{
    PictureSource source;
    source.format = format;
    const int channels = std::min(spec.nchannels, 4);
    for (int c = 0; c < channels; ++c) source.float_samples |= spec.channelformat(c).is_floating_point();
    source.alpha = channels == 2 || channels == 4;
    // OpenImageIO marks TIFF files whose alpha is unassociated (read as stored).
    source.associated_alpha =
        source.alpha &&
        (format == "openexr" || (format == "tiff" && spec.get_int_attribute("oiio:UnassociatedAlpha") == 0));

    auto found = [&source](std::string space, const char* origin) {
        if (space.empty() || !source.metadata_space.empty()) return;
        source.metadata_space = std::move(space);
        source.metadata_origin = origin;
    };
    if (const auto settings = settings_in(spec)) {
        const auto& picture = (*settings)["picture"];
        if (picture.is_object() && picture.contains("colorspace_out") && picture["colorspace_out"].is_string())
            found(picture["colorspace_out"].get<std::string>(), "the trellin settings it carries");
    }
    if (format == "openexr")
        found(spec.get_string_attribute("colorSpace"), "its colorSpace attribute");
    else
        found(spec.get_string_attribute("oiio:ColorSpace"), "its metadata");
    if (format == "dpx") found(dpx_transfer_space(spec.get_string_attribute("dpx:Transfer")), "its DPX transfer field");
    return source;
}

}  // namespace trellin_app
