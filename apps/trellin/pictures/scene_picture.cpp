#include "apps/trellin/pictures/scene_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "apps/trellin/pictures/rgb_mix.h"

namespace trellin_app {

namespace {

// A repeatable pseudo-random number in 0..1 for an integer pair.
double hash(std::int64_t a, std::int64_t b)
{
    std::uint64_t x =
        static_cast<std::uint64_t>(a) * 0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(b) * 0xC2B2AE3D27D4EB4FULL;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 29;
    return double(x >> 11) / double(1ULL << 53);
}

// Smooth noise along one axis: hashed values every unit, eased between.
double noise(double x, std::int64_t seed)
{
    const double i = std::floor(x);
    const double f = x - i;
    const double t = f * f * (3.0 - 2.0 * f);
    return hash(static_cast<std::int64_t>(i), seed) * (1.0 - t) + hash(static_cast<std::int64_t>(i) + 1, seed) * t;
}

// A ridge line: heights as a fraction of the picture, a few octaves of noise.
double ridge(double fx, double base, double amplitude, std::int64_t seed)
{
    return base - amplitude * (0.55 * noise(fx * 3.0, seed) + 0.3 * noise(fx * 9.0, seed + 1) +
                               0.15 * noise(fx * 27.0, seed + 2));
}

struct Building {
    double x0, x1, top;  // fractions of the width and height
    Rgb wall;
    std::int64_t seed;
};

}  // namespace

HostPicture make_scene_picture(int width, int height)
{
    HostPicture picture(width, height, 4);
    const double w = width, h = height;
    const double horizon = 0.62;              // where the land meets the sky, down from the top
    const double sun_x = 0.68, sun_y = 0.47;  // the sun, low in the sky
    const double sun_r = 0.045;               // of the height

    // The town: a row of buildings standing on the horizon, left and right of the road.
    std::vector<Building> town;
    double x = 0.0;
    for (std::int64_t i = 0; x < 1.0; ++i) {
        const double bw = 0.035 + 0.05 * hash(i, 11);
        const bool near_road = x + bw > 0.44 && x < 0.56;
        if (!near_road) {
            const double top = horizon - (0.07 + 0.2 * hash(i, 12) * (0.5 + std::fabs(x - 0.5)));
            const double tone = 0.10 + 0.10 * hash(i, 13);
            town.push_back({x, x + bw, top, {tone * 1.1, tone * 0.95, tone * 1.05}, i});
        }
        x += bw + 0.004 * hash(i, 14);
    }

    const Rgb zenith{0.10, 0.16, 0.38}, low_sky{0.98, 0.55, 0.28}, haze{1.0, 0.80, 0.55};
    const Rgb far_hills{0.36, 0.26, 0.36}, near_hills{0.16, 0.14, 0.20};
    const Rgb field{0.14, 0.17, 0.10}, asphalt{0.13, 0.13, 0.15};

    for (int y = 0; y < height; ++y) {
        const double fy = (y + 0.5) / h;
        for (int xi = 0; xi < width; ++xi) {
            const double fx = (xi + 0.5) / w;
            // Distance from the sun in height units (the picture's aspect kept).
            const double sdx = (fx - sun_x) * w / h, sdy = fy - sun_y;
            const double sun_d = std::sqrt(sdx * sdx + sdy * sdy);

            // Sky: deep blue overhead, warm towards the horizon, glowing round the sun.
            const double t = std::clamp(fy / horizon, 0.0, 1.0);
            Rgb c = mix(zenith, low_sky, std::pow(t, 1.6));
            c = mix(c, haze, std::clamp(0.55 * std::exp(-sun_d * 6.0), 0.0, 1.0));
            // Thin streaks of cloud lit from below.
            const double streak = noise(fx * 5.0 + 0.3 * fy, 21) * noise(fy * 40.0, 22);
            if (fy < horizon - 0.1) c = mix(c, Rgb{1.0, 0.72, 0.62}, 0.35 * std::pow(streak, 3.0));
            // The sun's disc, with a soft rim.
            c = mix(c, Rgb{1.0, 0.97, 0.85}, std::clamp((sun_r - sun_d) * h + 0.5, 0.0, 1.0));

            // Hills: a far, hazy ridge and a nearer, darker one.
            if (fy > ridge(fx, horizon - 0.03, 0.12, 31)) c = mix(far_hills, haze, 0.18);
            if (fy > ridge(fx + 0.37, horizon + 0.005, 0.07, 41)) c = near_hills;

            // Buildings, their windows lit in a warm light here and there.
            for (const Building& b : town) {
                if (fx < b.x0 || fx >= b.x1 || fy < b.top || fy >= horizon) continue;
                c = b.wall;
                const double px = (fx - b.x0) * w, py = (fy - b.top) * h;
                const double cell = std::max(3.0, h / 60.0);
                const auto col = static_cast<std::int64_t>(px / cell), row = static_cast<std::int64_t>(py / cell);
                const double wx = px / cell - double(col), wy = py / cell - double(row);
                const bool window =
                    wx > 0.3 && wx < 0.75 && wy > 0.3 && wy < 0.8 && px > cell * 0.5 && (b.x1 - fx) * w > cell * 0.5;
                if (window && hash(b.seed * 977 + col, row) < 0.42) {
                    const double warm = hash(col, b.seed * 31 + row);
                    c = mix(Rgb{1.0, 0.78, 0.38}, Rgb{0.95, 0.92, 0.75}, warm);
                } else if (window) {
                    c = scale(b.wall, 0.6);
                }
                break;
            }

            // Land below the horizon: fields either side, the road narrowing to the town.
            if (fy >= horizon) {
                const double depth = (fy - horizon) / (1.0 - horizon);  // 0 at the horizon, 1 at the bottom
                c = mix(field, Rgb{0.30, 0.28, 0.16}, 0.5 * noise(fx * 60.0 / (0.2 + depth), 51 + y / 7));
                c = mix(c, haze, 0.35 * (1.0 - depth));
                const double half = 0.01 + 0.34 * depth;  // the road's half width
                const double off = fx - 0.5;
                if (std::fabs(off) < half) {
                    c = mix(asphalt, haze, 0.25 * (1.0 - depth));
                    // The sun's reflection on the road, and dashed centre marks.
                    c = mix(c, haze, 0.3 * std::exp(-std::fabs(off) / (half * 0.25)) * (1.0 - depth));
                    const double dash = std::fmod(1.0 / (depth + 0.05), 1.0);
                    if (std::fabs(off) < 0.004 + 0.01 * depth && dash < 0.5) c = Rgb{0.92, 0.88, 0.70};
                    // Edge lines.
                    if (std::fabs(std::fabs(off) - half * 0.93) < 0.002 + 0.004 * depth) c = Rgb{0.85, 0.85, 0.80};
                }
            }
            // A little grain, as in any photograph.
            const double grain = (hash(xi, y + 7919) - 0.5) * 0.02;
            picture.at(xi, y, 0) = sample(c.r + grain);
            picture.at(xi, y, 1) = sample(c.g + grain);
            picture.at(xi, y, 2) = sample(c.b + grain);
            picture.at(xi, y, 3) = 65535;
        }
    }
    return picture;
}

}  // namespace trellin_app
