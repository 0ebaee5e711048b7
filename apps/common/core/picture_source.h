// What a picture says about its samples beyond their values: its format,
// whether it stores floats, whether its colour is multiplied by its alpha, and
// the colour space its metadata names. Picture files are described by
// describe_source (picture/source_description.h); piped frames by the pipe.
#pragma once

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

}  // namespace trellin_app
