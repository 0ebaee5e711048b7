// A written TIFF told whole from its directory alone: the files OpenImageIO
// writes (strips and tiles) pass, and the ways a full disk or a killed writer
// leave one are refused: cut inside its strips, its last strip never written,
// cut inside its directory, no directory at all.
// test-links: trellin_app_picture
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "apps/common/picture/picture_header.h"
#include "support/scratch_dir.h"

namespace {

using namespace trellin_app;
namespace fs = std::filesystem;

class TiffWrittenWhole : public testkit::ScratchDirTest {
protected:
    // A 64 x 100 RGB 16-bit zip TIFF of noise (so that its strips differ in
    // length), in strips of 32 rows (4 strips, the last one of 4 rows) or in
    // 16 x 16 tiles; only the rows before `rows_written` handed to the library.
    // With `exif`, as every TIFF trellin writes, its Exif directory, written
    // on closing, moves the main directory after the strips; without, the
    // directory stays before them, where the library first put it.
    std::string write(const std::string& name, bool exif, bool tiled = false, int rows_written = 100)
    {
        const std::string path = (dir / name).string();
        OIIO::ImageSpec spec(64, 100, 3, OIIO::TypeDesc::UINT16);
        spec.attribute("compression", "zip");
        if (exif) spec.attribute("Exif:ColorSpace", 1);
        if (tiled) spec.tile_width = spec.tile_height = 16;
        std::vector<std::uint16_t> samples(std::size_t(64) * 100 * 3);
        std::uint32_t state = 12345;
        for (std::uint16_t& s : samples) s = std::uint16_t((state = state * 1664525u + 1013904223u) >> 16);
        auto out = OIIO::ImageOutput::create(path);
        EXPECT_TRUE(out && out->open(path, spec)) << OIIO::geterror();
        if (tiled)
            EXPECT_TRUE(out->write_image(OIIO::TypeDesc::UINT16, samples.data()));
        else
            EXPECT_TRUE(out->write_scanlines(0, rows_written, 0, OIIO::TypeDesc::UINT16, samples.data()));
        out->close();
        return path;
    }

    static std::string bytes_of(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void put(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    static std::uint32_t u32(const std::string& b, std::size_t at)
    {
        std::uint32_t v = 0;
        std::memcpy(&v, b.data() + at, 4);  // the library writes the machine's order (little-endian here)
        return v;
    }

    // The offset of the first directory and, in it, where field `tag`'s
    // values lie (the strips' offsets or byte counts: LONGs, more than one).
    static std::size_t values_of(const std::string& b, std::uint16_t tag)
    {
        const std::size_t ifd = u32(b, 4);
        std::uint16_t fields = 0;
        std::memcpy(&fields, b.data() + ifd, 2);
        for (std::size_t f = 0; f < fields; ++f) {
            std::uint16_t t = 0;
            std::memcpy(&t, b.data() + ifd + 2 + 12 * f, 2);
            if (t == tag) return u32(b, ifd + 2 + 12 * f + 8);
        }
        ADD_FAILURE() << "no field " << tag;
        return 0;
    }
};

TEST_F(TiffWrittenWhole, WholeFilesPassAndCutOrUnwrittenOnesAreRefused)
{
    for (const bool exif : {true, false}) {
        const std::string strips = write("strips.tif", exif);
        const std::string tiles = write("tiles.tif", exif, true);
        EXPECT_EQ(tiff_written_whole(strips), std::optional<bool>(true));
        EXPECT_EQ(tiff_written_whole(tiles), std::optional<bool>(true));
        const std::string whole = bytes_of(strips);

        // Where the strips and the directory lie in this file.
        const std::size_t offsets = values_of(whole, 273), counts = values_of(whole, 279);
        std::size_t strips_end = 0, last_strip = 0;
        for (std::size_t s = 0; s < 4; ++s) {
            const std::size_t end = u32(whole, offsets + 4 * s) + u32(whole, counts + 4 * s);
            if (end > strips_end) strips_end = end, last_strip = s;
        }
        const std::size_t directory = u32(whole, 4);
        ASSERT_EQ(directory > strips_end, exif);
        ASSERT_GT(whole.size(), directory + 20);

        struct Case {
            const char* what;
            std::string bytes;
        };
        std::string unwritten = whole;
        std::memset(unwritten.data() + counts + 4 * last_strip, 0, 4);
        const Case cases[] = {
            {"cut in the middle of its strips", whole.substr(0, strips_end / 2)},
            {"cut inside its last strip", whole.substr(0, strips_end - 1)},
            {"its last strip's length zero", unwritten},
            {"cut inside its directory", whole.substr(0, directory + 20)},
            {"its header only", whole.substr(0, 8)},
            {"empty", std::string()},
        };
        for (const Case& c : cases) {
            const std::string path = (dir / "damaged.tif").string();
            put(path, c.bytes);
            EXPECT_FALSE(tiff_written_whole(path).value_or(false)) << c.what << (exif ? "" : ", directory first");
        }
        const std::string cut_tiles = (dir / "cut-tiles.tif").string();
        const std::string tiled = bytes_of(tiles);
        put(cut_tiles, tiled.substr(0, tiled.size() / 2));
        EXPECT_FALSE(tiff_written_whole(cut_tiles).value_or(false));

        // A file the library was handed only some rows of: the rows it never
        // got have no strip, whatever the library does with them on closing.
        const std::string part = write("part.tif", exif, false, 64);
        EXPECT_FALSE(tiff_written_whole(part).value_or(false));
    }

    // No TIFF: nothing told (the caller reads it instead).
    put((dir / "text.tif").string(), "not a picture at all");
    EXPECT_FALSE(tiff_written_whole((dir / "text.tif").string()).has_value());
    EXPECT_FALSE(tiff_written_whole((dir / "missing.tif").string()).has_value());
}

}  // namespace
