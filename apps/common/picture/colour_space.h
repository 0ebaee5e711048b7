// Colour spaces by name, and conversions between them, through OpenImageIO's
// colour management: the OpenColorIO config that $OCIO names, or without one
// OpenImageIO's built-in spaces (linear, sRGB, Rec709 and GammaN, e.g.
// Gamma2.2).
#pragma once

#include <OpenImageIO/color.h>

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

namespace trellin_app {

// A colour space that is unknown, a conversion that cannot be made, or a
// config that cannot be read. The message names the space or the config.
class ColourError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Converts colour values in place: the first three channels (red, green,
// blue) of interleaved float pixels; further channels (alpha) are left as
// they are. Safe to use from several threads at once.
class ColourConversion {
public:
    explicit ColourConversion(OIIO::ColorProcessorHandle processor) : processor_(std::move(processor)) {}
    void apply(float* pixels, std::size_t count, int channels) const;

private:
    OIIO::ColorProcessorHandle processor_;
};

using ConversionPtr = std::shared_ptr<const ColourConversion>;

// Names of the two conventions files follow when they say nothing: integer
// samples hold sRGB, float samples linear light. With a config, "linear"
// stands for its scene_linear role.
inline constexpr char linear_space[] = "linear";
inline constexpr char srgb_space[] = "sRGB";

// Safe to use from several threads at once: every call into the config is
// made under one lock, and conversions are made once and kept.
class ColourSpaces {
public:
    // The spaces of the config file `config` ("": the one $OCIO names, or
    // the built-in spaces when $OCIO is unset or empty). Throws ColourError
    // when the config named cannot be read.
    explicit ColourSpaces(const std::string& config = "");
    ~ColourSpaces();
    ColourSpaces(const ColourSpaces&) = delete;
    ColourSpaces& operator=(const ColourSpaces&) = delete;

    // The process's spaces ($OCIO), read on first use.
    static const ColourSpaces& shared();

    // "the OpenColorIO config FILE" or "OpenImageIO's built-in colour spaces".
    std::string description() const;

    // The space `name` stands for, spelt as the config spells it: case does
    // not matter; a config's aliases and roles give their space, and
    // "linear" its scene_linear role. Empty when the name is unknown.
    std::string resolve(const std::string& name) const;

    // As resolve, but an unknown name is a ColourError that starts with
    // `what` (the option or file that named it) and lists the known names.
    std::string require(const std::string& name, const std::string& what) const;

    // Whether two names are the same space (no conversion needed).
    bool same(const std::string& a, const std::string& b) const;

    // The conversion from space `from` to space `to` (names as resolve takes
    // them); null when they are the same space. Throws ColourError naming
    // both when no conversion between them can be made.
    ConversionPtr conversion(const std::string& from, const std::string& to) const;

    // The conversion from space `from` to what an sRGB monitor shows: with a
    // config, the default view of its display "sRGB" (or of its default
    // display); without one, the sRGB space. Null when nothing changes.
    ConversionPtr display_conversion(const std::string& from) const;

private:
    std::string known_names() const;
    // The conversion made by `make` for (from, to), made once.
    ConversionPtr cached(const std::string& from, const std::string& to,
                         ConversionPtr (ColourSpaces::*make)(const std::string&, const std::string&) const) const;
    ConversionPtr make_conversion(const std::string& from, const std::string& to) const;
    ConversionPtr make_display_conversion(const std::string& from, const std::string&) const;

    std::unique_ptr<OIIO::ColorConfig> config_;
    bool built_in_ = true;
    mutable std::recursive_mutex lock_;
    mutable std::map<std::pair<std::string, std::string>, ConversionPtr> conversions_;
};

// Equal names, without regard to case.
bool same_name(const std::string& a, const std::string& b);

}  // namespace trellin_app
