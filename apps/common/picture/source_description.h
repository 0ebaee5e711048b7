// A picture file's description (PictureSource) from what OpenImageIO reads
// of it: its format, sample type, alpha and the colour space its metadata names.
#pragma once

#include <OpenImageIO/imageio.h>

#include <string>

#include "apps/common/core/picture_source.h"

namespace trellin_app {

// The description of a file opened as `format` with `spec`. The colour space
// comes from, in order: the settings of a picture rendered by trellin (the
// space it was written in), an OpenEXR file's colorSpace attribute, the
// format's own colour tag as OpenImageIO reads it (PNG's sRGB and gAMA
// chunks, TIFF's Exif colour space, JPEG), a DPX file's transfer field.
// OpenImageIO's "Linear" for every OpenEXR file is the format's convention,
// not metadata, and is passed over.
PictureSource describe_source(const OIIO::ImageSpec& spec, const std::string& format);

}  // namespace trellin_app
