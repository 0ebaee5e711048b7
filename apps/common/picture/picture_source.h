// What a picture file says about its samples beyond their values: its
// format, whether it stores floats, whether its colour is multiplied by its
// alpha, and the colour space its metadata names.
#pragma once

#include <OpenImageIO/imageio.h>

#include <string>
#include <vector>

namespace trellin_app {

struct PictureSource {
    std::string format;             // OpenImageIO's name: "png", "openexr", "raw" for piped frames, ...
    bool float_samples = false;     // the file stores floats (which may lie outside 0..1)
    bool alpha = false;             // the picture has an alpha channel
    bool associated_alpha = false;  // its colour is stored multiplied by alpha (OpenEXR; TIFF that says so)
    std::string metadata_space;     // the colour space the metadata names; empty when it names none
    std::string metadata_origin;    // where that name was found, for messages
    // Float files: every sample as stored, unclamped, laid out as the
    // picture's 16-bit samples (HostPicture::data). Empty for integer files,
    // whose 16-bit samples are exact.
    std::vector<float> samples;
};

// The description of a file opened as `format` with `spec`. The colour space
// comes from, in order: the settings of a picture rendered by trellin (the
// space it was written in), an OpenEXR file's colorSpace attribute, the
// format's own colour tag as OpenImageIO reads it (PNG's sRGB and gAMA
// chunks, TIFF's Exif colour space, JPEG), a DPX file's transfer field.
// OpenImageIO's "Linear" for every OpenEXR file is the format's convention,
// not metadata, and is passed over.
PictureSource describe_source(const OIIO::ImageSpec& spec, const std::string& format);

}  // namespace trellin_app
