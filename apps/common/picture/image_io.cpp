#include "apps/common/picture/image_io.h"

#include <OpenImageIO/imageio.h>
#include <OpenImageIO/strutil.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "apps/common/core/picture_limits.h"
#include "apps/common/core/printable_text.h"
#include "apps/common/core/sample_convert.h"
#include "apps/common/picture/picture_attributes.h"
#include "apps/common/picture/picture_header.h"
#include "apps/common/picture/picture_output.h"

namespace fs = std::filesystem;

namespace trellin_app {

namespace {

PictureError fault(const std::string& path, const std::string& what)
{
    return PictureError(path + ": " + what);
}

// OpenImageIO's messages may span lines; keep them on one.
std::string error_line(std::string text)
{
    text = one_line(std::move(text));
    return text.empty() ? std::string("unknown error") : text;
}

bool any_float_channel(const OIIO::ImageSpec& spec, int channels)
{
    for (int c = 0; c < channels; ++c) {
        if (spec.channelformat(c).is_floating_point()) return true;
    }
    return false;
}

// Whether an attribute describes the picture rather than how its file stores it.
bool describes_picture(const std::string& name, bool grey)
{
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) {
        // Shared metadata namespaces; every other prefix names a format.
        const std::string prefix = name.substr(0, colon);
        return prefix == "Exif" || prefix == "GPS" || prefix == "IPTC" || prefix == "smpte" ||
               name == "oiio:ColorSpace";
    }
    static const char* const layout[] = {"compression", "planarconfig", "PixelAspectRatio",
                                         "XResolution", "YResolution",  "ResolutionUnit"};
    for (const char* l : layout) {
        if (name == l) return false;
    }
    // A grey picture's colour profile does not fit the RGB picture it becomes.
    return !(grey && name == "ICCProfile");
}

std::shared_ptr<const PictureAttributes> kept_attributes(const OIIO::ImageSpec& spec, bool grey)
{
    auto attributes = std::make_shared<PictureAttributes>();
    for (const OIIO::ParamValue& p : spec.extra_attribs) {
        if (describes_picture(p.name().string(), grey)) attributes->list.push_back(p);
    }
    if (attributes->list.empty()) return nullptr;
    return attributes;
}

// Stored samples of `channels` per pixel into a picture of `samples` per
// pixel (`size` in all): grey becomes red = green = blue.
template <class T>
void to_picture_layout(const T* src, int channels, T* dst, int samples, std::size_t size)
{
    for (std::size_t i = 0; i < size; i += std::size_t(samples), src += channels, dst += samples) {
        if (channels <= 2) {
            dst[0] = dst[1] = dst[2] = src[0];
            if (channels == 2) dst[3] = src[1];
        } else {
            for (int c = 0; c < channels; ++c) dst[c] = src[c];
        }
    }
}

}  // namespace

void use_picture_processors(int processors)
{
    // OpenImageIO's pool has `threads` - 1 threads; the thread that asks
    // for the work takes its share too.
    OIIO::attribute("threads", processors > 1 ? processors + 1 : 1);
}

bool parse_sample_depth(const std::string& text, SampleDepth& depth)
{
    static const std::pair<const char*, SampleDepth> names[] = {
        {"auto", SampleDepth::automatic}, {"8", SampleDepth::uint8},   {"10", SampleDepth::uint10},
        {"16", SampleDepth::uint16},      {"half", SampleDepth::half}, {"float", SampleDepth::float32}};
    for (const auto& [name, d] : names) {
        if (text == name) {
            depth = d;
            return true;
        }
    }
    return false;
}

const char* sample_depth_name(SampleDepth depth)
{
    switch (depth) {
    case SampleDepth::automatic:
        return "automatic";
    case SampleDepth::uint8:
        return "8-bit";
    case SampleDepth::uint10:
        return "10-bit";
    case SampleDepth::uint16:
        return "16-bit";
    case SampleDepth::half:
        return "half float";
    case SampleDepth::float32:
        return "float";
    }
    return "unknown";
}

