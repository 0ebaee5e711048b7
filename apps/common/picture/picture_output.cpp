#include "apps/common/picture/picture_output.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "apps/common/picture/image_io.h"

namespace trellin_app {

namespace {

std::uint32_t big_endian(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

// PNG's CRC-32 (ISO 3309), continued from `crc` over `bytes`.
std::uint32_t png_crc(std::uint32_t crc, const unsigned char* bytes, std::size_t size)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xff] ^ (crc >> 8);
    return ~crc;
}

// Whether a PNG file is whole without decoding it: its chunks follow one
// another to IEND at the file's end, each with the checksum of its bytes.
// Unknown when the file is no PNG.
std::optional<bool> png_whole(std::ifstream& in)
{
    static constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    unsigned char head[8];
    if (!in.read(reinterpret_cast<char*>(head), 8) || std::memcmp(head, signature, 8) != 0) return std::nullopt;
    std::vector<unsigned char> block(1 << 16);
    for (bool first = true;; first = false) {
        if (!in.read(reinterpret_cast<char*>(head), 8)) return false;
        const std::uint32_t length = big_endian(head);
        if (length > 0x7fffffffu || (first && std::memcmp(head + 4, "IHDR", 4) != 0)) return false;
        std::uint32_t crc = png_crc(0, head + 4, 4);
        for (std::uint32_t left = length; left > 0;) {
            const std::size_t n = std::min<std::size_t>(left, block.size());
            if (!in.read(reinterpret_cast<char*>(block.data()), std::streamsize(n))) return false;
            crc = png_crc(crc, block.data(), n);
            left -= std::uint32_t(n);
        }
        unsigned char stored[4];
        if (!in.read(reinterpret_cast<char*>(stored), 4) || big_endian(stored) != crc) return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return in.peek() == std::ifstream::traits_type::eof();
    }
}

}  // namespace

bool is_complete_picture(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    // A PNG is checked chunk by chunk, many times faster than decoding it
    // (--skip-existing asks this of every finished frame).
    if (std::ifstream in(path, std::ios::binary); in)
        if (const std::optional<bool> whole = png_whole(in)) return *whole;
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
