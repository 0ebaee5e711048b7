#include "apps/common/picture/picture_settings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "apps/common/core/project_file.h"
#include "host/regv.h"

using nlohmann::json;

namespace trellin_app {

namespace {

constexpr char text_attribute[] = "trellin:project";  // OpenEXR, PNG
constexpr char tiff_attribute[] = "DocumentName";
constexpr char dpx_attribute[] = "dpx:UserData";
// DPX user data starts with a 32-byte user identifier.
constexpr std::size_t dpx_id_size = 32;
// DPX user data holds at most 1 MB.
constexpr std::size_t dpx_data_limit = 1000000;

// A settings document: an object with the node's controls and how the
// picture was made. The text comes from a file of unknown origin, so it goes
// through the project reader's checks of size and nesting before parsing.
std::optional<json> as_settings(const std::string& text)
{
    json doc;
    try {
        doc = RegV::parse(text, "settings").doc;
    } catch (const RegVError&) {
        return std::nullopt;
    }
    if (!doc.is_object() || !doc.contains("controls") || !doc.contains("picture")) return std::nullopt;
    return doc;
}

std::optional<json> dpx_settings(const OIIO::ParamValue& p)
{
    if (p.type().basetype != OIIO::TypeDesc::UINT8) return std::nullopt;
    const std::size_t size = std::size_t(p.nvalues()) * std::size_t(p.type().numelements());
    const auto* bytes = static_cast<const char*>(p.data());
    if (size <= dpx_id_size || std::strncmp(bytes, text_attribute, dpx_id_size) != 0) return std::nullopt;
    return as_settings(std::string(bytes + dpx_id_size, size - dpx_id_size));
}

bool is_settings_carrier(const OIIO::ParamValue& p)
{
    const std::string name = p.name().string();
    if (name == text_attribute || name == dpx_attribute) return true;
    return name == tiff_attribute && p.type() == OIIO::TypeDesc::STRING && as_settings(p.get_string()).has_value();
}

}  // namespace

const std::string& software_name()
{
    static const std::string name = std::string("trellin ") + TRELLIN_VERSION;
    return name;
}

bool holds_settings(const std::string& format)
{
    return format == "openexr" || format == "png" || format == "tiff" || format == "dpx";
}

std::optional<json> settings_in(const OIIO::ImageSpec& spec)
{
    for (const OIIO::ParamValue& p : spec.extra_attribs) {
        const std::string name = p.name().string();
        if (name == dpx_attribute) {
            if (auto doc = dpx_settings(p)) return doc;
        } else if ((name == text_attribute || name == tiff_attribute) && p.type() == OIIO::TypeDesc::STRING) {
            if (auto doc = as_settings(p.get_string())) return doc;
        }
    }
    return std::nullopt;
}

json read_picture_settings(const std::string& path)
{
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path);
    if (!in) {
        std::string why = OIIO::geterror();
        while (!why.empty() && why.back() == '\n') why.pop_back();
        throw ProjectError(path + ": cannot read the picture's settings: " + why);
    }
    std::optional<json> doc = settings_in(in->spec());
    const std::string format = in->format_name();
    in->close();
    if (!doc)
        throw ProjectError(path + ": the picture carries no trellin settings (only pictures rendered by trellin " +
                           "into OpenEXR, PNG, TIFF or DPX do" +
                           (holds_settings(format) ? std::string(")") : "; " + format + " files hold none)"));
    return *doc;
}

bool is_picture_path(const std::string& path)
{
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::create(path, false);
    OIIO::geterror();
    return in != nullptr;
}

void attach_settings(OIIO::ParamValueList& attributes, const std::string& format, const json& settings)
{
    attributes.erase(std::remove_if(attributes.begin(), attributes.end(), is_settings_carrier), attributes.end());
    attributes.attribute("Software", software_name());
    const std::string text = settings.dump();
    if (format == "openexr" || format == "png") {
        attributes.attribute(text_attribute, text);
    } else if (format == "tiff") {
        attributes.attribute(tiff_attribute, text);
    } else if (format == "dpx" && dpx_id_size + text.size() <= dpx_data_limit) {
        std::vector<std::uint8_t> data(dpx_id_size, 0);
        std::memcpy(data.data(), text_attribute, sizeof text_attribute);
        data.insert(data.end(), text.begin(), text.end());
        attributes.attribute(dpx_attribute, OIIO::TypeDesc(OIIO::TypeDesc::UINT8, int(data.size())), data.data());
    }
}

}  // namespace trellin_app
