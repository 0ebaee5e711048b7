// test-labels: external
// test-builds: trellin_looks trellin_frei0r trellin-view trellin_ofx trellin_obs
// `make install` into a fresh prefix: the installed trellin finds its module
// and lists and renders the installed looks, with no environment variable.
#include <gtest/gtest.h>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

using InstalledTree = TrellinTest;

TEST_F(InstalledTree, TrellinListsAndRendersTheInstalledLooks)
{
    const fs::path build = fs::path(TRELLIN_BIN_DIR).parent_path(), prefix = dir / "prefix";
    const RunResult install = testkit::run_program({"cmake", "--install", build.string(), "--prefix", prefix.string()},
                                                   testkit::RunOptions().within(120));
    ASSERT_EQ(install.code, 0) << install.out << install.err;
    EXPECT_TRUE(fs::exists(prefix / "lib" / "frei0r-1" / "trellin.so"));
    // Where Kdenlive looks for effect descriptions under the prefix, and the looks as its presets beside it.
    EXPECT_TRUE(fs::exists(prefix / "share" / "kdenlive" / "effects" / "frei0r_trellin.xml"));
    EXPECT_TRUE(fs::exists(prefix / "share" / "kdenlive" / "effects" / "presets" / "frei0r.trellin.json"));
    // The OpenFX bundle carries the module, the host library and the looks,
    // and its plug-in finds the library beside itself.
    const fs::path ofx = prefix / "OFX" / "Plugins" / "Trellin.ofx.bundle" / "Contents";
    for (const char* file : {"Linux-x86-64/Trellin.ofx", "Linux-x86-64/TrellinVx.node",
                             "Linux-x86-64/libtrellinhost.so", "Resources/looks/pebbles.json"})
        EXPECT_TRUE(fs::exists(ofx / file)) << file;
    const RunResult ldd = testkit::run_program({"ldd", (ofx / "Linux-x86-64/Trellin.ofx").string()});
    EXPECT_NE(ldd.out.find((ofx / "Linux-x86-64/libtrellinhost.so").string()), std::string::npos) << ldd.out;
    // The OBS module, in the folder of OBS's own modules under the prefix
    // (lib/ or lib/<triplet>/, as libobs lies), with its data where OBS
    // looks beside it, finds the host library under the prefix.
    const fs::path obs_data = prefix / "share" / "obs" / "obs-plugins" / "trellin-obs";
    EXPECT_TRUE(fs::exists(obs_data / "locale" / "en-US.ini"));
    EXPECT_TRUE(fs::exists(obs_data / "looks" / "pebbles.json"));
    fs::path obs_module;
    for (const auto& entry : fs::recursive_directory_iterator(prefix / "lib"))
        if (entry.path().filename() == "trellin-obs.so") obs_module = entry.path();
    ASSERT_EQ(obs_module.parent_path().filename(), "obs-plugins") << obs_module;
    const RunResult obs_ldd = testkit::run_program({"ldd", obs_module.string()});
    const std::size_t host = obs_ldd.out.find("libtrellinhost.so => ");
    ASSERT_NE(host, std::string::npos) << obs_ldd.out;
    const std::string found = obs_ldd.out.substr(host + 21, obs_ldd.out.find(' ', host + 21) - host - 21);
    EXPECT_EQ(fs::weakly_canonical(found), fs::weakly_canonical(prefix / "lib" / "trellin" / "libtrellinhost.so"))
        << obs_ldd.out;

    const testkit::RunOptions clean = testkit::RunOptions().with_env({"TRELLIN_MODULE", "TRELLIN_THREADS"});
    const std::string installed = (prefix / "bin" / "trellin").string();
    const RunResult looks = testkit::run_program({installed, "looks"}, clean);
    ASSERT_EQ(looks.code, 0) << looks.err;
    EXPECT_NE(looks.out.find((prefix / "share" / "trellin" / "looks").string()), std::string::npos) << looks.out;
    EXPECT_NE(looks.out.find("  pebbles  "), std::string::npos) << looks.out;
    // Every look is installed (that `looks` lists every one: test_trellin_looks.cpp).
    const auto count = [](const fs::path& folder) {
        return std::ranges::count_if(fs::directory_iterator(folder),
                                     [](const auto& e) { return e.path().extension() == ".json"; });
    };
    EXPECT_EQ(count(prefix / "share" / "trellin" / "looks"), count(fs::path(TRELLIN_SOURCE_DIR) / "apps" / "looks"));

    write_file(dir / "in.png", 40, 24, 3, OIIO::TypeDesc::UINT8, pattern<std::uint8_t>(40, 24, 3, 8, 255));
    const RunResult render =
        testkit::run_program({installed, "render", path("in.png"), path("out.png"), "--look", "pebbles"}, clean);
    ASSERT_EQ(render.code, 0) << render.err;
    ASSERT_EQ(run({"render", path("in.png"), path("built.png"), "--look", "pebbles"}).code, 0);
    EXPECT_EQ(read_file(dir / "out.png").u16, read_file(dir / "built.png").u16);
}

}  // namespace
