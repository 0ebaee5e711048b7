// Colour spaces by name, and conversions between them, through OpenImageIO's
// colour management: the OpenColorIO config that $OCIO names, or without one
// the built-in spaces: OpenImageIO's own (linear, sRGB, Rec709 and GammaN,
// e.g. Gamma2.2) and the video spaces Trellin ships a config for (Rec2020,
// PQ and HLG, in share/trellin/colour/spaces.ocio). OpenImageIO's spaces
// convert as OpenImageIO converts them; a conversion that meets one of the
// shipped spaces goes through linear, which both sides share (linear light,
// Rec.709 primaries, 1.0 being 100 cd/m2).
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
    explicit ColourConversion(OIIO::ColorProcessorHandle processor, OIIO::ColorProcessorHandle then = nullptr)
        : processor_(std::move(processor)), then_(std::move(then))
    {
    }
    void apply(float* pixels, std::size_t count, int channels) const;

private:
    OIIO::ColorProcessorHandle processor_;
    OIIO::ColorProcessorHandle then_;  // a second step, when the conversion goes through linear
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
    // when the config named cannot be read. The built-in video spaces come
    // from own_colour_config(executable_dir()), or from `own`; when it
    // cannot be read those names are unknown (the list of known names says
    // why) and nothing else changes.
    explicit ColourSpaces(const std::string& config = "");
    ColourSpaces(const std::string& config, const std::string& own);
    ~ColourSpaces();
    ColourSpaces(const ColourSpaces&) = delete;
    ColourSpaces& operator=(const ColourSpaces&) = delete;

    // The process's spaces ($OCIO), read on first use.
    static const ColourSpaces& shared();

    // "the OpenColorIO config FILE" or "the built-in colour spaces".
    std::string description() const;

    // The space `name` stands for, spelt as the config spells it: case does
    // not matter; a config's aliases and roles give their space, and
    // "linear" its scene_linear role. Empty when the name is unknown.
    std::string resolve(const std::string& name) const;

    // As resolve, but an unknown name is a ColourError that starts with
    // `what` (the option or file that named it) and lists the known names.
    std::string require(const std::string& name, const std::string& what) const;

    // Whether `name` is a high-dynamic-range video space of the built-in
    // ones (PQ, HLG): its pictures are worked on in sRGB, the part above
    // SDR's white split off as float pictures' is. False with a config.
    bool hdr_video(const std::string& name) const;

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

    // The shipped config's space for `name`, empty when it has none.
    std::string own_space(const std::string& name) const;
    // A conversion made by OpenImageIO's built-in spaces or by the shipped
    // config, null when it is a no-op; a ColourError when it cannot be made.
    OIIO::ColorProcessorHandle built_in_processor(const std::string& from, const std::string& to) const;
    OIIO::ColorProcessorHandle own_processor(const std::string& from, const std::string& to) const;

    std::unique_ptr<OIIO::ColorConfig> config_;
    bool built_in_ = true;
    std::unique_ptr<OIIO::ColorConfig> own_;  // the shipped video spaces, beside the built-in ones
    std::string own_fault_;                   // why they could not be read
    mutable std::recursive_mutex lock_;
    mutable std::map<std::pair<std::string, std::string>, ConversionPtr> conversions_;
};

// The shipped config of the built-in video spaces for a program in
// `base_dir`: base_dir/../share/trellin/colour/spaces.ocio.
std::string own_colour_config(const std::string& base_dir);

// Equal names, without regard to case.
bool same_name(const std::string& a, const std::string& b);

}  // namespace trellin_app
