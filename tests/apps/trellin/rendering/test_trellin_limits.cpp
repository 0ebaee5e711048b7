// What the programs refuse before they spend memory or time on it, and how they say so:
// sizes beyond the limits, frame patterns too wide to keep names apart, inputs that are
// no regular files, numbers that are not finite, and command-line faults with the nearest
// valid name suggested, always on one line beginning with the program's name.
// test-builds: trellin-view
#include <gtest/gtest.h>

#include <cstring>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

using TrellinLimits = TrellinTest;

// The address space a run without sanitizers is held to, far below what the faults
// reached (several GB): one that allocated per frame or before its checks would fail.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
constexpr long long memory_limit = 1536LL << 20;
#else
constexpr long long memory_limit = 0;  // the sanitizers reserve more address space than that
#endif

std::uint32_t crc32(const std::string& bytes)
{
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A small PNG whose header claims width x height pixels.
std::string png_claiming(const fs::path& small, std::uint32_t width, std::uint32_t height)
{
    std::string bytes = slurp(small);
    const std::size_t ihdr = bytes.find("IHDR");
    for (int i = 0; i < 4; ++i) {
        bytes[ihdr + 4 + std::size_t(i)] = char(width >> (24 - 8 * i));
        bytes[ihdr + 8 + std::size_t(i)] = char(height >> (24 - 8 * i));
    }
    const std::uint32_t crc = crc32(bytes.substr(ihdr, 17));
    for (int i = 0; i < 4; ++i) bytes[ihdr + 17 + std::size_t(i)] = char(crc >> (24 - 8 * i));
    return bytes;
}

TEST_F(TrellinLimits, SizesAreCheckedBeforeMemoryIsTaken)
{
    write_file(dir / "small.png", 16, 16, 3, OIIO::TypeDesc::UINT8, pattern<std::uint8_t>(16, 16, 3, 1, 255));
    spit(dir / "huge.png", png_claiming(dir / "small.png", 23000, 23000));
    const auto limited = testkit::RunOptions().memory(memory_limit).within(30);
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"render", path("huge.png"), path("out.png")}, "23000x23000 is too large (at most 16384 pixels on a side)"},
        {{"render", path("small.png"), path("out.png"), "--out-size", "16385x10"}, "--out-size 16385x10 is too large"},
        {{"pipe", "--size", "20000x10"}, "--size 20000x10 is too large"},
        // Every input frame is checked before the first is rendered; the first missing one is named at once.
        {{"render", path("small.%04d.png"), path("out.%04d.png"), "--frames", "0-9999999"}, "small.0000.png: no such"},
        {{"render", "/dev/zero", path("out.png")}, "/dev/zero: is not a regular file"},
        {{"render", path("small.png"), path("out.%099d.png"), "--frames", "0-2"}, "too wide"},
        {{"render", path("small.png"), path("out." + std::string(40, '#') + ".png"), "--frames", "0-2"}, "too wide"},
    };
    for (const auto& [args, named] : refused) {
        const RunResult r = run(args, limited);
        EXPECT_EQ(r.code, 2) << named;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    }
    // An empty stream ends at once, whatever size its frames were to have.
    const RunResult empty = run({"pipe", "--size", "12000x12000"}, limited);
    EXPECT_EQ(empty.code, 0) << empty.err;
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(stray_files({"small.png", "huge.png"}), std::vector<std::string>{});
}

TEST_F(TrellinLimits, EveryFaultIsOneLineInTheProgramsVoiceWithTheNearestNameSuggested)
{
    write_file(dir / "in.png", 8, 8, 3, OIIO::TypeDesc::UINT8, pattern<std::uint8_t>(8, 8, 3, 2, 255));
    spit(dir / "typo.json", R"({"controls": {"Index": 2, "Cell Angel": 30}})");
    const std::string in = path("in.png"), out = path("out.png");
    const std::string viewer = std::string(TRELLIN_BIN_DIR) + "/trellin-view";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{trellin, "rendr", in, out}, "unknown command \"rendr\" (did you mean \"render\"?)"},
        {{trellin, "farm", "sumbit"}, "unknown command \"sumbit\" (did you mean \"submit\"?)"},
        {{trellin, "render", in, out, "--frame", "3"}, "unknown option \"--frame\" (did you mean \"--frames\"?)"},
        {{trellin, "render", in, out, "--set", "Indx=2"}, "unknown control \"Indx\" (did you mean \"Index\"?)"},
        {{trellin, "render", in, out, "--key", "cellshape@0=Hexagn"}, "(did you mean \"Hexagon\"?)"},
        {{trellin, "render", in, out, "--project", path("typo.json")}, "(did you mean \"Cell Angle\"?)"},
        {{trellin, "render", in}, "OUT is required"},
        {{trellin, "pipe", "--size", "8x8", "--aspect", "nan"}, "--aspect: expected a finite number, not nan"},
        {{trellin, "farm", "wait", "1", path("o.%04d.png"), "--frames", "0-1", "--timeout", "inf"}, "finite number"},
        {{trellin, "render", in, out, "--set", "Index=" + std::string(100000, '9')}, "--set Index=9999"},
        {{viewer, in, "--exprot", out}, "unknown option \"--exprot\" (did you mean \"--export\"?)"},
    };
    for (const auto& [args, named] : cases) {
        const RunResult r = testkit::run_program(args, testkit::RunOptions().with_env({"TRELLIN_MODULE"}));
        EXPECT_EQ(r.code, 2) << named;
        const std::string program = fs::path(args[0]).filename().string();
        EXPECT_EQ(r.err.rfind(program + ": error: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_LT(r.err.size(), 400u) << named;  // a long bad value is quoted in short
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    }
}

}  // namespace
