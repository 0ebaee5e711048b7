// What a picture file's header says about its own layout, checked against the
// file before the picture library reads it.
//
// A few bytes of header may claim a block of metadata, an image offset or a
// table far larger than the file; some readers allocate what the header
// claims before finding the file too short. The formats trellin writes
// settings into (DPX, PNG, TIFF, OpenEXR) have their headers walked here:
// every size and offset they declare must lie within the file. Other formats
// are left to the library.
#pragma once

#include <optional>
#include <string>

namespace trellin_app {

// Why `path` cannot be handed to the picture library, or "" when it can: it
// is not a regular file (a device or a pipe may never end), cannot be opened,
// or its header declares a block beyond the end of the file.
std::string picture_header_fault(const std::string& path);

// The same for a file's bytes already in memory (`size` of them).
std::string picture_header_fault(const unsigned char* bytes, std::size_t size);

// Whether the PNG file `path` was written whole, found without decoding it:
// its chunks match their check sums and end with IEND at the file's end.
// Empty when `path` is no PNG (or cannot be read).
std::optional<bool> png_written_whole(const std::string& path);

// Whether the TIFF file `path` was written whole, found without decoding it:
// its directories and the values they point to lie within the file, and each
// directory lists every strip or tile its picture's size calls for, each with
// bytes and within the file. Empty when `path` is no classic TIFF (a BigTIFF
// is not walked) or cannot be read.
std::optional<bool> tiff_written_whole(const std::string& path);

}  // namespace trellin_app
