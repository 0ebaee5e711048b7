// The overlay command: handles drawn over the rendered frame where their
// controls put them, drags delivered as a viewer delivers them, the frame
// rendered after the drags, and the controls printed exactly.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

// The printed controls by label.
std::map<std::string, std::string> printed(const std::string& out)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.find('=') != std::string::npos)
            values[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return values;
}

class TrellinOverlay : public TrellinTest {
protected:
    // A flat dark grey picture, so that the handles stand out.
    void flat_picture(const std::string& name, int width, int height)
    {
        write_file(dir / name, width, height, 3, OIIO::TypeDesc::UINT8,
                   std::vector<std::uint8_t>(std::size_t(width) * height * 3, 40));
    }

    // The pixel shows a handle line of the colour (r, g, b each 0 or 1): on
    // the dark background a lit channel is above 120 and an unlit one below 60.
    ::testing::AssertionResult shows(const FileImage& image, int x, int y, int r, int g, int b)
    {
        const std::size_t i = (std::size_t(y) * image.spec.width + x) * image.spec.nchannels;
        const int p[3] = {image.u16[i] / 257, image.u16[i + 1] / 257, image.u16[i + 2] / 257}, want[3] = {r, g, b};
        for (int c = 0; c < 3; ++c)
            if (want[c] ? p[c] <= 120 : p[c] >= 60)
                return ::testing::AssertionFailure()
                       << "(" << x << ", " << y << ") is " << p[0] << "," << p[1] << "," << p[2];
        return ::testing::AssertionSuccess();
    }
};

TEST_F(TrellinOverlay, DrawsTheHandlesWhereTheirControlsPutThem)
{
    flat_picture("pic.png", 400, 300);
    // A dim light leaves the picture dark around the light handle.
    const RunResult r = run({"overlay", path("pic.png"), path("all.png"), "--set", "Light Active=on", "--set",
                             "Tweak_X=0.7", "--set", "Brightness=1"});
    ASSERT_EQ(r.code, 0) << r.err;
    const FileImage all = read_file(dir / "all.png");
    ASSERT_EQ(all.spec.width, 400);
    EXPECT_TRUE(shows(all, 200, 150 - 17, 0, 1, 0));     // centre handle, green, at (200, 150)
    EXPECT_FALSE(shows(all, 200 - 7, 150, 0, 1, 0));     // its empty middle
    EXPECT_TRUE(shows(all, 280 - 17, 150, 1, 0, 0));     // tweak handle, red, at (280, 150)
    EXPECT_TRUE(shows(all, 240 - 4, 150 - 2, 0, 1, 0));  // the angle arm's box, 0.1 of the width along +x
    EXPECT_TRUE(shows(all, 80 + 17, 240, 1, 1, 0));      // light handle, yellow, at (80, 240)
    EXPECT_TRUE(shows(all, 80 - 9, 240 - 9, 1, 1, 0));

    // At the defaults the light is off and the tweak handle lies under the centre handle.
    ASSERT_EQ(run({"overlay", path("pic.png"), path("plain.png")}).code, 0);
    const FileImage plain = read_file(dir / "plain.png");
    const std::size_t arm = (150 * 400 + 217) * 3;  // green over the red beneath it
    EXPECT_TRUE(plain.u16[arm + 1] / 257 > 120 && plain.u16[arm + 1] > 2 * plain.u16[arm]) << plain.u16[arm];
    EXPECT_FALSE(shows(plain, 80 + 17, 240, 1, 1, 0));
    EXPECT_FALSE(shows(plain, 280 - 17, 150, 1, 0, 0));
}

TEST_F(TrellinOverlay, DragsMoveTheControlsAsFloats)
{
    flat_picture("hd.png", 1920, 1080);
    const RunResult r =
        run({"overlay", path("hd.png"), path("moved.png"), "--drag", "960,540:192,108", "--print-controls"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto values = printed(r.out);
    EXPECT_EQ(values.size(), 26u) << r.out;
    for (const char* label : {"Angle Centre_X", "Angle Centre_Y", "Tweak_X", "Tweak_Y"})
        EXPECT_EQ(values[label], "0.100000001") << label;
    EXPECT_EQ(values["Cell Angle"], "0");

    // The light handle is neither drawn nor hit while "Light Active" is off;
    // the angle arm's end turns the cell angle; drags out of the picture stop at the range's ends.
    const RunResult more = run({"overlay", path("hd.png"), path("more.png"), "--drag", "384,864:600,600", "--drag",
                                "1152,540:960,740", "--drag", "960,540:-300,5000", "--print-controls"});
    ASSERT_EQ(more.code, 0) << more.err;
    values = printed(more.out);
    EXPECT_EQ(values["Light_X"], "0.2");
    EXPECT_EQ(values["Light_Y"], "0.8");
    EXPECT_EQ(values["Cell Angle"], "90");
    for (const char* label : {"Angle Centre_X", "Tweak_X"}) EXPECT_EQ(values[label], "0") << label;
    for (const char* label : {"Angle Centre_Y", "Tweak_Y"}) EXPECT_EQ(values[label], "1") << label;
}

TEST_F(TrellinOverlay, TheFrameIsRenderedAfterTheDrags)
{
    write_file(dir / "pattern.png", 200, 100, 3, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(200, 100, 3, 5, 65535));
    const RunResult dragged = run({"overlay", path("pattern.png"), path("dragged.png"), "--drag", "100,50:40,20",
                                   "--save-project", path("dragged.json")});
    ASSERT_EQ(dragged.code, 0) << dragged.err;
    // The same handles set through a project, without a drag: the same composite.
    const RunResult set = run({"overlay", path("pattern.png"), path("set.png"), "--project", path("dragged.json")});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_EQ(read_file(dir / "dragged.png").u16, read_file(dir / "set.png").u16);
    ASSERT_EQ(run({"overlay", path("pattern.png"), path("still.png")}).code, 0);
    EXPECT_NE(read_file(dir / "dragged.png").u16, read_file(dir / "still.png").u16);
}

TEST_F(TrellinOverlay, TheHandlesFollowThePixelAspect)
{
    // Pixels twice as wide as tall: an arm pointing down is drawn twice as long.
    write_file(dir / "wide.tif", 200, 200, 3, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>(200 * 200 * 3, 40),
               {{"PixelAspectRatio", "2"}});
    const RunResult r = run({"overlay", path("wide.tif"), path("out.png"), "--set", "Cell Angle=90"});
    ASSERT_EQ(r.code, 0) << r.err;
    const FileImage out = read_file(dir / "out.png");
    // Pivot (100, 100), arm 0.1 x 200 = 20 pixels, drawn 40 pixels down.
    EXPECT_TRUE(shows(out, 100, 130, 0, 1, 0));
    EXPECT_TRUE(shows(out, 100 + 4, 140 - 2, 0, 1, 0));
}

TEST_F(TrellinOverlay, BadDragsAreRefused)
{
    flat_picture("pic.png", 40, 30);
    for (const char* drag : {"1,2:3", "1,2:3,nan"}) {
        const RunResult r = run({"overlay", path("pic.png"), path("out.png"), "--drag", drag});
        EXPECT_EQ(r.code, 2) << drag;
        EXPECT_NE(r.err.find(std::string("--drag ") + drag), std::string::npos) << r.err;
    }
    EXPECT_EQ(stray_files({"pic.png"}), std::vector<std::string>{});
}

}  // namespace
