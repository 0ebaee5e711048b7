// The overlay command: handles drawn over the rendered frame where their
// controls put them, drags delivered as a viewer delivers them, the frame
// rendered after the drags, and the controls printed exactly.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "trellin_cli_support.h"

namespace {

using namespace trellin_test;

// The printed controls by label.
std::map<std::string, std::string> printed(const std::string& out)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

class TrellinOverlay : public TrellinTest {
protected:
    // A flat dark grey picture, so that the handles stand out.
    void flat_picture(const std::string& name, int width, int height,
                      const std::vector<std::pair<std::string, std::string>>& attributes = {})
    {
        write_file(dir / name, width, height, 3, OIIO::TypeDesc::UINT8,
                   std::vector<std::uint8_t>(std::size_t(width) * height * 3, 40), attributes);
    }

    struct Rgb {
        int r, g, b;
    };
    Rgb at(const FileImage& image, int x, int y)
    {
        const std::size_t i = (std::size_t(y) * image.spec.width + x) * image.spec.nchannels;
        return {image.u16[i] / 257, image.u16[i + 1] / 257, image.u16[i + 2] / 257};
    }
    // The pixel shows a handle line of the colour (r, g, b each 0 or 1). Lines
    // on pixel edges cover the two pixels beside them by half, and the
    // background is dark (40), so a channel above 120 is lit and one below 60
    // is not.
    ::testing::AssertionResult shows(const FileImage& image, int x, int y, int r, int g, int b)
    {
        const Rgb p = at(image, x, y);
        const bool ok = (r ? p.r > 120 : p.r < 60) && (g ? p.g > 120 : p.g < 60) && (b ? p.b > 120 : p.b < 60);
        if (ok) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is " << p.r << "," << p.g << "," << p.b;
    }
};

TEST_F(TrellinOverlay, DrawsTheHandlesWhereTheirControlsPutThem)
{
    const int w = 400, h = 300;
    flat_picture("pic.png", w, h);
    // A dim light leaves the picture dark around the light handle.
    const RunResult r = run({"overlay", path("pic.png"), path("all.png"), "--set", "Light Active=on", "--set",
                             "Tweak_X=0.7", "--set", "Brightness=1"});
    ASSERT_EQ(r.code, 0) << r.err;
    const FileImage all = read_file(dir / "all.png");
    ASSERT_EQ(all.spec.width, w);
    ASSERT_EQ(all.spec.nchannels, 3);
    // Centre handle (green) at (200, 150): arms from 10 to 25 pixels, empty middle, 8-pixel box.
    EXPECT_TRUE(shows(all, 200 + 17, 150, 0, 1, 0));
    EXPECT_TRUE(shows(all, 200, 150 - 17, 0, 1, 0));
    EXPECT_TRUE(shows(all, 200 + 4, 150 + 2, 0, 1, 0));
    EXPECT_FALSE(shows(all, 200 - 7, 150, 0, 1, 0));  // (+x is the angle arm)
    EXPECT_FALSE(shows(all, 200, 150 + 7, 0, 1, 0));
    EXPECT_FALSE(shows(all, 200 + 30, 150 + 30, 0, 1, 0));
    // Tweak handle (red) at (280, 150).
    EXPECT_TRUE(shows(all, 280 - 17, 150, 1, 0, 0));
    EXPECT_TRUE(shows(all, 280, 150 + 20, 1, 0, 0));
    // Angle arm (green) along +x from the centre, 0.1 of the width long, with its box.
    EXPECT_TRUE(shows(all, 200 + 32, 150, 0, 1, 0));
    EXPECT_TRUE(shows(all, 240 - 4, 150 - 2, 0, 1, 0));
    // Light handle (yellow) at (80, 240) with diagonal arms.
    EXPECT_TRUE(shows(all, 80 + 17, 240, 1, 1, 0));
    EXPECT_TRUE(shows(all, 80 - 9, 240 - 9, 1, 1, 0));

    // At the defaults the light is off and the tweak handle lies under the centre handle.
    ASSERT_EQ(run({"overlay", path("pic.png"), path("plain.png")}).code, 0);
    const FileImage plain = read_file(dir / "plain.png");
    const Rgb arm = at(plain, 200 + 17, 150);
    EXPECT_TRUE(arm.g > 120 && arm.g > 2 * arm.r) << arm.r << "," << arm.g << "," << arm.b;
    EXPECT_FALSE(shows(plain, 80 + 17, 240, 1, 1, 0));
    EXPECT_FALSE(shows(plain, 280 - 17, 150, 1, 0, 0));
}

TEST_F(TrellinOverlay, DragsMoveTheControlsAsFloats)
{
    flat_picture("hd.png", 1920, 1080);
    const RunResult r = run({"overlay", path("hd.png"), path("moved.png"), "--drag", "960,540:192,108",
                             "--print-controls", "--save-project", path("moved.json")});
    ASSERT_EQ(r.code, 0) << r.err;
    auto values = printed(r.out);
    EXPECT_EQ(values.size(), 26u) << r.out;
    for (const char* label : {"Angle Centre_X", "Angle Centre_Y", "Tweak_X", "Tweak_Y"})
        EXPECT_EQ(values[label], "0.100000001") << label;
    EXPECT_EQ(values["Cell Angle"], "0");
    EXPECT_EQ(values["Light_X"], "0.2");

    // The light handle is neither drawn nor hit while "Light Active" is off;
    // the angle arm's end turns the cell angle; drags out of the picture stop at the range's ends.
    const RunResult more = run({"overlay", path("hd.png"), path("more.png"), "--drag", "384,864:600,600", "--drag",
                                "1152,540:960,740", "--drag", "960,540:-300,5000", "--print-controls"});
    ASSERT_EQ(more.code, 0) << more.err;
    values = printed(more.out);
    EXPECT_EQ(values["Light_X"], "0.2");
    EXPECT_EQ(values["Light_Y"], "0.8");
    EXPECT_EQ(values["Cell Angle"], "90");
    EXPECT_EQ(values["Angle Centre_X"], "0");
    EXPECT_EQ(values["Angle Centre_Y"], "1");
    EXPECT_EQ(values["Tweak_X"], "0");
    EXPECT_EQ(values["Tweak_Y"], "1");
}

TEST_F(TrellinOverlay, TheFrameIsRenderedAfterTheDrags)
{
    flat_picture("pic.png", 200, 100);
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
    auto wide = [&](const std::string& name) {
        auto out = OIIO::ImageOutput::create(path(name));
        OIIO::ImageSpec spec(200, 200, 3, OIIO::TypeDesc::UINT8);
        spec.attribute("PixelAspectRatio", 2.0f);
        ASSERT_TRUE(out->open(path(name), spec));
        std::vector<std::uint8_t> grey(200 * 200 * 3, 40);
        ASSERT_TRUE(out->write_image(OIIO::TypeDesc::UINT8, grey.data()));
        ASSERT_TRUE(out->close());
    };
    wide("wide.tif");
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
    for (const char* drag : {"1,2", "1,2:3", "a,b:c,d", "1,2:3,nan", "1,2:3,1e30"}) {
        const RunResult r = run({"overlay", path("pic.png"), path("out.png"), "--drag", drag});
        EXPECT_EQ(r.code, 2) << drag;
        EXPECT_NE(r.err.find(std::string("--drag ") + drag), std::string::npos) << r.err;
    }
    EXPECT_EQ(stray_files({"pic.png"}), std::vector<std::string>{});
}

}  // namespace
