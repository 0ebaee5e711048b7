#include "apps/common/picture/picture_output.h"

#include <filesystem>
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

void PictureOutput::commit()
{
    try {
        if (in_memory_) {
            file_->write(std::string_view(reinterpret_cast<const char*>(encoded_.data()), encoded_.size()));
        } else if (!is_complete_picture(file_->temporary())) {
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
