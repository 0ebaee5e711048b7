#include "apps/common/picture/picture_settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "apps/common/core/project_file.h"
#include "apps/common/picture/picture_header.h"
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
// A TIFF text field reads back cut beyond 65,535 characters.
constexpr std::size_t tiff_text_limit = 65535;
// A PNG text chunk is read back whole up to the reader's limit on chunks (8 MB).
constexpr std::size_t png_text_limit = 4000000;
// An OpenEXR attribute: kept to what was found to read back whole.
constexpr std::size_t exr_text_limit = 8000000;

// The library's message on one line.
std::string library_error(std::string why)
{
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    std::replace(why.begin(), why.end(), '\n', ' ');
    return why.empty() ? std::string("unknown error") : why;
}

// What the messages call settings carried by a picture.
constexpr char carried_name[] = "the trellin settings it carries";

// A settings document: an object with the node's controls and how the
// picture was made. The text comes from a file of unknown origin, so it goes
// through the project reader's checks of size and nesting before parsing.
CarriedSettings as_settings(const std::string& text)
{
    CarriedSettings found;
    found.state = CarriedSettings::State::refused;
    try {
        found.doc = RegV::parse(text, carried_name).doc;
    } catch (const RegVError& e) {
        found.fault = e.what();
        return found;
    }
    if (!found.doc.contains("picture")) {
        found.fault = std::string(carried_name) + ": not a picture's settings (no \"picture\" member)";
        return found;
    }
    found.state = CarriedSettings::State::accepted;
    return found;
}

// The text after DPX user data's identifier, when the identifier is ours.
std::optional<std::string> dpx_text(const OIIO::ParamValue& p)
{
    if (p.type().basetype != OIIO::TypeDesc::UINT8) return std::nullopt;
    const std::size_t size = std::size_t(p.nvalues()) * std::size_t(p.type().numelements());
    const auto* bytes = static_cast<const char*>(p.data());
    if (size < dpx_id_size || std::strncmp(bytes, text_attribute, dpx_id_size) != 0) return std::nullopt;
    return std::string(bytes + dpx_id_size, size - dpx_id_size);
}

// Whether a TIFF's DocumentName holds settings rather than a document's
// name: trellin wrote the picture, or the name reads as a JSON object.
bool tiff_text_is_settings(const OIIO::ImageSpec* spec, const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && text[first] == '{') return true;
    return spec != nullptr && spec->get_string_attribute("Software").rfind("trellin", 0) == 0;
}

// The settings text `p` carries, if it is a carrier of settings.
std::optional<std::string> carried_text(const OIIO::ParamValue& p, const OIIO::ImageSpec* spec)
{
    const std::string name = p.name().string();
    if (name == dpx_attribute) return dpx_text(p);
    const bool text = p.type() == OIIO::TypeDesc::STRING;
    if (name == text_attribute) return text ? p.get_string() : std::string();
    if (name == tiff_attribute && text && tiff_text_is_settings(spec, p.get_string())) return p.get_string();
    return std::nullopt;
}

bool is_settings_carrier(const OIIO::ParamValue& p)
{
    return carried_text(p, nullptr).has_value();
}

}  // namespace

bool holds_settings(const std::string& format)
{
    return format == "openexr" || format == "png" || format == "tiff" || format == "dpx";
}

CarriedSettings carried_settings(const OIIO::ImageSpec& spec)
{
    CarriedSettings found;
    for (const OIIO::ParamValue& p : spec.extra_attribs) {
        const std::optional<std::string> text = carried_text(p, &spec);
        if (!text) continue;
        CarriedSettings these = as_settings(*text);
        if (these.state == CarriedSettings::State::accepted) return these;
        found = std::move(these);
    }
    return found;
}

std::optional<json> settings_in(const OIIO::ImageSpec& spec)
{
    CarriedSettings found = carried_settings(spec);
    if (found.state != CarriedSettings::State::accepted) return std::nullopt;
    return std::move(found.doc);
}

json read_picture_settings(const std::string& path)
{
    if (const std::string why = picture_header_fault(path); !why.empty())
        throw ProjectError(path + ": cannot read the picture's settings: " + why);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path);
    if (!in) throw ProjectError(path + ": cannot read the picture's settings: " + library_error(OIIO::geterror()));
    CarriedSettings found = carried_settings(in->spec());
    const std::string format = in->format_name();
    in->close();
    if (found.state == CarriedSettings::State::refused) throw ProjectError(path + ": " + found.fault);
    if (found.state == CarriedSettings::State::absent)
        throw ProjectError(path + ": the picture carries no trellin settings (only pictures rendered by trellin " +
                           "into OpenEXR, PNG, TIFF or DPX do" +
                           (holds_settings(format) ? std::string(")") : "; " + format + " files hold none)"));
    return std::move(found.doc);
}

bool is_picture_path(const std::string& path)
{
    // The library opens a file whose extension it does not know to sniff its
    // format: a device or a pipe is no picture, and is not opened here.
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return false;
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::create(path, false);
    OIIO::geterror();
    return in != nullptr;
}

std::size_t settings_capacity(const std::string& format)
{
    if (format == "tiff") return tiff_text_limit;
    if (format == "dpx") return dpx_data_limit - dpx_id_size;
    if (format == "png") return png_text_limit;
    if (format == "openexr") return exr_text_limit;
    return 0;
}

bool attach_settings(OIIO::ParamValueList& attributes, const std::string& format, const json& settings)
{
    attributes.erase(std::remove_if(attributes.begin(), attributes.end(), is_settings_carrier), attributes.end());
    // A TIFF trellin writes keeps its settings in DocumentName, so an input's
    // document name does not pass for them.
    if (format == "tiff") attributes.remove(tiff_attribute);
    attributes.attribute("Software", software_name());
    if (!holds_settings(format)) return true;
    const std::string text = settings.dump();
    if (text.size() > settings_capacity(format)) return false;
    if (format == "openexr" || format == "png") {
        attributes.attribute(text_attribute, text);
    } else if (format == "tiff") {
        attributes.attribute(tiff_attribute, text);
    } else {
        std::vector<std::uint8_t> data(dpx_id_size, 0);
        std::memcpy(data.data(), text_attribute, sizeof text_attribute);
        data.insert(data.end(), text.begin(), text.end());
        attributes.attribute(dpx_attribute, OIIO::TypeDesc(OIIO::TypeDesc::UINT8, int(data.size())), data.data());
    }
    return true;
}

}  // namespace trellin_app
