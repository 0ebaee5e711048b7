#include "apps/trellin/pictures/demo_picture.h"

#include <algorithm>
#include <cmath>

#include "apps/trellin/pictures/rgb_mix.h"

namespace trellin_app {

namespace {

// Fully saturated colour of hue h (0..1 once round the colour wheel).
Rgb hue_colour(double h)
{
    const double k = h * 6.0;
    const auto channel = [k](double offset) {
        double d = std::fmod(k + offset, 6.0);
        return 1.0 - std::clamp(std::min(d, 4.0 - d), 0.0, 1.0);
    };
    return {channel(5.0), channel(3.0), channel(1.0)};
}

struct Disc {
    double cx, cy, radius;  // fractions of the height, centre x of the width
    Rgb colour;
};

}  // namespace

HostPicture make_demo_picture(int width, int height)
{
    HostPicture picture(width, height, 4);
    const double w = width, h = height;

    // Checkerboard in the right half, squares of 1/18 of the height.
    const double board_x0 = 0.56 * w, board_x1 = 0.94 * w, board_y0 = 0.12 * h, board_y1 = 0.62 * h;
    const double square = std::max(1.0, h / 18.0);

    const Disc discs[] = {
        {0.18, 0.30, 0.16, {0.95, 0.85, 0.20}}, {0.34, 0.62, 0.20, {0.15, 0.45, 0.95}},
        {0.62, 0.78, 0.12, {0.95, 0.25, 0.30}}, {0.82, 0.40, 0.09, {0.20, 0.85, 0.40}},
        {0.50, 0.25, 0.07, {1.00, 1.00, 1.00}},
    };

    for (int y = 0; y < height; ++y) {
        const double fy = (y + 0.5) / h;
        for (int x = 0; x < width; ++x) {
            const double fx = (x + 0.5) / w;
            Rgb c = hue_colour(fx);
            c = mix(c, Rgb{0.5, 0.5, 0.5}, 0.25);
            const double shade = 1.0 - 0.75 * fy;
            c = {c.r * shade, c.g * shade, c.b * shade};

            if (x >= board_x0 && x < board_x1 && y >= board_y0 && y < board_y1) {
                const int i = static_cast<int>((x - board_x0) / square) + static_cast<int>((y - board_y0) / square);
                c = (i % 2 == 0) ? Rgb{0.92, 0.92, 0.92} : Rgb{0.08, 0.08, 0.08};
            }
            for (const Disc& d : discs) {
                const double dx = x + 0.5 - d.cx * w, dy = y + 0.5 - d.cy * h;
                const double r = d.radius * h;
                // Coverage over about one pixel at the rim keeps the edge smooth.
                const double cover = std::clamp(r - std::sqrt(dx * dx + dy * dy) + 0.5, 0.0, 1.0);
                if (cover > 0.0) c = mix(c, d.colour, cover);
            }
            picture.at(x, y, 0) = sample(c.r);
            picture.at(x, y, 1) = sample(c.g);
            picture.at(x, y, 2) = sample(c.b);
            picture.at(x, y, 3) = 65535;
        }
    }
    return picture;
}

}  // namespace trellin_app
