#include "apps/common/picture/colour_space.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "apps/common/core/module_loader.h"
#include "apps/common/core/printable_text.h"
#include "host/platform_files.h"
#include "host/value_excerpt.h"

namespace trellin_app {

namespace {

// OpenImageIO's name for its own spaces when no config is in use.
constexpr char built_in_config[] = "built-in";
// The shipped config's reference: linear light with Rec.709 primaries, the
// same light OpenImageIO's "linear" holds.
constexpr char own_linear[] = "linear";
// The shipped spaces whose pictures hold light above SDR's white.
constexpr const char* own_hdr_spaces[] = {"PQ", "HLG"};
// A list of known names in a message stops after this many.
constexpr std::size_t listed_names = 16;

// "Gamma" followed by a positive number: OpenImageIO's built-in power curves.
bool gamma_name(const std::string& name)
{
    if (name.size() <= 5 || !same_name(name.substr(0, 5), "Gamma")) return false;
    const std::string number = name.substr(5);
    char* end = nullptr;
    const double g = std::strtod(number.c_str(), &end);
    return end == number.c_str() + number.size() && g > 0.0;
}

// The built-in spaces by their canonical spelling; empty for another name.
std::string built_in_space(const std::string& name)
{
    if (same_name(name, linear_space) || same_name(name, "scene_linear")) return linear_space;
    if (same_name(name, srgb_space)) return srgb_space;
    if (same_name(name, "Rec709")) return "Rec709";
    if (gamma_name(name)) return "Gamma" + name.substr(5);
    return {};
}

}  // namespace

std::string own_colour_config(const std::string& base_dir)
{
    return platform::path_to_utf8(
        (platform::path_from_utf8(base_dir) / ".." / "share" / "trellin" / "colour" / "spaces.ocio")
            .lexically_normal());
}

bool same_name(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void ColourConversion::apply(float* pixels, std::size_t count, int channels) const
{
    if (count == 0) return;
    const OIIO::stride_t pixel = OIIO::stride_t(channels) * OIIO::stride_t(sizeof(float));
    processor_->apply(pixels, static_cast<int>(count), 1, 3, sizeof(float), pixel,
                      pixel * static_cast<OIIO::stride_t>(count));
    if (then_)
        then_->apply(pixels, static_cast<int>(count), 1, 3, sizeof(float), pixel,
                     pixel * static_cast<OIIO::stride_t>(count));
}

ColourSpaces::ColourSpaces(const std::string& config) : ColourSpaces(config, own_colour_config(executable_dir())) {}

ColourSpaces::ColourSpaces(const std::string& config, const std::string& own)
{
    const char* env = std::getenv("OCIO");
    const std::string asked = !config.empty() ? config : env != nullptr ? env : "";
    const std::string who = config.empty() ? "$OCIO " + asked : asked;
    // A device or a pipe may never end: only a regular file is read.
    struct stat status {};
    if (!asked.empty() && ::stat(asked.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        throw ColourError(who + ": cannot read the OpenColorIO config: not a regular file");
    config_ = std::make_unique<OIIO::ColorConfig>(asked);
    built_in_ = config_->configname() == built_in_config;
    if (built_in_ && !asked.empty())
        throw ColourError(who + ": cannot read the OpenColorIO config: " + one_line(config_->geterror()));
    config_->geterror();  // the built-in config reports the missing file; not a fault
    if (!built_in_) return;
    // The shipped video spaces: a fault here costs only their names.
    if (::stat(own.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        own_fault_ = own + " is missing";
        return;
    }
    own_ = std::make_unique<OIIO::ColorConfig>(own);
    if (own_->configname() == built_in_config || own_space(own_linear).empty()) {
        own_fault_ = own + " cannot be read: " + one_line(own_->geterror());
        own_.reset();
    }
}

ColourSpaces::~ColourSpaces() = default;

const ColourSpaces& ColourSpaces::shared()
{
    static const ColourSpaces spaces;
    return spaces;
}

std::string ColourSpaces::description() const
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return built_in_ ? std::string("the built-in colour spaces") : "the OpenColorIO config " + config_->configname();
}

std::string ColourSpaces::resolve(const std::string& name) const
{
    if (name.empty()) return {};
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (built_in_) {
        const std::string space = built_in_space(name);
        return space.empty() && !same_name(name, own_linear) ? own_space(name) : space;
    }
    for (const std::string& space : config_->getColorSpaceNames()) {
        if (same_name(space, name)) return space;
        for (const std::string& alias : config_->getAliases(space))
            if (same_name(alias, name)) return space;
    }
    if (const char* role = config_->getColorSpaceNameByRole(name)) return role;
    if (same_name(name, linear_space)) {
        if (const char* role = config_->getColorSpaceNameByRole("scene_linear")) return role;
    }
    // OpenImageIO converts between its own spaces even with a config.
    return built_in_space(name);
}

std::string ColourSpaces::own_space(const std::string& name) const
{
    if (!own_) return {};
    for (const std::string& space : own_->getColorSpaceNames()) {
        if (same_name(space, name)) return space;
        for (const std::string& alias : own_->getAliases(space))
            if (same_name(alias, name)) return space;
    }
    return {};
}

bool ColourSpaces::hdr_video(const std::string& name) const
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!built_in_ || !built_in_space(name).empty()) return false;
    const std::string space = own_space(name);
    return std::any_of(std::begin(own_hdr_spaces), std::end(own_hdr_spaces),
                       [&](const char* hdr) { return same_name(space, hdr); });
}

std::string ColourSpaces::known_names() const
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (built_in_) {
        std::string text = "linear, sRGB, Rec709, ";
        if (own_) {
            for (const std::string& space : own_->getColorSpaceNames())
                if (!same_name(space, own_linear)) text += space + ", ";
        }
        text.resize(text.size() - 2);
        text += " and GammaN (e.g. Gamma2.2)";
        if (!own_) text += "; Rec2020, PQ and HLG are not at hand: " + own_fault_;
        return text;
    }
    const std::vector<std::string> names = config_->getColorSpaceNames();
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < listed_names; ++i) text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > listed_names) text += " and " + std::to_string(names.size() - listed_names) + " more";
    return text;
}

