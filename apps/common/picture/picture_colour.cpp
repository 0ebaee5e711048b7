#include "apps/common/picture/picture_colour.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "apps/common/core/hdr_curve.h"
#include "apps/common/picture/picture_attributes.h"
#include "apps/common/picture/picture_settings.h"
#include "apps/common/core/sample_convert.h"

using nlohmann::json;

namespace trellin_app {

namespace {

// Attributes that describe the colours of the input: wrong for an output in
// another space.
constexpr const char* colour_descriptors[] = {"ICCProfile", "chromaticities",         "Exif:ColorSpace",
                                              "colorSpace", "acesImageContainerFlag", "oiio:Gamma"};

bool in_unit_range(float v)
{
    return v >= 0.0f && v <= 1.0f;
}

std::vector<float> unit_floats(const HostPicture& picture)
{
    std::vector<float> f(picture.data.size());
    std::transform(picture.data.begin(), picture.data.end(), f.begin(), to_unit_float);
    return f;
}

void store_16bit(const std::vector<float>& f, HostPicture& picture)
{
    std::transform(f.begin(), f.end(), picture.data.begin(), from_unit_float);
}

// Calls fn on the colour samples (not alpha) of interleaved pixels of `n` samples.
template <class Fn>
void each_colour(std::vector<float>& f, int n, Fn fn)
{
    for (std::size_t i = 0; i < f.size(); i += std::size_t(n))
        for (int c = 0; c < 3; ++c) fn(f[i + std::size_t(c)]);
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

NodeFrame PictureColour::to_node(HostPicture picture, PictureSource source, const std::string& name) const
{
    NodeFrame frame;
    const std::string convention = source.float_samples ? linear_space : srgb_space;
    frame.input_space = options_.colorspace_in;
    if (frame.input_space.empty()) {
        const std::string& named = source.metadata_space;
        if (named.empty() || same_name(named, convention) || !spaces().resolve(named).empty()) {
            frame.input_space = named.empty() ? convention : named;
        } else {
            frame.input_space = convention;
            frame.notes.push_back(name + ": " + source.metadata_origin + " names the colour space \"" + named +
                                  "\", which " + spaces().description() + " does not have; taken as " + convention +
                                  " (give --colorspace-in to say otherwise)");
        }
    }
    frame.working_space = options_.working_space.empty() ? frame.input_space : options_.working_space;

    frame.hdr = picture_hdr_mode(options_.hdr, source.float_samples);
    const bool hdr = frame.hdr == HdrMode::log;
    const bool split = frame.hdr == HdrMode::split;
    const int n = picture.samples;
    const bool unpremultiply = source.associated_alpha && n == 4;
    const ConversionPtr convert = conversion(frame.input_space, frame.working_space, name);
    // Integer samples in the working space lie within 0..1: split has nothing to take out.
    if (!source.float_samples && !unpremultiply && !convert && !hdr) {
        frame.picture = std::move(picture);
        return frame;
    }

    std::vector<float> f = source.samples.empty() ? unit_floats(picture) : std::move(source.samples);
    const std::size_t pixels = f.size() / std::size_t(n);
    if (unpremultiply) {
        for (std::size_t i = 0; i < f.size(); i += 4) {
            const float a = f[i + 3];
            if (a > 0.0f)
                for (int c = 0; c < 3; ++c) f[i + std::size_t(c)] /= a;
        }
    }
    if (convert) convert->apply(f.data(), pixels, n);

    ClipCount& clip = frame.clipped;
    if (split) {
        frame.parts = split_samples(f, picture, clip);
    } else {
        each_colour(f, n, [&clip, hdr](float& x) {
            const float v = hdr ? hdr_log::encode(x) : x;
            if (!in_unit_range(v)) clip.add(x);
            x = v;
        });
    }
    clip.total = static_cast<long long>(pixels) * 3;
    if (n == 4) {
        frame.alpha.resize(pixels);
        for (std::size_t p = 0; p < pixels; ++p) {
            const float a = f[p * 4 + 3];
            frame.alpha[p] = a;
            // Alpha that goes through the node is clipped to its range;
            // alpha that does not comes back as it was read.
            if (options_.refract_alpha && !in_unit_range(a)) clip.add(a);
        }
        if (options_.refract_alpha) clip.total += static_cast<long long>(pixels);
    }
    store_16bit(f, picture);
    frame.picture = std::move(picture);
    return frame;
}

std::string PictureColour::output_space(const OutputForm& form) const
{
    if (!options_.colorspace_out.empty()) return options_.colorspace_out;
    return form.float_samples ? linear_space : srgb_space;
}

OutputFrame PictureColour::from_node(HostPicture result, const NodeFrame& frame, const std::string& space,
                                     const OutputForm& form, const SplitParts* parts) const
{
    OutputFrame out;
    out.space = space;
    const bool hdr = frame.hdr == HdrMode::log;
    const bool split = parts != nullptr && !parts->empty();
    const int n = result.samples;
    const std::size_t pixels = result.data.size() / std::size_t(n);
    const ConversionPtr convert = conversion(frame.working_space, space, "the output");
    const bool premultiply = form.associated_alpha && n == 4;
    // Alpha that was not refracted is the input's: written as it was read.
    const bool input_alpha = !options_.refract_alpha && n == 4 && frame.alpha.size() == pixels;

    if (hdr || split || convert || premultiply || (input_alpha && form.float_samples)) {
        std::vector<float> f = unit_floats(result);
        if (hdr) each_colour(f, n, [](float& v) { v = hdr_log::decode(v); });
        if (split) add_parts(f, *parts);
        if (input_alpha)
            for (std::size_t p = 0; p < pixels; ++p) f[p * 4 + 3] = frame.alpha[p];
        if (convert) convert->apply(f.data(), pixels, n);
        if (premultiply) {
            for (std::size_t i = 0; i < f.size(); i += 4)
                for (int c = 0; c < 3; ++c) f[i + std::size_t(c)] *= f[i + 3];
        }
        if (!form.float_samples) {
            for (const float v : f)
                if (!in_unit_range(v)) out.clipped.add(v);
            out.clipped.total = static_cast<long long>(f.size());
        }
        store_16bit(f, result);
        out.samples = std::move(f);
    }
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
    if (!hdr && !split && !display) return result;
    std::vector<float> f = unit_floats(result);
    if (hdr) each_colour(f, result.samples, [](float& v) { v = hdr_log::decode(v); });
    if (split) add_parts(f, *parts);
    if (display) display->apply(f.data(), f.size() / std::size_t(result.samples), result.samples);
    store_16bit(f, result);
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
    attach_settings(attributes->list, format, picture_settings_document(record, frame, space));
    out.picture.attributes = std::move(attributes);
    WriteOptions written = options;
    if (!out.samples.empty()) written.float_samples = &out.samples;
    const WriteReport report = write_picture(out.picture, path, written);
    clipped.merge(out.clipped);
    return report;
}

std::string clip_note(const ClipCount& count, HdrMode mode, const std::string& working_space)
{
    if (count.clipped == 0) return {};
    const bool hdr = mode == HdrMode::log;
    const std::string range = hdr ? "the range of --hdr log (" + number(float(hdr_log::lowest)) + " to " +
                                        number(float(hdr_log::highest)) + ")"
                              : mode == HdrMode::split
                                  ? std::string("what --hdr split carries (finite colour, alpha 0..1)")
                                  : std::string("0..1");
    std::string note = std::to_string(count.clipped) + " of " + std::to_string(count.total) + " samples lay outside " +
                       range + " in the working space " + working_space;
    note += count.lowest <= count.highest
                ? " (lowest " + number(count.lowest) + ", highest " + number(count.highest) + ")"
                : std::string(" (not numbers)");
    note += " and were clipped";
    if (mode == HdrMode::none) note += "; --hdr split keeps them with the look unchanged";
    return note;
}

}  // namespace trellin_app
