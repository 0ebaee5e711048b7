// Reading and writing picture files (through OpenImageIO) as host pictures.
//
// Samples travel as the file stores them: colour is never multiplied by
// alpha on reading nor divided by it on writing, and no colour space
// conversion takes place.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "apps/common/core/host_picture.h"
#include "apps/common/core/write_report.h"
#include "apps/common/picture/source_description.h"

namespace trellin_app {

// A picture that cannot be read or written. The message names the file.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the first picture of a file into a 16-bit host picture:
// - 8-bit and other integer samples are widened to 16 bits (x * 257 for 8-bit);
//   float samples are clamped to 0..1 and scaled to 0..65535;
// - grey becomes red = green = blue (3 samples per pixel), grey and alpha a
//   4-sample picture; 3 channels are read as RGB, 4 or more as RGBA (the
//   first four);
// - the pixel aspect comes from the file's PixelAspectRatio (1 when absent);
// - the file's other metadata goes into `attributes` (picture_attributes.h);
// - `source`, when given, receives what the file says about its samples
//   (picture_source.h), with a float file's samples unclamped (in the memory
//   of the samples it held, when it has room; cleared for an integer file).
// `storage`, when given, lends its samples' memory to the picture (a picture
// read before and done with: no fresh block, nothing cleared, every frame).
// Throws PictureError for a missing, unreadable, truncated or unsupported file,
// for anything but a regular file (a folder, a device, a pipe), and, before
// anything is allocated, for a picture whose declared size is beyond the
// limits of picture_limits.h.
HostPicture read_picture(const std::string& path, PictureSource* source = nullptr, HostPicture storage = {});

// Lets the picture library work on `processors` at once (1: on the calling
// thread only). OpenImageIO compresses a zip TIFF's strips side by side, and
// decompresses them so, only with a pool of more than one thread of its own;
// left alone it has one fewer than the machine's processors, which on two is
// one, and a TIFF's deflate, most of writing it, runs on one processor while
// the other waits. The files are the same bytes either way.
void use_picture_processors(int processors);

// The samples of a written file. `automatic` takes the deepest the format
// holds (see write_picture).
enum class SampleDepth { automatic, uint8, uint10, uint16, half, float32 };

// Parses "8", "10", "16", "half" or "float" (and "auto"). False for anything else.
bool parse_sample_depth(const std::string& text, SampleDepth& depth);
// "8-bit", "10-bit", "16-bit", "half float", "float"; "automatic".
const char* sample_depth_name(SampleDepth depth);

struct WriteOptions {
    // zlib compression level of PNG files (0..9). 1 is several times faster
    // than the usual 6 and makes files only a little larger.
    int png_compression = 1;
    // JPEG quality (1..100); 0 leaves OpenImageIO's own (98).
    int jpeg_quality = 0;
    // Samples to write. Formats and the depths they take: PNG 8/16, TIFF
    // 8/16/float, OpenEXR half/float, DPX 8/10/16, JPEG 8; other formats only
    // their automatic depth.
    SampleDepth depth = SampleDepth::automatic;
    // When set, the samples a float format is written with, laid out as the
    // picture's 16-bit ones and not clamped to 0..1; integer formats take the
    // picture's 16-bit samples all the same.
    const std::vector<float>* float_samples = nullptr;
};

// Checks that the format named by the extension of `path` takes `depth`.
// Throws PictureError naming the file and the depths it takes otherwise.
void check_sample_depth(const std::string& path, SampleDepth depth);

// The name of the format the extension of `path` names ("png", "tiff",
// "openexr", ...). Throws PictureError when it names no format pictures can be
// written in.
std::string output_format(const std::string& path);

// Checks that a picture can be written to `path`: its extension names a
// format pictures can be written in, its folder exists and it is no folder
// itself. Returns the format's name ("png", "tiff", "openexr", ...). Throws
// PictureError otherwise.
std::string check_output_path(const std::string& path);

// Writes the picture in the format its extension names, at options.depth or
// by default with the deepest samples that format takes: 16-bit integers for
// PNG, TIFF, DPX and the like, half floats for OpenEXR, 8 bits (rounded with
// to_8bit) for JPEG and other 8-bit formats. Float samples are the 16-bit ones
// over 65535. Writes 3 or 4 channels as the picture has, or colour only for a
// format without alpha, with the picture's pixel aspect and attributes.
//
// The file is written under a temporary name beside `path`, every write and
// the library's error state checked, flushed to disk and renamed over `path`
// only when complete (picture_output.h), so a failed write never leaves a
// partial file and an existing file survives it. Throws PictureError naming
// `path` on failure.
WriteReport write_picture(const HostPicture& picture, const std::string& path, const WriteOptions& options = {});

}  // namespace trellin_app
