// test-labels: external
// The Debian package (`make package`): every host where Debian's own packages
// put theirs, the library packages it needs named, no error from lintian,
// and, installed by dpkg into a throwaway root, each host finding Trellin
// with no TRELLIN_* variable, and purged leaving nothing behind. The suite makes the package first (the build does not,
// so that edits are not packaged on every build): the target trellin_deb,
// which is quick once the programs are built.
#include <gtest/gtest.h>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

const fs::path deb = TRELLIN_DEB;

// Made once for the suite, by the build tree's own target.
const testkit::ProgramResult& made()
{
    static const testkit::ProgramResult result = testkit::run_program(
        {"cmake", "--build", fs::path(TRELLIN_BIN_DIR).parent_path().string(), "--target", "trellin_deb"},
        testkit::RunOptions().within(600));
    return result;
}

std::string multiarch()
{
    const RunResult r = testkit::run_program({"dpkg-architecture", "-qDEB_HOST_MULTIARCH"});
    EXPECT_EQ(r.code, 0) << r.err;
    return r.out.substr(0, r.out.find('\n'));
}

class DebianPackage : public TrellinTest {
protected:
    void SetUp() override
    {
        TrellinTest::SetUp();
        ASSERT_EQ(made().code, 0) << made().out << made().err;
        ASSERT_TRUE(fs::exists(deb)) << deb;
    }

    // Runs a program; fails the test unless it succeeds.
    std::string ok(const std::vector<std::string>& argv, testkit::RunOptions options = {})
    {
        const RunResult r = testkit::run_program(argv, options.within(std::max(options.timeout_s, 120.0)));
        EXPECT_EQ(r.code, 0) << argv[0] << " " << (argv.size() > 1 ? argv[1] : "") << "\n" << r.out << r.err;
        return r.out;
    }
};

TEST_F(DebianPackage, PutsEveryHostWhereDebianLooksAndNamesItsLibraryPackages)
{
    // Anyone may read the package, as apt and a second user must.
    EXPECT_NE(fs::status(deb).permissions() & fs::perms::others_read, fs::perms::none);
    const std::string contents = ok({"dpkg-deb", "--contents", deb.string()});
    const std::string gst = "./usr/lib/" + multiarch() + "/gstreamer-1.0/libgsttrellin.so";
    // Where Debian's OBS finds modules and their data unasked.
    const std::string obs = "./usr/lib/" + multiarch() + "/obs-plugins/trellin-obs.so";
    for (const std::string& file : std::vector<std::string>{
             "./usr/bin/trellin", "./usr/bin/trellin-view", "./usr/lib/trellin/TrellinVx.node",
             "./usr/lib/trellin/libtrellinhost.so",
             "./usr/OFX/Plugins/Trellin.ofx.bundle/Contents/Linux-x86-64/Trellin.ofx", "./usr/lib/frei0r-1/trellin.so",
             gst, obs, "./usr/share/obs/obs-plugins/trellin-obs/locale/en-US.ini",
             "./usr/lib/python3/dist-packages/trellin.cpython-3", "./usr/share/kdenlive/effects/frei0r_trellin.xml",
             "./usr/share/kdenlive/effects/presets/frei0r.trellin.json", "./usr/share/trellin/looks/lit-domes.json",
             "./usr/share/trellin/colour/spaces.ocio", "./usr/share/man/man1/trellin.1.gz",
             "./usr/share/bash-completion/completions/trellin", "./usr/share/doc/trellin/copyright"})
        EXPECT_NE(contents.find(" " + file), std::string::npos) << file << "\n" << contents;
    // Nothing outside /usr, and no public library (the host library is Trellin's own).
    EXPECT_EQ(contents.find(" ./etc/"), std::string::npos) << contents;
    EXPECT_EQ(contents.find("/usr/lib/libtrellinhost"), std::string::npos) << contents;

    const std::string depends = ok({"dpkg-deb", "--field", deb.string(), "Depends"});
    for (const char* package : {"libc6", "libstdc++6", "libgstreamer1.0-0", "libopenimageio", "libavcodec"})
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
    EXPECT_EQ(depends.find("trellin"), std::string::npos) << depends;
}

