#include "apps/common/picture/picture_output.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "apps/common/picture/image_io.h"
#include "apps/common/picture/picture_header.h"

namespace trellin_app {

bool is_complete_picture(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    // A PNG is checked chunk by chunk, many times faster than decoding it
    // (--skip-existing asks this of every finished frame).
    if (const std::optional<bool> whole = png_written_whole(path)) return *whole;
    try {
        read_picture(path);
        return true;
    } catch (const PictureError&) {
        return false;
    }
}

namespace {

// Whether the file a format library wrote at `path` holds its whole picture.
// A TIFF's directory is written last and lists where every strip or tile it
// wrote lies and how long it is, a strip whose bytes could not be written
// having none: a file cut by a full disk (strips missing, their bytes cut off,
// or no directory) shows in that list against the file's size, without
// decoding the picture again, and the library then reads its header.
// Other formats are read to their last pixel.
bool written_whole(const std::string& path)
{
    const std::optional<bool> whole = tiff_written_whole(path);
    if (!whole) return is_complete_picture(path);
    if (!*whole) return false;
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path);
    if (!in) {
        OIIO::geterror();
        return false;
    }
    return in->spec().width > 0 && in->spec().height > 0;
}

}  // namespace

PictureOutput::PictureOutput(const std::string& path) : path_(path)
{
    try {
        remove_stale_temporaries(path_);
        file_.emplace(path_);
    } catch (const OutputError& e) {
        throw PictureError(e.what());
    }
}

void PictureOutput::attach(OIIO::ImageOutput& out)
{
    // PNG and JPEG libraries report a failed file write late or not at all
    // (a cut PNG passed as written, JPEG's library ended the process), so
    // these formats, and the others that encode the same bytes in memory,
    // never write the file themselves. TIFF does not: its Exif directory
    // comes out damaged in memory.
    static const char* const faithful[] = {"png", "jpeg", "openexr", "dpx"};
    const std::string format = out.format_name();
    in_memory_ = false;
    for (const char* f : faithful) {
        if (format == f) in_memory_ = out.supports("ioproxy") && out.set_ioproxy(&memory_);
    }
}

void PictureOutput::expect(std::size_t bytes)
{
    if (in_memory_) encoded_.reserve(bytes);
}

void PictureOutput::commit()
{
    try {
        if (in_memory_) {
            file_->write(std::string_view(reinterpret_cast<const char*>(encoded_.data()), encoded_.size()));
        } else if (!written_whole(file_->temporary())) {
            throw PictureError(path_ +
                               ": cannot write picture: the written file does not read back whole "
                               "(is the disk full?)");
        }
        file_->commit();
    } catch (const OutputError& e) {
        throw PictureError(e.what());
    }
}

}  // namespace trellin_app
