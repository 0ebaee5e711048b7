#include "apps/common/picture/picture_header.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "apps/common/core/picture_limits.h"

namespace trellin_app {

namespace {

// A file's bytes, read where asked: from memory or from an open file.
class Bytes {
public:
    Bytes(const unsigned char* data, std::uint64_t size) : data_(data), size_(size) {}
    Bytes(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

    std::uint64_t size() const { return size_; }
    // Copies `n` bytes at `at` into `out`; false when they are not all there.
    bool read(std::uint64_t at, void* out, std::size_t n) const
    {
        if (at > size_ || n > size_ - at) return false;
        if (data_ != nullptr) {
            std::memcpy(out, data_ + at, n);
            return true;
        }
        auto* dst = static_cast<unsigned char*>(out);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, dst + done, n - done, off_t(at + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += std::size_t(got);
        }
        return true;
    }
    std::uint32_t u32(std::uint64_t at, bool big, bool& ok) const
    {
        unsigned char b[4] = {};
        ok = ok && read(at, b, 4);
        return big ? std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3]
                   : std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 | b[0];
    }
    std::uint16_t u16(std::uint64_t at, bool big, bool& ok) const
    {
        unsigned char b[2] = {};
        ok = ok && read(at, b, 2);
        return big ? std::uint16_t(b[0] << 8 | b[1]) : std::uint16_t(b[1] << 8 | b[0]);
    }

private:
    const unsigned char* data_ = nullptr;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

std::string beyond(const std::string& what, std::uint64_t claimed, std::uint64_t size)
{
    return "the picture's header is damaged: " + what + " claims " + std::to_string(claimed) +
           " bytes or an offset beyond the end of the file (" + std::to_string(size) + " bytes)";
}

const std::string cut_short = "the picture's header is cut short";

// DPX: a 2048-byte header of fixed fields, then the user data, then the image.
std::string dpx_fault(const Bytes& file, bool big)
{
    constexpr std::uint32_t undefined = 0xffffffffu;
    constexpr std::uint64_t headers = 2048;
    bool ok = true;
    const std::uint32_t image_offset = file.u32(4, big, ok);
    const std::uint32_t generic = file.u32(24, big, ok);
    const std::uint32_t industry = file.u32(28, big, ok);
    const std::uint32_t user = file.u32(32, big, ok);
    if (!ok) return cut_short;
    const std::uint64_t size = file.size();
    if (image_offset != undefined && image_offset > size) return beyond("its image offset", image_offset, size);
    if (generic != undefined && generic > size) return beyond("its generic header size", generic, size);
    if (industry != undefined && industry > size) return beyond("its industry header size", industry, size);
    if (user != 0 && user != undefined && (size < headers || user > size - headers))
        return beyond("its user data size", user, size);
    const std::uint16_t elements = file.u16(770, big, ok);
    if (!ok) return cut_short;
    if (elements > 8)
        return "the picture's header is damaged: it claims " + std::to_string(elements) +
               " image elements (a DPX file holds at most 8)";
    for (std::uint16_t e = 0; e < elements; ++e) {
        const std::uint32_t offset = file.u32(780 + 72u * e + 28u, big, ok);
        if (!ok) return cut_short;
        if (offset != undefined && offset > size) return beyond("an image element's offset", offset, size);
    }
    return {};
}

// The CRC-32 PNG chunks end with, over `n` bytes at `at` of `file`.
bool png_crc(const Bytes& file, std::uint64_t at, std::uint64_t n, std::uint32_t& crc)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = 0xffffffffu;
    unsigned char block[4096];
    for (std::uint64_t done = 0; done < n;) {
        const std::size_t part = std::size_t(std::min<std::uint64_t>(sizeof block, n - done));
        if (!file.read(at + done, block, part)) return false;
        for (std::size_t i = 0; i < part; ++i) crc = table[(crc ^ block[i]) & 0xffu] ^ (crc >> 8);
        done += part;
    }
    crc ^= 0xffffffffu;
    return true;
}

// PNG: the signature, then chunks of length, type, data and check sum. Every
// chunk must match its check sum: the PNG library would otherwise report the
// damage on lines of its own (and drop text chunks, where settings are kept).
// `whole`, when given, tells whether the chunks end with IEND exactly at the
// file's end: the file was written to its end.
std::string png_fault(const Bytes& file, bool* whole = nullptr)
{
    if (whole != nullptr) *whole = false;
    std::uint64_t at = 8;
    while (true) {
        bool ok = true;
        const std::uint32_t length = file.u32(at, true, ok);
        unsigned char type[4] = {};
        if (!ok || !file.read(at + 4, type, 4)) return cut_short;
        std::string name;
        for (const unsigned char c : type) name += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? char(c) : '?';
        if (length > 0x7fffffffu || std::uint64_t(length) + 12 > file.size() - at)
            return beyond("its " + name + " chunk", length, file.size());
        std::uint32_t crc = 0;
        const std::uint32_t stored = file.u32(at + 8 + length, true, ok);
        if (!png_crc(file, at + 4, std::uint64_t(length) + 4, crc) || !ok) return cut_short;
        if (crc != stored) return "the picture is damaged: its " + name + " chunk does not match its check sum";
        at += std::uint64_t(length) + 12;
        if (std::memcmp(type, "IEND", 4) == 0) {
            if (whole != nullptr) *whole = at == file.size();
            return {};
        }
        if (at == file.size()) return {};
    }
}

// The bytes a TIFF field type takes per value; 0 for a type not known.
std::uint64_t tiff_type_size(std::uint16_t type)
{
    static const std::uint8_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof sizes ? sizes[type] : 0;
}

// A TIFF directory at `at`: its table of fields and every value longer than
// four bytes (which lies elsewhere) within the file.
std::string tiff_directory_fault(const Bytes& file, std::uint64_t at, bool big)
{
    bool ok = true;
    const std::uint16_t fields = file.u16(at, big, ok);
    if (!ok) return beyond("a directory", at, file.size());
    if (std::uint64_t(fields) * 12 + 6 > file.size() - at)
        return beyond("a directory of " + std::to_string(fields) + " fields", std::uint64_t(fields) * 12, file.size());
    for (std::uint16_t f = 0; f < fields; ++f) {
        const std::uint64_t entry = at + 2 + 12u * f;
        const std::uint16_t tag = file.u16(entry, big, ok);
        const std::uint64_t bytes = tiff_type_size(file.u16(entry + 2, big, ok)) * file.u32(entry + 4, big, ok);
        if (!ok) return cut_short;
        if (bytes <= 4) continue;
        const std::uint64_t offset = file.u32(entry + 8, big, ok);
        if (offset > file.size() || bytes > file.size() - offset)
            return beyond("field " + std::to_string(tag), bytes, file.size());
    }
    return {};
}

// TIFF: a chain of directories, each a table of fields whose values longer
// than four bytes lie elsewhere in the file. `each`, when given, is called
// with every directory's offset once its table is found within the file, and
// may end the walk with a fault of its own.
std::string tiff_fault(const Bytes& file, bool big, const std::function<std::string(std::uint64_t)>& each = nullptr)
{
    bool ok = true;
    std::uint64_t at = file.u32(4, big, ok);
    if (!ok) return cut_short;
    std::set<std::uint64_t> seen;
    for (int directories = 0; at != 0; ++directories) {
        if (directories == 1000 || !seen.insert(at).second)
            return "the picture's header is damaged: its directories run in a loop";
        if (std::string fault = tiff_directory_fault(file, at, big); !fault.empty()) return fault;
        if (each) {
            if (std::string fault = each(at); !fault.empty()) return fault;
        }
        at = file.u32(at + 2 + 12u * file.u16(at, big, ok), big, ok);
        if (!ok) return cut_short;
    }
    return {};
}

// The values of the SHORT or LONG field `tag` of the TIFF directory at `at`
// (checked by tiff_directory_fault); empty when it has no such field.
std::vector<std::uint64_t> tiff_values(const Bytes& file, std::uint64_t at, bool big, std::uint16_t tag)
{
    bool ok = true;
    const std::uint16_t fields = file.u16(at, big, ok);
    for (std::uint16_t f = 0; f < fields && ok; ++f) {
        const std::uint64_t entry = at + 2 + 12u * f;
        if (file.u16(entry, big, ok) != tag) continue;
        const std::uint16_t type = file.u16(entry + 2, big, ok);
        const std::uint32_t count = file.u32(entry + 4, big, ok);
        if (!ok || (type != 3 && type != 4)) return {};
        const std::uint64_t size = type == 3 ? 2 : 4;
        const std::uint64_t values = size * count <= 4 ? entry + 8 : file.u32(entry + 8, big, ok);
        std::vector<std::uint64_t> out(count);
        for (std::uint32_t i = 0; i < count && ok; ++i)
            out[i] = type == 3 ? file.u16(values + 2 * i, big, ok) : file.u32(values + 4u * i, big, ok);
        return ok ? out : std::vector<std::uint64_t>();
    }
    return {};
}

// Why the TIFF directory at `at` does not hold its whole picture: the blocks
// (strips or tiles) its size and layout call for must all be listed, each
// with bytes, all within the file; and the Exif and GPS directories it points
// to must lie within the file.
std::string tiff_blocks_fault(const Bytes& file, std::uint64_t at, bool big)
{
    const auto one = [&](std::uint16_t tag, std::uint64_t absent) {
        const std::vector<std::uint64_t> v = tiff_values(file, at, big, tag);
        return v.size() == 1 ? v[0] : absent;
    };
    for (const std::uint16_t pointer : {std::uint16_t(34665), std::uint16_t(34853)}) {
        const std::vector<std::uint64_t> sub = tiff_values(file, at, big, pointer);
        if (sub.size() == 1) {
            if (std::string fault = tiff_directory_fault(file, sub[0], big); !fault.empty()) return fault;
        }
    }
    const std::uint64_t width = one(256, 0), height = one(257, 0), samples = one(277, 1);
    if (width == 0 || height == 0) return "the picture's directory gives no size";
    const std::uint64_t planes = one(284, 1) == 2 ? samples : 1;
    const std::uint64_t tile_width = one(322, 0), tile_height = one(323, 0);
    const bool tiled = tile_width != 0 || tile_height != 0;
    std::uint64_t blocks = 0;
    if (tiled) {
        if (tile_width == 0 || tile_height == 0) return "the picture's directory gives no tile size";
        blocks = (width + tile_width - 1) / tile_width * ((height + tile_height - 1) / tile_height) * planes;
    } else {
        const std::uint64_t rows = std::min(std::max<std::uint64_t>(one(278, height), 1), height);
        blocks = (height + rows - 1) / rows * planes;
    }
    const std::vector<std::uint64_t> offsets = tiff_values(file, at, big, tiled ? 324 : 273);
    const std::vector<std::uint64_t> counts = tiff_values(file, at, big, tiled ? 325 : 279);
    if (offsets.size() != blocks || counts.size() != blocks)
        return "the picture lists " + std::to_string(std::min(offsets.size(), counts.size())) + " of its " +
               std::to_string(blocks) + (tiled ? " tiles" : " strips");
    for (std::uint64_t b = 0; b < blocks; ++b) {
        if (counts[b] == 0) return "the picture's block " + std::to_string(b) + " was never written";
        if (offsets[b] > file.size() || counts[b] > file.size() - offsets[b])
            return beyond("block " + std::to_string(b), counts[b], file.size());
    }
    return {};
}

// OpenEXR: after the version, headers of attributes (name, type name, size,
// value), each ended by an empty name; a multi-part file ends its headers
// with one more empty name.
std::string exr_fault(const Bytes& file)
{
    bool ok = true;
    const std::uint32_t version = file.u32(4, false, ok);
    if (!ok) return cut_short;
    const bool multipart = (version & 0x1000u) != 0;
    const std::size_t longest = (version & 0x400u) != 0 ? 255 : 31;
    // A zero-terminated name of at most `longest` characters at `at`.
    const auto name_at = [&file, longest](std::uint64_t& at, std::string& name) {
        name.clear();
        for (char c = 0; name.size() <= longest; name += c) {
            if (!file.read(at++, &c, 1)) return false;
            if (c == '\0') return true;
        }
        return false;
    };
    std::uint64_t at = 8;
    std::string name, type;
    for (int parts = 0;; ++parts) {
        for (int attributes = 0;; ++attributes) {
            if (!name_at(at, name)) return "the picture's header is damaged: an attribute name is not ended";
            if (name.empty()) break;
            if (!name_at(at, type)) return "the picture's header is damaged: an attribute type is not ended";
            const std::uint32_t size = file.u32(at, false, ok);
            if (!ok) return cut_short;
            at += 4;
            if (size > 0x7fffffffu || size > file.size() - at)
                return beyond("its attribute \"" + name + "\"", size, file.size());
            at += size;
        }
        if (!multipart) return {};
        char next = 0;
        if (!file.read(at, &next, 1)) return cut_short;
        if (next == '\0') return {};
        if (parts == 10000) return "the picture's header is damaged: it claims too many parts";
    }
}

// A YUV4MPEG2 stream (.y4m), which FFmpeg reads as a video: its first line
// declares the frame size ("YUV4MPEG2 W1920 H1080 ..."). FFmpeg refuses a
// size past its own limit without saying why, and the file would reach the
// picture library, which has no reader for it: the size is checked here.
std::string y4m_fault(const Bytes& file)
{
    char line[256] = {};
    const std::size_t n = std::size_t(std::min<std::uint64_t>(sizeof line - 1, file.size()));
    if (!file.read(0, line, n)) return {};
    const std::string header(line, std::find(line, line + n, '\n'));
    long long width = 0, height = 0;
    for (std::size_t at = header.find(' '); at != std::string::npos; at = header.find(' ', at + 1)) {
        const char tag = at + 1 < header.size() ? header[at + 1] : ' ';
        if (tag != 'W' && tag != 'H') continue;
        long long value = 0;
        std::size_t i = at + 2, digits = 0;
        for (; i < header.size() && header[i] >= '0' && header[i] <= '9' && digits < 12; ++i, ++digits)
            value = value * 10 + (header[i] - '0');
        (tag == 'W' ? width : height) = value;
    }
    if (width <= 0 || height <= 0) return {};  // no size: FFmpeg says what is wrong
    const std::string fault = picture_size_fault(width, height);
    return fault.empty() ? std::string() : "the frame size its y4m header declares: " + fault;
}

std::string header_fault(const Bytes& file)
{
    unsigned char magic[8] = {};
    if (!file.read(0, magic, sizeof magic)) return {};  // too short to tell: the library says why
    if (std::memcmp(magic, "SDPX", 4) == 0) return dpx_fault(file, true);
    if (std::memcmp(magic, "XPDS", 4) == 0) return dpx_fault(file, false);
    if (std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8) == 0) return png_fault(file);
    if (std::memcmp(magic, "II*\0", 4) == 0) return tiff_fault(file, false);
    if (std::memcmp(magic, "MM\0*", 4) == 0) return tiff_fault(file, true);
    if (std::memcmp(magic, "\x76\x2f\x31\x01", 4) == 0) return exr_fault(file);
    if (std::memcmp(magic, "YUV4MPEG", 8) == 0) return y4m_fault(file);
    return {};
}

}  // namespace