std::string ColourSpaces::require(const std::string& name, const std::string& what) const
{
    std::string space = resolve(name);
    if (space.empty())
        throw ColourError(host_detail::excerpt(what, 80) + ": no colour space \"" + host_detail::excerpt(name) +
                          "\" in " + description() + " (it has " + known_names() + ")");
    return space;
}

bool ColourSpaces::same(const std::string& a, const std::string& b) const
{
    if (same_name(a, b)) return true;
    const std::string ra = resolve(a), rb = resolve(b);
    return !ra.empty() && same_name(ra, rb);
}

ConversionPtr ColourSpaces::cached(const std::string& from, const std::string& to,
                                   ConversionPtr (ColourSpaces::*make)(const std::string&, const std::string&)
                                       const) const
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const auto key = std::make_pair(from, to);
    const auto known = conversions_.find(key);
    if (known != conversions_.end()) return known->second;
    ConversionPtr made = (this->*make)(from, to);
    conversions_.emplace(key, made);
    return made;
}

ConversionPtr ColourSpaces::conversion(const std::string& from, const std::string& to) const
{
    return cached(from, to, &ColourSpaces::make_conversion);
}

ConversionPtr ColourSpaces::make_conversion(const std::string& from, const std::string& to) const
{
    if (same(from, to)) return nullptr;
    const std::string a = require(from, "\"" + from + "\""), b = require(to, "\"" + to + "\"");
    const bool own_a = built_in_ && built_in_space(a).empty(), own_b = built_in_ && built_in_space(b).empty();
    if (own_a || own_b) {
        // A shipped space meets OpenImageIO's in linear, which they share.
        if (own_a && own_b) {
            OIIO::ColorProcessorHandle processor = own_processor(a, b);
            return processor ? std::make_shared<const ColourConversion>(std::move(processor)) : nullptr;
        }
        OIIO::ColorProcessorHandle first = own_a ? own_processor(a, own_linear) : built_in_processor(a, linear_space);
        OIIO::ColorProcessorHandle then = own_b ? own_processor(own_linear, b) : built_in_processor(linear_space, b);
        if (!first) std::swap(first, then);
        return first ? std::make_shared<const ColourConversion>(std::move(first), std::move(then)) : nullptr;
    }
    OIIO::ColorProcessorHandle processor = config_->createColorProcessor(a, b);
    const std::string why = one_line(config_->geterror());
    // The built-in spaces convert only to and from linear (Rec709 to sRGB
    // has no processor of its own): such a pair goes through linear.
    if (!processor && built_in_ && !same(a, linear_space) && !same(b, linear_space)) {
        OIIO::ColorProcessorHandle to_linear = config_->createColorProcessor(a, linear_space);
        OIIO::ColorProcessorHandle from_linear = config_->createColorProcessor(linear_space, b);
        config_->geterror();
        if (to_linear && from_linear) return std::make_shared<const ColourConversion>(to_linear, from_linear);
    }
    // The config's own fault (a LUT file missing or damaged) names the file.
    if (!processor && !why.empty())
        throw ColourError("no conversion from \"" + a + "\" to \"" + b + "\" in " + description() + ": " + why);
    if (!processor)
        throw ColourError("no conversion from \"" + a + "\" to \"" + b + "\" in " + description() +
                          (built_in_ ? std::string() : " (OpenImageIO's own spaces do not mix with a config's)"));
    if (processor->isNoOp()) return nullptr;
    return std::make_shared<const ColourConversion>(std::move(processor));
}

