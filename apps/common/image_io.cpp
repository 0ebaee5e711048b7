#include "apps/common/image_io.h"

#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>
#include <vector>

#include "apps/common/sample_convert.h"

namespace fs = std::filesystem;

namespace trellin_app {

namespace {

// The node addresses samples with 32-bit integers: a picture's
// width * height * 4 must stay below 2^31.
constexpr long long max_pixels = (std::numeric_limits<std::int32_t>::max)() / 4;

PictureError fault(const std::string& path, const std::string& what) { return PictureError(path + ": " + what); }

// OpenImageIO's messages may span lines; keep them on one.
std::string one_line(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text.empty() ? std::string("unknown error") : text;
}

bool any_float_channel(const OIIO::ImageSpec& spec, int channels)
{
    for (int c = 0; c < channels; ++c) {
        if (spec.channelformat(c).is_floating_point()) return true;
    }
    return false;
}

}  // namespace

HostPicture read_picture(const std::string& path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) throw fault(path, "no such file");
    if (fs::is_directory(status)) throw fault(path, "is a folder, not a picture");

    // Ask for the samples as stored: without this hint PNG and TIFF colour
    // would come back multiplied by alpha.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path, &config);
    if (!in) throw fault(path, "cannot read picture: " + one_line(OIIO::geterror()));

    const OIIO::ImageSpec& spec = in->spec();
    if (spec.deep) throw fault(path, "deep pictures are not supported");
    if (spec.depth > 1) throw fault(path, "volume pictures are not supported");
    if (spec.width < 1 || spec.height < 1 || spec.nchannels < 1)
        throw fault(path, "picture has no pixels (" + std::to_string(spec.width) + "x" +
                              std::to_string(spec.height) + ", " + std::to_string(spec.nchannels) + " channels)");
    if (static_cast<long long>(spec.width) * spec.height > max_pixels)
        throw fault(path, "picture too large (" + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
                              "; at most " + std::to_string(max_pixels) + " pixels)");

    const int channels = std::min(spec.nchannels, 4);
    const std::size_t values = std::size_t(spec.width) * std::size_t(spec.height) * std::size_t(channels);
    std::vector<std::uint16_t> stored(values);
    if (any_float_channel(spec, channels)) {
        std::vector<float> floats(values);
        if (!in->read_image(0, 0, 0, channels, OIIO::TypeDesc::FLOAT, floats.data()) || in->has_error())
            throw fault(path, "cannot read picture: " + one_line(in->geterror()));
        std::transform(floats.begin(), floats.end(), stored.begin(), from_unit_float);
    } else {
        if (!in->read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT16, stored.data()) || in->has_error())
            throw fault(path, "cannot read picture: " + one_line(in->geterror()));
    }

    const bool alpha = channels == 2 || channels == 4;
    HostPicture picture(spec.width, spec.height, alpha ? 4 : 3);
    const float aspect = spec.get_float_attribute("PixelAspectRatio", 1.0f);
    picture.pixel_aspect = std::isfinite(aspect) && aspect > 0.0f ? static_cast<double>(aspect) : 1.0;

    const std::size_t pixels = std::size_t(spec.width) * std::size_t(spec.height);
    const std::uint16_t* src = stored.data();
    std::uint16_t* dst = picture.data.data();
    for (std::size_t i = 0; i < pixels; ++i, src += channels, dst += picture.samples) {
        if (channels <= 2) {
            dst[0] = dst[1] = dst[2] = src[0];
            if (channels == 2) dst[3] = src[1];
        } else {
            for (int c = 0; c < channels; ++c) dst[c] = src[c];
        }
    }
    in->close();
    return picture;
}

namespace {

// Formats OpenImageIO can "write" that make no picture file.
bool is_picture_format(const std::string& name) { return name != "null" && name != "term"; }

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

// Removes the temporary file unless released.
struct TemporaryFile {
    std::string path;
    bool keep = false;
    ~TemporaryFile()
    {
        if (!keep) {
            std::error_code ec;
            fs::remove(path, ec);
        }
    }
};

}  // namespace

std::string output_format(const std::string& path) { return create_output(path, path)->format_name(); }

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

std::string temporary_path_for(const std::string& path)
{
    const fs::path target(path);
    std::string name(".");
    name += target.filename().string();
    name += ".tmp-";
    name += std::to_string(::getpid());
    name += target.extension().string();
    return (target.parent_path() / name).string();
}

WriteReport write_picture(const HostPicture& picture, const std::string& path, const WriteOptions& options)
{
    if (picture.samples != 3 && picture.samples != 4)
        throw fault(path, "cannot write a picture of " + std::to_string(picture.samples) + " samples per pixel");
    if (picture.width < 1 || picture.height < 1) throw fault(path, "cannot write an empty picture");
    check_output_path(path);

    std::error_code ec;
    TemporaryFile temporary{temporary_path_for(path)};
    std::unique_ptr<OIIO::ImageOutput> out = create_output(temporary.path, path);

    WriteReport report;
    report.format = out->format_name();
    report.channels = picture.samples;
    if (report.channels == 4 && !out->supports("alpha")) {
        report.channels = 3;
        report.alpha_dropped = true;
    }

    OIIO::ImageSpec spec(picture.width, picture.height, report.channels, preferred_type(report.format));
    // Write the samples as they are; without this PNG colour would be divided by alpha.
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (report.format == "png") spec.attribute("png:compressionLevel", options.png_compression);
    if (picture.pixel_aspect != 1.0) spec.attribute("PixelAspectRatio", static_cast<float>(picture.pixel_aspect));

    if (!out->open(temporary.path, spec)) throw fault(path, "cannot write picture: " + one_line(out->geterror()));

    // The format may have settled on another sample type than asked for
    // (8 bits for TGA, BMP, ...): convert to it here so that 8-bit output is
    // always rounded the same way.
    const OIIO::TypeDesc stored = out->spec().format;
    const std::size_t pixels = std::size_t(picture.width) * std::size_t(picture.height);
    const int n = report.channels;
    bool written = false;
    if (stored == OIIO::TypeDesc::UINT8) {
        std::vector<std::uint8_t> samples(pixels * std::size_t(n));
        for (std::size_t i = 0; i < pixels; ++i)
            for (int c = 0; c < n; ++c) samples[i * n + c] = to_8bit(picture.data[i * picture.samples + c]);
        written = out->write_image(OIIO::TypeDesc::UINT8, samples.data());
    } else if (stored.is_floating_point()) {
        std::vector<float> samples(pixels * std::size_t(n));
        for (std::size_t i = 0; i < pixels; ++i)
            for (int c = 0; c < n; ++c) samples[i * n + c] = to_unit_float(picture.data[i * picture.samples + c]);
        written = out->write_image(OIIO::TypeDesc::FLOAT, samples.data());
    } else {
        written = out->write_image(OIIO::TypeDesc::UINT16, picture.data.data(),
                                   static_cast<OIIO::stride_t>(picture.samples * sizeof(std::uint16_t)));
    }
    report.sample_type = stored.c_str();
    const bool closed = out->close();
    if (!written || !closed) throw fault(path, "cannot write picture: " + one_line(out->geterror()));
    out.reset();

    fs::rename(temporary.path, path, ec);
    if (ec) throw fault(path, "cannot write picture: " + ec.message());
    temporary.keep = true;
    return report;
}

}  // namespace trellin_app