TEST_F(DebianPackage, LintianFindsNoErrors)
{
    const RunResult r =
        testkit::run_program({"lintian", "--tag-display-limit", "0", deb.string()}, testkit::RunOptions().within(300));
    ASSERT_FALSE(r.timed_out);
    // Lintian exits 2 on errors; warnings and notes are listed, not failed.
    EXPECT_EQ(r.out.find("E: "), std::string::npos) << r.out << r.err;
    EXPECT_NE(r.code, 2) << r.out << r.err;
}

TEST_F(DebianPackage, EachHostFindsTrellinInstalledInAThrowawayRoot)
{
    // dpkg with a database of its own: the libraries the package depends on
    // are the machine's, not the root's, hence --force-depends.
    const fs::path root = dir / "root", usr = root / "usr";
    fs::create_directories(root / "var/lib/dpkg/info");
    fs::create_directories(root / "var/lib/dpkg/updates");
    spit(root / "var/lib/dpkg/status", "");
    const std::vector<std::string> dpkg = {"dpkg", "--root=" + root.string(), "--force-depends", "--force-not-root",
                                           "--log=/dev/null"};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), dpkg.begin(), dpkg.end());
        return args;
    };
    ok(with({"--install", deb.string()}));
    const testkit::RunOptions clean =
        testkit::RunOptions().with_env({"TRELLIN_MODULE", "TRELLIN_THREADS", "PYTHONPATH", "GST_PLUGIN_PATH",
                                        "LD_LIBRARY_PATH", "FREI0R_PATH", "OFX_PLUGIN_PATH", "OCIO"});

    // The program, with its picture library, the installed looks and colour spaces.
    const std::string version = ok({(usr / "bin" / "trellin").string(), "--version"}, clean);
    EXPECT_EQ(version.rfind("trellin ", 0), 0u) << version;
    write_file(dir / "in.png", 24, 16, 3, OIIO::TypeDesc::UINT8, pattern<std::uint8_t>(24, 16, 3, 5, 255));
    ok({(usr / "bin" / "trellin").string(), "render", path("in.png"), path("out.png"), "--look", "lit-domes",
        "--colorspace-out", "PQ", "-q"},
       clean);
    EXPECT_TRUE(fs::exists(dir / "out.png"));

    // GStreamer: the root's plug-in folder stands in for the system one
    // (GStreamer's system folder is built into it; the registry is the test's own).
    const fs::path gst = usr / "lib" / multiarch() / "gstreamer-1.0";
    testkit::RunOptions gst_env = clean;
    gst_env.with_env({"GST_PLUGIN_SYSTEM_PATH=" + gst.string(), "GST_REGISTRY=" + path("registry.bin")});
    const std::string element = ok({"gst-inspect-1.0", "trellinglass"}, gst_env);
    EXPECT_NE(element.find(gst.string()), std::string::npos) << element;

    // Python: Debian's python3, the root's dist-packages standing in for its own.
    testkit::RunOptions py_env = clean;
    py_env.with_env({"PYTHONPATH=" + (usr / "lib" / "python3" / "dist-packages").string()});
    const std::string module = ok({"/usr/bin/python3", "-c", "import trellin; print(trellin.module_path)"}, py_env);
    EXPECT_EQ(module, (usr / "lib" / "trellin" / "TrellinVx.node").string() + "\n");

    // The frei0r module and the OpenFX plug-in resolve every library they link.
    for (const fs::path& plugin : {usr / "lib" / "frei0r-1" / "trellin.so",
                                   usr / "OFX/Plugins/Trellin.ofx.bundle/Contents/Linux-x86-64/Trellin.ofx"}) {
        const std::string ldd = ok({"ldd", plugin.string()}, clean);
        EXPECT_EQ(ldd.find("not found"), std::string::npos) << plugin << "\n" << ldd;
        EXPECT_NE(ldd.find(root.string()), std::string::npos) << plugin << "\n" << ldd;
    }

    ok(with({"--purge", "trellin"}));
    EXPECT_FALSE(fs::exists(usr)) << "left after purging";
}

}  // namespace
