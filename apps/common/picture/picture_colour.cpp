#include "apps/common/picture/picture_colour.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "apps/common/core/alpha_clip.h"
#include "apps/common/core/hdr_curve.h"
#include "apps/common/core/frame_colour.h"
#include "apps/common/picture/picture_attributes.h"
#include "apps/common/picture/picture_settings.h"

using nlohmann::json;

namespace trellin_app {

namespace {

// Attributes that describe the colours of the input: wrong for an output in
// another space.
constexpr const char* colour_descriptors[] = {"ICCProfile", "chromaticities",         "Exif:ColorSpace",
                                              "colorSpace", "acesImageContainerFlag", "oiio:Gamma"};

// The colour-space step of the colour handling (frame_colour.h): none when
// there is no conversion.
SpaceStep space_step(const ConversionPtr& conversion)
{
    if (!conversion) return {};
    return [conversion](float* f, std::size_t pixels, int samples) { conversion->apply(f, pixels, samples); };
}

std::shared_ptr<const PictureAttributes> output_attributes(const std::shared_ptr<const PictureAttributes>& input,
                                                           const std::string& space, const std::string& format,
                                                           bool space_changed)
{
    auto attributes = input ? std::make_shared<PictureAttributes>(*input) : std::make_shared<PictureAttributes>();
    for (const char* name : colour_descriptors)
        if (space_changed || std::string(name) == "colorSpace") attributes->list.remove(name);
    attributes->list.attribute("oiio:ColorSpace", space);
    if (format == "openexr") attributes->list.attribute("colorSpace", space);
    return attributes;
}

// How far above 1 an HDR video output's top code may come back from the
// split (its parts' 15-bit steps through the curves) and still be the top.
constexpr float hdr_top_slack = 1e-4f;

std::string number(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", double(v));
    return text;
}

}  // namespace

OutputForm file_output_form(const std::string& format, SampleDepth depth)
{
    OutputForm form;
    form.format = format;
    form.float_samples =
        format == "openexr" || format == "hdr" || depth == SampleDepth::half || depth == SampleDepth::float32;
    form.associated_alpha = format == "openexr";
    return form;
}

PictureColour::PictureColour(RenderOptions options, const ColourSpaces* spaces)
    : options_(std::move(options)), spaces_(spaces)
{
    const std::pair<const std::string*, const char*> given[] = {{&options_.colorspace_in, "--colorspace-in"},
                                                                {&options_.working_space, "--working-space"},
                                                                {&options_.colorspace_out, "--colorspace-out"}};
    for (const auto& [name, option] : given)
        if (!name->empty()) this->spaces().require(*name, option);
    // A config $OCIO names is read now, named or not: one that cannot be
    // read is a fault before any frame, not a silent fall back.
    const char* env = std::getenv("OCIO");
    if (spaces_ == nullptr && env != nullptr && *env != '\0') ColourSpaces::shared();
}

const ColourSpaces& PictureColour::spaces() const
{
    return spaces_ != nullptr ? *spaces_ : ColourSpaces::shared();
}

bool PictureColour::same(const std::string& a, const std::string& b) const
{
    return same_name(a, b) || spaces().same(a, b);
}

ConversionPtr PictureColour::conversion(const std::string& from, const std::string& to, const std::string& name) const
{
    if (same_name(from, to)) return nullptr;
    try {
        return spaces().conversion(from, to);
    } catch (const ColourError& e) {
        throw ColourError(name + ": " + e.what());
    }
}

void PictureColour::prepare_output(const NodeFrame& frame, const std::string& space) const
{
    conversion(frame.working_space, space, "the output");
}

void PictureColour::name_spaces(const PictureSource& source, const std::string& name, NodeFrame& frame) const
{
    const std::string convention = source.float_samples ? linear_space : srgb_space;
    frame.input_space = options_.colorspace_in;
    if (frame.input_space.empty()) {
        const std::string& named = source.metadata_space;
        if (named.empty() || same_name(named, convention) || !spaces().resolve(named).empty()) {
            frame.input_space = named.empty() ? convention : named;
        } else {
            frame.input_space = convention;
            frame.notes.push_back(name + ": the colour space \"" + named + "\" named by " + source.metadata_origin +
                                  " is not in " + spaces().description() + "; taken as " + convention +
                                  " (give --colorspace-in to say otherwise)");
        }
    }
    // PQ and HLG are worked on as SDR is, in sRGB: within SDR's range the
    // look is the SDR look, and the light above it is split off (to_node).
    frame.working_space = !options_.working_space.empty()         ? options_.working_space
                          : spaces().hdr_video(frame.input_space) ? std::string(srgb_space)
                                                                  : frame.input_space;
}

NodeFrame PictureColour::to_node(HostPicture picture, PictureSource source, const std::string& name) const
{
    NodeFrame frame;
    name_spaces(source, name, frame);
    // Integer samples of an HDR space hold light above 1 as floats do.
    frame.hdr = picture_hdr_mode(options_.hdr, source.float_samples || spaces().hdr_video(frame.input_space));
    FloatsIn how;
    how.float_samples = source.float_samples;
    how.associated_alpha = source.associated_alpha;
    how.hdr = frame.hdr;
    floats_into_node(std::move(source.samples), std::move(picture), how,
                     space_step(conversion(frame.input_space, frame.working_space, name)), frame);
    return frame;
}

bool PictureColour::integers_unconverted(const PictureSource& source) const
{
    if (source.float_samples || source.associated_alpha) return false;
    if (picture_hdr_mode(options_.hdr, false) == HdrMode::log) return false;
    NodeFrame named;
    name_spaces(source, {}, named);
    return conversion(named.input_space, named.working_space, "the source image") == nullptr;
}

bool PictureColour::floats_unconverted(const PictureSource& source, const OutputForm& form) const
{
    // A space the source's metadata names may need the colour configuration
    // to resolve: such frames are left to to_node.
    if (!source.float_samples || !form.float_samples || !source.metadata_space.empty()) return false;
    if (picture_hdr_mode(options_.hdr, true) != HdrMode::split) return false;
    NodeFrame named;
    name_spaces(source, {}, named);
    return same_name(named.input_space, named.working_space) && same_name(named.working_space, output_space(form));
}

std::string PictureColour::output_space(const OutputForm& form) const
{
    if (!options_.colorspace_out.empty()) return options_.colorspace_out;
    return form.float_samples ? linear_space : srgb_space;
}

OutputFrame PictureColour::from_node(HostPicture result, const NodeFrame& frame, const std::string& space,
                                     const OutputForm& form, const SplitParts* parts, std::vector<float> storage) const
{
    OutputFrame out;
    out.space = space;
    FloatsOut how;
    how.form = form;
    how.input_alpha = !options_.refract_alpha;
    SpaceStep step = space_step(conversion(frame.working_space, space, "the output"));
    // An HDR video space's top code (PQ's 10000 cd/m2, HLG's peak) comes
    // back from the split within its precision, a hair above 1: that is the
    // top code, not light the output cannot hold.
    if (step && !form.float_samples && spaces().hdr_video(space))
        step = [step](float* f, std::size_t pixels, int samples) {
            step(f, pixels, samples);
            for (std::size_t p = 0; p < pixels; ++p)
                for (int c = 0; c < std::min(samples, 3); ++c) {
                    float& v = f[p * std::size_t(samples) + std::size_t(c)];
                    if (v > 1.0f && v <= 1.0f + hdr_top_slack) v = 1.0f;
                }
        };
    floats_out_of_node(result, frame, parts, how, std::move(step), std::move(storage), out);
    result.attributes = output_attributes(result.attributes, space, form.format, !same(frame.input_space, space));
    out.picture = std::move(result);
    return out;
}

HostPicture PictureColour::for_display(HostPicture result, const NodeFrame& frame, const SplitParts* parts) const
{
    const bool hdr = frame.hdr == HdrMode::log;
    const bool split = parts != nullptr && !parts->empty();
    if (!hdr && !split && same_name(frame.working_space, srgb_space)) return result;
    ConversionPtr display;
    try {
        display = spaces().display_conversion(frame.working_space);
    } catch (const ColourError& e) {
        throw ColourError(std::string("the display: ") + e.what());
    }
    // Through the way out to floats, where the display's conversion stands
    // for the output's: the samples come back as a float output would hold
    // them, which the display's 16 bits clamp as they would clamp any.
    FloatsOut how;
    how.form.float_samples = true;
    OutputFrame shown;
    floats_out_of_node(result, frame, parts, how, space_step(display), std::vector<float>(), shown);
    return result;
}

json picture_settings_document(const RenderRecord& record, const NodeFrame& frame, const std::string& space)
{
    json doc = record.project;
    doc["picture"] = {{"software", software_name()},
                      {"input", record.input},
                      {"frame", record.frame},
                      {"colorspace_in", frame.input_space},
                      {"working_space", frame.working_space},
                      {"colorspace_out", space}};
    return doc;
}

WriteReport write_rendered(const PictureColour& colour, HostPicture result, const NodeFrame& frame,
                           const std::string& path, const WriteOptions& options, const RenderRecord& record,
                           ClipCount& clipped, const SplitParts* parts)
{
    const std::string format = output_format(path);
    const OutputForm form = file_output_form(format, options.depth);
    const std::string space = colour.output_space(form);
    OutputFrame out = colour.from_node(std::move(result), frame, space, form, parts);
    auto attributes = std::make_shared<PictureAttributes>(*out.picture.attributes);
    const bool attached = attach_settings(attributes->list, format, picture_settings_document(record, frame, space));
    out.picture.attributes = std::move(attributes);
    WriteOptions written = options;
    if (!out.samples.empty()) written.float_samples = &out.samples;
    WriteReport report = write_picture(out.picture, path, written);
    report.settings_dropped = !attached;
    clipped.merge(out.clipped);
    return report;
}

std::string clip_note(const ClipCount& count, HdrMode mode, const std::string& working_space)
{
    const std::string alpha = alpha_clip_note(count);
    if (count.clipped == 0) return alpha;
    const bool hdr = mode == HdrMode::log;
    const std::string range = hdr ? "the range of --hdr log (" + number(float(hdr_log::lowest)) + " to " +
                                        number(float(hdr_log::highest)) + ")"
                              : mode == HdrMode::split ? std::string("what --hdr split carries (finite colour)")
                                                       : std::string("0..1");
    std::string note = std::to_string(count.clipped) + " of " + std::to_string(count.total) + " samples lay outside " +
                       range + " in the working space " + working_space;
    if (count.lowest <= count.highest)
        note += " (lowest " + number(count.lowest) + ", highest " + number(count.highest) +
                (count.non_finite > 0 ? ", and " + std::to_string(count.non_finite) + " not finite: NaN or infinite)"
                                      : std::string(")"));
    else
        note += " (" + std::to_string(count.non_finite) + " not finite: NaN or infinite)";
    note += " and were clipped";
    if (mode == HdrMode::none) note += "; --hdr split keeps them with the look unchanged";
    return alpha.empty() ? note : note + "; " + alpha;
}

}  // namespace trellin_app
