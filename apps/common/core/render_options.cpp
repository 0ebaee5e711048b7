#include "apps/common/core/render_options.h"

#include <stdexcept>

using nlohmann::json;

namespace trellin_app {

namespace {

constexpr char member[] = "render";

}  // namespace

bool parse_hdr_mode(const std::string& text, HdrMode& mode)
{
    for (const HdrMode m : {HdrMode::automatic, HdrMode::none, HdrMode::log, HdrMode::split})
        if (text == hdr_mode_name(m)) {
            mode = m;
            return true;
        }
    return false;
}

const char* hdr_mode_name(HdrMode mode)
{
    switch (mode) {
    case HdrMode::none:
        return "none";
    case HdrMode::log:
        return "log";
    case HdrMode::split:
        return "split";
    case HdrMode::automatic:
        break;
    }
    return "auto";
}

HdrMode picture_hdr_mode(HdrMode mode, bool float_samples)
{
    if (mode != HdrMode::automatic) return mode;
    return float_samples ? HdrMode::split : HdrMode::none;
}

json render_options_json(const RenderOptions& options)
{
    return {{"colorspace_in", options.colorspace_in},
            {"working_space", options.working_space},
            {"colorspace_out", options.colorspace_out},
            {"hdr", hdr_mode_name(options.hdr)},
            {"refract_alpha", options.refract_alpha}};
}

RenderOptions render_options_from(const json& document)
{
    RenderOptions options;
    const auto found = document.find(member);
    if (found == document.end()) return options;
    if (!found->is_object()) throw std::invalid_argument("\"render\" is not an object");
    for (const auto& [name, value] : found->items()) {
        const std::string where = "\"render\": \"" + name + "\"";
        if (name == "hdr") {
            if (!value.is_string() || !parse_hdr_mode(value.get<std::string>(), options.hdr))
                throw std::invalid_argument(where + " must be \"auto\", \"split\", \"log\" or \"none\"");
        } else if (name == "refract_alpha") {
            if (!value.is_boolean()) throw std::invalid_argument(where + " must be true or false");
            options.refract_alpha = value.get<bool>();
        } else {
            std::string RenderOptions::*entry = name == "colorspace_in"    ? &RenderOptions::colorspace_in
                                                : name == "working_space"  ? &RenderOptions::working_space
                                                : name == "colorspace_out" ? &RenderOptions::colorspace_out
                                                                           : nullptr;
            if (entry == nullptr) throw std::invalid_argument(where + ": no such entry");
            if (!value.is_string()) throw std::invalid_argument(where + " must be a colour space name (text)");
            options.*entry = value.get<std::string>();
        }
    }
    return options;
}

RenderOptions apply_overrides(RenderOptions base, const RenderOverrides& overrides)
{
    if (overrides.colorspace_in) base.colorspace_in = *overrides.colorspace_in;
    if (overrides.working_space) base.working_space = *overrides.working_space;
    if (overrides.colorspace_out) base.colorspace_out = *overrides.colorspace_out;
    if (overrides.hdr && !parse_hdr_mode(*overrides.hdr, base.hdr))
        throw std::invalid_argument("--hdr " + *overrides.hdr + ": unknown mode (use auto, split, log or none)");
    if (overrides.refract_alpha) base.refract_alpha = *overrides.refract_alpha;
    return base;
}

}  // namespace trellin_app
