// The handles as a viewer shows them, drawn into a headless OpenGL view and read back. Handle
// centres sit on pixel centres so that the lines' core pixels are fully covered.
// test-links: trellin_gl
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "apps/gl/headless_view.h"
#include "node/control_table.h"
#include "node/trellin_node.h"

namespace {

enum class Hue { none, red, green, yellow };

struct OverlayDrawing : ::testing::Test {
    void SetUp() override
    {
        std::string error;
        view = trellin_gl::HeadlessView::create(width, height, error);
        ASSERT_TRUE(view) << error;
        node.reset(vx::TrellinNode::make());
        node->set_output_size(width, height);
    }

    void set(const char* label, double v)
    {
        static_cast<CNumeric*>(node->controls[vx::control_row(label)].control)->value = v;
    }

    // Puts a position's point on the centre of pixel (px, py).
    void place(const char* x, const char* y, int px, int py)
    {
        set(x, (px + 0.5) / width), set(y, (py + 0.5) / height);
    }

    Hue hue(int x, int y) const
    {
        const std::uint8_t* p = &pixels[(std::size_t(y) * width + x) * 4];
        const bool r = p[0] >= 200, g = p[1] >= 200, off = p[2] <= 40;
        if (off && (r || p[0] <= 40) && (g || p[1] <= 40))
            return r ? (g ? Hue::yellow : Hue::red) : (g ? Hue::green : Hue::none);
        ADD_FAILURE() << "pixel " << x << "," << y << " is partly covered: " << int(p[0]) << " " << int(p[1]) << " "
                      << int(p[2]);
        return Hue::none;
    }

    const int width = 300, height = 200;
    std::unique_ptr<trellin_gl::HeadlessView> view;
    std::unique_ptr<vx::TrellinNode> node;
    std::vector<std::uint8_t> pixels;
};

TEST_F(OverlayDrawing, EachHandleHasItsShapeAndColour)
{
    static_cast<CBoolean*>(node->controls[vx::control_row("Light Active")].control)->state = true;
    place("Light_X", "Light_Y", 50, 100);
    place("Tweak_X", "Tweak_Y", 150, 100);
    place("Angle Centre_X", "Angle Centre_Y", 240, 60);
    set("Cell Angle", 180.0);
    vx::pull_typed_controls(node->effect->param);
    view->clear(0.0f, 0.0f, 0.0f, 1.0f);
    node->draw_overlay(nullptr);
    pixels = view->read_rgba8();

    // The crosshair's geometry once (places and colours are also checked through the overlay
    // program): arms 10..25 pixels out, a box 4 out and nothing else near the centre.
    const int cx = 150, cy = 100;
    for (auto [ux, uy] : {std::pair{1, 0}, {0, 1}, {0, -1}, {-1, 0}}) {
        for (int d = 11; d <= 24; ++d) EXPECT_EQ(hue(cx + d * ux, cy + d * uy), Hue::red) << "arm at " << d;
        for (int d : {6, 9, 26}) EXPECT_EQ(hue(cx + d * ux, cy + d * uy), Hue::none) << "gap at " << d;
        for (int s = -3; s <= 3; ++s)  // the box's side
            EXPECT_EQ(hue(cx + 4 * ux + s * uy, cy + 4 * uy + s * ux), Hue::red) << "box";
    }
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) EXPECT_EQ(hue(cx + dx, cy + dy), Hue::none) << "inside the box";
    EXPECT_EQ(hue(50 + 17, 100), Hue::yellow);
    EXPECT_EQ(hue(240, 60 + 17), Hue::green);

    // The light handle's diagonals run 5 to 12.5 pixels out.
    for (int d = 6; d <= 11; ++d)
        for (auto [sx, sy] : {std::pair{1, 1}, {-1, 1}, {1, -1}, {-1, -1}})
            EXPECT_EQ(hue(50 + d * sx, 100 + d * sy), Hue::yellow) << d << " " << sx << sy;
    EXPECT_TRUE(hue(50 + 13, 100 + 13) == Hue::none && hue(50 + 3, 100 + 3) == Hue::none);

    // The angle arm runs from the centre handle 30 pixels to the left, to a box around its end.
    for (int x = 211; x <= 235; ++x) EXPECT_EQ(hue(x, 60), Hue::green) << x;
    for (int s = -3; s <= 3; ++s) EXPECT_TRUE(hue(206, 60 + s) == Hue::green && hue(210 + s, 56) == Hue::green) << s;
    EXPECT_EQ(hue(208, 58), Hue::none);
}

}  // namespace
