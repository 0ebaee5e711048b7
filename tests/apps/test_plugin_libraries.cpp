// The libraries other programs load (the frei0r module, the GStreamer plug-in,
// the Python module) bring no picture library into those programs: neither
// their own NEEDED entries nor anything those pull in name OpenImageIO or
// OpenColorIO.
// test-labels: external
// test-builds: trellin_frei0r trellin_gst trellin_python
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> plugin_files()
{
    const fs::path lib = TRELLIN_LIB_DIR;
    std::vector<fs::path> files{lib / "frei0r-1" / "trellin.so", lib / "gstreamer-1.0" / "libgsttrellin.so"};
    // The Python module's name carries the interpreter's tag (trellin.cpython-311-...so).
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(lib.parent_path() / "python", ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("trellin", 0) == 0 && e.path().extension() == ".so") files.push_back(e.path());
    }
    return files;
}

// ldd lists every library the loader maps with a file, its NEEDED entries among them.
TEST(PluginLibraries, LoadNoPictureLibraryDirectlyOrThroughTheirDependencies)
{
    const std::vector<fs::path> files = plugin_files();
    ASSERT_EQ(files.size(), 3u) << "the frei0r module, the GStreamer plug-in and the Python module";
    for (const fs::path& file : files) {
        ASSERT_TRUE(fs::is_regular_file(file)) << file;
        const testkit::ProgramResult loaded = testkit::run_program({"ldd", file.string()});
        ASSERT_EQ(loaded.code, 0) << loaded.err;
        EXPECT_NE(loaded.out.find("libtrellinhost"), std::string::npos) << file << "\n" << loaded.out;
        for (const char* library : {"libOpenImageIO", "libOpenColorIO"})
            EXPECT_EQ(loaded.out.find(library), std::string::npos) << file << " loads " << library << "\n"
                                                                   << loaded.out;
    }
}

}  // namespace
