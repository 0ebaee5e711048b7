// Where write_picture puts a picture file: a PendingOutput (output_file.h)
// filled either with the bytes the format library encoded in memory or, for
// a format that can only write to a file, by the library itself, after which
// the file is checked to hold its whole picture before it may take the
// output's name (a TIFF by its directory against the file's size, any other
// format read back to its last pixel).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include "apps/common/core/output_file.h"

namespace trellin_app {

// Whether `path` holds a complete picture: a regular file that reads to its
// last pixel. An empty, cut or damaged file does not.
bool is_complete_picture(const std::string& path);

class PictureOutput {
public:
    // Removes what killed runs left for `path` and creates the temporary
    // file. Throws PictureError naming `path` when it cannot.
    explicit PictureOutput(const std::string& path);

    // The name to hand the format library: the temporary file's (its
    // extension names the format), or the output's once the picture is
    // encoded in memory (some formats record the name).
    const std::string& file_name() const { return in_memory_ ? path_ : file_->temporary(); }
    // Makes `out` encode into memory when its format is one that does so
    // faithfully (the same bytes as written to a file); call before open.
    void attach(OIIO::ImageOutput& out);
    // Makes room for about `bytes` of encoded picture up front, so that the
    // encoding is not copied over as it grows (an estimate: it may grow past).
    void expect(std::size_t bytes);
    // Puts the closed picture in place: writes the encoded bytes (or checks
    // that the file the library wrote holds its whole picture), flushes it to
    // disk and renames it over the output. Throws PictureError naming the output.
    void commit();

private:
    std::string path_;
    std::optional<PendingOutput> file_;
    std::vector<unsigned char> encoded_;
    OIIO::Filesystem::IOVecOutput memory_{encoded_};
    bool in_memory_ = false;
};

}  // namespace trellin_app