HostPicture read_picture(const std::string& path, PictureSource* source, HostPicture storage)
{
    // A device or a pipe may never end (/dev/zero) or be read only once, and
    // a header may claim more than the file holds: neither reaches the library.
    if (const std::string why = picture_header_fault(path); !why.empty()) throw fault(path, why);

    // Ask for the samples as stored: without this hint PNG and TIFF colour
    // would come back multiplied by alpha.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path, &config);
    if (!in) throw fault(path, "cannot read picture: " + error_line(OIIO::geterror()));

    const OIIO::ImageSpec& spec = in->spec();
    if (spec.deep) throw fault(path, "deep pictures are not supported");
    if (spec.depth > 1) throw fault(path, "volume pictures are not supported");
    if (spec.width < 1 || spec.height < 1 || spec.nchannels < 1)
        throw fault(path, "picture has no pixels (" + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
                              ", " + std::to_string(spec.nchannels) + " channels)");
    // The size the file declares is checked before anything is allocated: a
    // few bytes may claim a picture no memory holds.
    if (const std::string why = picture_size_fault(spec.width, spec.height); !why.empty())
        throw fault(path, "picture " + why);

    const int channels = std::min(spec.nchannels, 4);
    const std::size_t values = std::size_t(spec.width) * std::size_t(spec.height) * std::size_t(channels);
    const bool alpha = channels == 2 || channels == 4;
    // The samples go into the storage lent (resized, not cleared: every
    // sample is read over) and, for colour read as RGB or RGBA, straight
    // into the picture's layout without a copy in between.
    HostPicture picture = std::move(storage);
    picture.width = spec.width;
    picture.height = spec.height;
    picture.samples = alpha ? 4 : 3;
    picture.data.resize(std::size_t(spec.width) * std::size_t(spec.height) * std::size_t(picture.samples));
    const bool laid_out = channels == picture.samples;
    const auto read_as = [&](OIIO::TypeDesc type, void* into) {
        if (!in->read_image(0, 0, 0, channels, type, into) || in->has_error())
            throw fault(path, "cannot read picture: " + error_line(in->geterror()));
    };
    if (any_float_channel(spec, channels)) {
        std::vector<float> kept;
        std::vector<float>& floats = source && laid_out ? source->samples : kept;
        floats.resize(values);
        read_as(OIIO::TypeDesc::FLOAT, floats.data());
        if (laid_out) {
            std::transform(floats.begin(), floats.end(), picture.data.begin(), from_unit_float);
        } else {
            std::vector<std::uint16_t> stored(values);
            std::transform(floats.begin(), floats.end(), stored.begin(), from_unit_float);
            to_picture_layout(stored.data(), channels, picture.data.data(), picture.samples, picture.data.size());
            if (source) {
                source->samples.resize(picture.data.size());
                to_picture_layout(floats.data(), channels, source->samples.data(), picture.samples,
                                  picture.data.size());
            }
        }
    } else if (laid_out) {
        read_as(OIIO::TypeDesc::UINT16, picture.data.data());
        if (source) source->samples.clear();
    } else {
        std::vector<std::uint16_t> stored(values);
        read_as(OIIO::TypeDesc::UINT16, stored.data());
        to_picture_layout(stored.data(), channels, picture.data.data(), picture.samples, picture.data.size());
        if (source) source->samples.clear();
    }

    const float aspect = spec.get_float_attribute("PixelAspectRatio", 1.0f);
    picture.pixel_aspect = std::isfinite(aspect) && aspect > 0.0f ? static_cast<double>(aspect) : 1.0;
    picture.attributes = kept_attributes(spec, channels <= 2);
    if (source) {
        std::vector<float> samples = std::move(source->samples);
        *source = describe_source(spec, in->format_name());
        source->samples = std::move(samples);
    }
    in->close();
    return picture;
}

namespace {

// Formats OpenImageIO can "write" that make no picture file.
bool is_picture_format(const std::string& name)
{
    return name != "null" && name != "term";
}

// An output for the format named by the extension of `path`; faults name
// `shown` (the file the user asked for).
std::unique_ptr<OIIO::ImageOutput> create_output(const std::string& path, const std::string& shown)
{
    const std::string ext = fs::path(path).extension().string();
    if (ext.empty() || ext == ".")
        throw fault(shown, "no file extension to choose the picture format by (use .png, .tif, .exr, ...)");
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
    if (!out || !is_picture_format(out->format_name())) {
        OIIO::geterror();  // drop the library's message: ours says more
        throw fault(shown, "no picture format known for the extension \"" + ext + "\" (use .png, .tif, .exr, ...)");
    }
    return out;
}

// The sample type to ask a format for.
OIIO::TypeDesc preferred_type(const std::string& format)
{
    if (format == "openexr") return OIIO::TypeDesc::HALF;
    if (format == "jpeg") return OIIO::TypeDesc::UINT8;
    return OIIO::TypeDesc::UINT16;
}

// The depths each format takes (beyond automatic); null for a format that
// takes only its automatic depth.
const std::vector<SampleDepth>* depths_of(const std::string& format)
{
    using D = SampleDepth;
    static const std::vector<D> png{D::uint8, D::uint16}, tiff{D::uint8, D::uint16, D::float32},
        exr{D::half, D::float32}, dpx{D::uint8, D::uint10, D::uint16}, jpeg{D::uint8};
    if (format == "png") return &png;
    if (format == "tiff") return &tiff;
    if (format == "openexr") return &exr;
    if (format == "dpx") return &dpx;
    if (format == "jpeg") return &jpeg;
    return nullptr;
}

// The sample type to ask for and the bits per sample (0: the type's own).
OIIO::TypeDesc type_for(const std::string& format, SampleDepth depth, int& bits)
{
    bits = 0;
    switch (depth) {
    case SampleDepth::automatic:
        break;
    case SampleDepth::uint8:
        return OIIO::TypeDesc::UINT8;
    case SampleDepth::uint10:
        bits = 10;
        return OIIO::TypeDesc::UINT16;
    case SampleDepth::uint16:
        return OIIO::TypeDesc::UINT16;
    case SampleDepth::half:
        return OIIO::TypeDesc::HALF;
    case SampleDepth::float32:
        return OIIO::TypeDesc::FLOAT;
    }
    return preferred_type(format);
}

}  // namespace