OIIO::ColorProcessorHandle ColourSpaces::built_in_processor(const std::string& from, const std::string& to) const
{
    if (same(from, to)) return nullptr;
    OIIO::ColorProcessorHandle processor = config_->createColorProcessor(from, to);
    const std::string why = one_line(config_->geterror());
    if (!processor)
        throw ColourError("no conversion from \"" + from + "\" to \"" + to + "\" in " + description() +
                          (why.empty() ? std::string() : ": " + why));
    return processor->isNoOp() ? nullptr : processor;
}

OIIO::ColorProcessorHandle ColourSpaces::own_processor(const std::string& from, const std::string& to) const
{
    OIIO::ColorProcessorHandle processor = own_->createColorProcessor(from, to);
    const std::string why = one_line(own_->geterror());
    if (!processor)
        throw ColourError("no conversion from \"" + from + "\" to \"" + to + "\" in the built-in colour spaces" +
                          (why.empty() ? std::string() : ": " + why));
    return processor->isNoOp() ? nullptr : processor;
}

ConversionPtr ColourSpaces::display_conversion(const std::string& from) const
{
    // Kept beside the conversions, under a name no space has.
    return cached(from, std::string(1, '\0'), &ColourSpaces::make_display_conversion);
}

ConversionPtr ColourSpaces::make_display_conversion(const std::string& from, const std::string&) const
{
    if (built_in_ || config_->getNumDisplays() == 0) return conversion(from, srgb_space);
    std::string display;
    for (const std::string& d : config_->getDisplayNames())
        if (same_name(d, srgb_space)) display = d;
    if (display.empty()) display = config_->getDefaultDisplayName();
    const char* view = config_->getDefaultViewName(display);
    const std::string space = require(from, "\"" + from + "\"");
    OIIO::ColorProcessorHandle processor = config_->createDisplayTransform(display, view != nullptr ? view : "", space);
    const std::string why = one_line(config_->geterror());
    if (!processor)
        throw ColourError("no view of \"" + space + "\" on the display \"" + display + "\" in " + description() +
                          (why.empty() ? std::string() : ": " + why));
    if (processor->isNoOp()) return nullptr;
    return std::make_shared<const ColourConversion>(std::move(processor));
}

}  // namespace trellin_app
