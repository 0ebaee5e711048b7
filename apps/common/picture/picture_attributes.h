// Metadata a picture file carries besides its samples (description, date,
// orientation, colour space, Exif, IPTC, timecode, ...), kept so that a
// rendered picture can be written with the metadata of the picture it came
// from.
#pragma once

#include <OpenImageIO/paramlist.h>

namespace trellin_app {

struct PictureAttributes {
    // Attributes by OpenImageIO's names. Only those that describe the
    // picture, not the way one file format encodes it: names with a format's
    // prefix ("png:", "tiff:", "dpx:", ...), the storage layout (compression,
    // bits per sample, planar configuration) and the pixel aspect with the
    // resolutions (which the picture's pixel_aspect carries) are left out.
    OIIO::ParamValueList list;
};

}  // namespace trellin_app