std::string picture_header_fault(const unsigned char* bytes, std::size_t size)
{
    return header_fault(Bytes(bytes, size));
}

namespace {

// whole(file, start) over the bytes of the regular file `path` when it
// starts with one of `magics` (`start`: its first bytes); none when it
// cannot be opened, is no regular file or holds another format.
template <class Whole>
std::optional<bool> written_whole(const std::string& path, std::initializer_list<std::string_view> magics,
                                  const Whole& whole)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<bool> result;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        const Bytes file(fd, std::uint64_t(status.st_size));
        for (const std::string_view magic : magics) {
            unsigned char start[8] = {};
            if (magic.size() <= sizeof start && file.read(0, start, magic.size()) &&
                std::memcmp(start, magic.data(), magic.size()) == 0) {
                result = whole(file, start);
                break;
            }
        }
    }
    ::close(fd);
    return result;
}

}  // namespace

std::optional<bool> png_written_whole(const std::string& path)
{
    using namespace std::string_view_literals;
    return written_whole(path, {"\x89PNG\r\n\x1a\n"sv}, [](const Bytes& file, const unsigned char*) {
        bool ended = false;
        return png_fault(file, &ended).empty() && ended;
    });
}

std::optional<bool> tiff_written_whole(const std::string& path)
{
    using namespace std::string_view_literals;
    return written_whole(path, {"II*\0"sv, "MM\0*"sv}, [](const Bytes& file, const unsigned char* magic) {
        const bool big = magic[0] == 'M';
        bool any = false;
        const std::string fault = tiff_fault(file, big, [&](std::uint64_t at) {
            any = true;
            return tiff_blocks_fault(file, at, big);
        });
        return fault.empty() && any;
    });
}

std::string picture_header_fault(const std::string& path)
{
    // Opened without waiting, so that a pipe with no writer does not hang
    // the open; what was opened is then checked to be a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? "no such file" : std::string("cannot open: ") + std::strerror(errno);
    struct stat status {};
    std::string fault;
    if (::fstat(fd, &status) != 0)
        fault = std::string("cannot open: ") + std::strerror(errno);
    else if (S_ISDIR(status.st_mode))
        fault = "is a folder, not a picture";
    else if (!S_ISREG(status.st_mode))
        fault = "is not a regular file (a device or a pipe), not a picture";
    else
        fault = header_fault(Bytes(fd, std::uint64_t(status.st_size)));
    ::close(fd);
    return fault;
}

}  // namespace trellin_app
