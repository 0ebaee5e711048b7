// The headless view keeps a picture's rows in order: what is drawn as the top
// row is read back first, and centre-relative vertices land on image pixels.
// test-links: trellin_gl
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "apps/gl/headless_view.h"

namespace {

TEST(HeadlessView, PicturesAndVerticesKeepTheirRowsTopFirst)
{
    std::string error;
    auto view = trellin_gl::HeadlessView::create(4, 3, error);
    ASSERT_TRUE(view) << error;

    // Top row red, the rest dark blue, at 16 bits.
    std::vector<std::uint16_t> picture(4 * 3 * 3, 0);
    for (int i = 0; i < 4 * 3; ++i) picture[i * 3 + (i < 4 ? 0 : 2)] = i < 4 ? 65535 : 0x4000;
    view->draw_picture(picture.data(), 3);

    // A point on the centre of pixel (3, 2), relative to the picture's centre.
    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    glBegin(GL_POINTS);
    glVertex2f(3.5f - 2.0f, 2.5f - 1.5f);
    glEnd();

    const std::vector<std::uint8_t> rgba = view->read_rgba8();
    ASSERT_EQ(rgba.size(), 4u * 3 * 4);
    auto at = [&](int x, int y, int c) { return rgba[(y * 4 + x) * 4 + c]; };
    EXPECT_EQ(at(0, 0, 0), 255);
    EXPECT_EQ(at(3, 0, 2), 0);
    EXPECT_EQ(at(0, 1, 0), 0);
    EXPECT_EQ(at(0, 1, 2), 64);
    EXPECT_EQ(at(3, 2, 1), 255);
    EXPECT_EQ(at(2, 2, 1), 0);
}

}  // namespace