std::string output_format(const std::string& path)
{
    return create_output(path, path)->format_name();
}

void check_sample_depth(const std::string& path, SampleDepth depth)
{
    if (depth == SampleDepth::automatic) return;
    const std::string format = output_format(path);
    const std::vector<SampleDepth>* depths = depths_of(format);
    if (depths == nullptr)
        throw fault(path, std::string("the ") + format + " format is written at its own depth only (--depth " +
                              "is for PNG, TIFF, OpenEXR, DPX and JPEG files)");
    if (std::find(depths->begin(), depths->end(), depth) != depths->end()) return;
    std::string takes;
    for (std::size_t i = 0; i < depths->size(); ++i)
        takes += std::string(i == 0 ? "" : i + 1 == depths->size() ? " or " : ", ") + sample_depth_name((*depths)[i]);
    throw fault(path, std::string("the ") + format + " format holds no " + sample_depth_name(depth) +
                          " samples (it takes " + takes + ")");
}

std::string check_output_path(const std::string& path)
{
    std::string format = output_format(path);
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw fault(path, "is a folder");
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec))
        throw fault(path, "cannot write here: no folder " + folder.string());
    return format;
}

WriteReport write_picture(const HostPicture& picture, const std::string& path, const WriteOptions& options)
{
    if (picture.samples != 3 && picture.samples != 4)
        throw fault(path, "cannot write a picture of " + std::to_string(picture.samples) + " samples per pixel");
    if (picture.width < 1 || picture.height < 1) throw fault(path, "cannot write an empty picture");
    check_output_path(path);
    check_sample_depth(path, options.depth);

    PictureOutput file(path);
    std::unique_ptr<OIIO::ImageOutput> out = create_output(file.file_name(), path);
    file.attach(*out);

    WriteReport report;
    report.format = out->format_name();
    report.channels = picture.samples;
    if (report.channels == 4 && !out->supports("alpha")) {
        report.channels = 3;
        report.alpha_dropped = true;
    }

    int bits = 0;
    const OIIO::TypeDesc asked = type_for(report.format, options.depth, bits);
    OIIO::ImageSpec spec(picture.width, picture.height, report.channels, asked);
    if (picture.attributes) {
        for (const OIIO::ParamValue& p : picture.attributes->list) spec.extra_attribs.push_back(p);
    }
    if (bits != 0) spec.attribute("oiio:BitsPerSample", bits);
    // Write the samples as they are; without this PNG colour would be divided by alpha.
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (report.format == "png") spec.attribute("png:compressionLevel", options.png_compression);
    if (report.format == "jpeg" && options.jpeg_quality > 0)
        spec.attribute("Compression", "jpeg:" + std::to_string(options.jpeg_quality));
    if (picture.pixel_aspect != 1.0) spec.attribute("PixelAspectRatio", static_cast<float>(picture.pixel_aspect));
    // A TIFF names its colour space in its Exif tags: 1 for sRGB (which
    // OpenImageIO writes for sRGB pictures), 65535 (uncalibrated) for any
    // other. Without an Exif tag OpenImageIO's TIFF writer reports a failed
    // Exif directory for a file it wrote whole, so every picture gets one.
    if (report.format == "tiff" && spec.find_attribute("Exif:ColorSpace") == nullptr &&
        !OIIO::Strutil::iequals(spec.get_string_attribute("oiio:ColorSpace"), "sRGB"))
        spec.attribute("Exif:ColorSpace", 65535);

    // DPX has no code for the sRGB curve: its transfer field says "User
    // defined" (its colorimetric field BT.709's primaries, which sRGB has)
    // rather than "Undefined".
    if (report.format == "dpx" && spec.find_attribute("dpx:Transfer") == nullptr &&
        OIIO::Strutil::iequals(spec.get_string_attribute("oiio:ColorSpace"), "sRGB")) {
        spec.attribute("dpx:Transfer", "User defined");
        spec.attribute("dpx:Colorimetric", "ITU-R 709-4");
    }

    if (!out->open(file.file_name(), spec)) throw fault(path, "cannot write picture: " + error_line(out->geterror()));

    // The format may have settled on another sample type than asked for
    // (8 bits for TGA, BMP, ...): convert to it here so that 8-bit output is
    // always rounded the same way.
    const OIIO::TypeDesc stored = out->spec().format;
    const std::size_t pixels = std::size_t(picture.width) * std::size_t(picture.height);
    const int n = report.channels;
    // Room for the samples as stored and the header: compressed, a picture
    // seldom takes more.
    file.expect(pixels * std::size_t(n) * stored.size() + 65536);
    bool written = false;
    // The converted samples' blocks are not cleared first: every sample is written.
    if (stored == OIIO::TypeDesc::UINT8) {
        auto samples = std::make_unique_for_overwrite<std::uint8_t[]>(pixels * std::size_t(n));
        for (std::size_t i = 0; i < pixels; ++i)
            for (int c = 0; c < n; ++c) samples[i * n + c] = to_8bit(picture.data[i * picture.samples + c]);
        written = out->write_image(OIIO::TypeDesc::UINT8, samples.get());
    } else if (stored == OIIO::TypeDesc::HALF) {
        // Handed over as the file stores them: the library would otherwise
        // convert the floats into a cleared block of its own. Converted row
        // by row with its own conversion, so the halves are those it makes.
        const std::size_t row = std::size_t(picture.width) * std::size_t(n);
        auto halves = std::make_unique_for_overwrite<std::uint16_t[]>(pixels * std::size_t(n));
        std::vector<float> floats(row);
        for (int y = 0; y < picture.height; ++y) {
            const std::size_t first = std::size_t(y) * std::size_t(picture.width);
            for (std::size_t i = 0; i < std::size_t(picture.width); ++i)
                for (int c = 0; c < n; ++c) {
                    const std::size_t at = (first + i) * picture.samples + c;
                    floats[i * n + c] =
                        options.float_samples ? (*options.float_samples)[at] : to_unit_float(picture.data[at]);
                }
            if (!OIIO::convert_pixel_values(OIIO::TypeDesc::FLOAT, floats.data(), OIIO::TypeDesc::HALF,
                                            halves.get() + first * std::size_t(n), int(row)))
                throw fault(path, "cannot write picture: no conversion of its samples to half floats");
        }
        written = out->write_image(OIIO::TypeDesc::HALF, halves.get());
    } else if (stored.is_floating_point()) {
        auto samples = std::make_unique_for_overwrite<float[]>(pixels * std::size_t(n));
        for (std::size_t i = 0; i < pixels; ++i)
            for (int c = 0; c < n; ++c) {
                const std::size_t at = i * picture.samples + c;
                samples[i * n + c] =
                    options.float_samples ? (*options.float_samples)[at] : to_unit_float(picture.data[at]);
            }
        written = out->write_image(OIIO::TypeDesc::FLOAT, samples.get());
    } else if (bits == 10) {
        // The format keeps the top 10 bits of what it is given: hand it each
        // sample rounded to the nearest 10-bit step, as 8-bit output is rounded.
        auto samples = std::make_unique_for_overwrite<std::uint16_t[]>(pixels * std::size_t(n));
        for (std::size_t i = 0; i < pixels; ++i)
            for (int c = 0; c < n; ++c) samples[i * n + c] = to_10bit_in_16(picture.data[i * picture.samples + c]);
        written = out->write_image(OIIO::TypeDesc::UINT16, samples.get());
    } else {
        written = out->write_image(OIIO::TypeDesc::UINT16, picture.data.data(),
                                   static_cast<OIIO::stride_t>(picture.samples * sizeof(std::uint16_t)));
    }
    report.sample_type = bits != 0 ? "uint" + std::to_string(bits) : std::string(stored.c_str());
    const bool closed = out->close();
    if (!written || !closed || out->has_error())
        throw fault(path, "cannot write picture: " + error_line(out->geterror()));
    out.reset();
    file.commit();
    return report;
}

}  // namespace trellin_app
