// The refraction pass: the glass surface's normal from the height buffer, the
// view ray bent through it, and where the bent ray meets the picture plane
// below the glass; with the light on, the surface's highlight.
#include <climits>
#include <cmath>
#include <cstddef>

#include "effect/reference/passes.h"
#include "effect/pixel_math.h"
#include "effect/vector3.h"

namespace vx {

void refract_rows(const FrameState& f, int first_row, int last_row)
{
    const int width = f.width;
    const int height = f.height;
    const std::size_t stride = static_cast<std::size_t>(width);

    // Normalised picture coordinates: one unit is W - 1 columns, H - 1 rows.
    const float w1 = static_cast<float>(width - 1);
    const float h1 = static_cast<float>(height - 1);
    const float iw = 1.0f / w1;
    const float ih = 1.0f / h1;
    // Slope distance; a Smoothing below 0 still measures over one pixel.
    const int dist = f.smoothing_px < 1 ? 1 : (f.smoothing_px == INT_MAX ? INT_MAX : f.smoothing_px + 1);
    const float dx = static_cast<float>(dist) * iw;
    const float dy = static_cast<float>(dist) * ih;

    const float n = f.index;
    const float r = 1.0f / n;
    const float nn1 = n * n - 1.0f;
    const float thickening = f.thickening;

    const bool lit = f.lit;
    const float light_dz = f.light_z + 1.0f;
    const double gloss = f.gloss;
    const double brightness = f.brightness;

    for (int y = first_row; y <= last_row; ++y) {
        if (f.aborted()) return;
        const int ya = y - dist > 0 ? y - dist : 0;
        const int yb = dist > height - 1 - y ? height - 1 : y + dist;
        const float* above = f.height_buf + static_cast<std::size_t>(ya) * stride;
        const float* below = f.height_buf + static_cast<std::size_t>(yb) * stride;
        const float* here = f.height_buf + static_cast<std::size_t>(y) * stride;
        float* sx = f.sample_x_buf + static_cast<std::size_t>(y) * stride;
        float* sy = f.sample_y_buf + static_cast<std::size_t>(y) * stride;
        float* hl = f.highlight_buf + static_cast<std::size_t>(y) * stride;
        const float fy = static_cast<float>(y);
        const float py = fy * ih;

        for (int x = 0; x < width; ++x) {
            const int xa = x - dist > 0 ? x - dist : 0;
            const int xb = dist > width - 1 - x ? width - 1 : x + dist;
            // Two diagonal tangents; they keep the full distance even where a
            // neighbour was clamped at the picture's edge.
            const Vec3 a{dx, dy, below[xb] - above[xa]};
            const Vec3 b{-dx, dy, below[xa] - above[xb]};
            Vec3 normal;
            cross3(normal, a, b);
            normalize3(normal);

            // The downward view ray (0, 0, -1) entering glass of index n.
            const float t = thickening + here[x];
            const float k = nn1 + normal.z * normal.z;
            const float m = k >= 0.0f ? normal.z - static_cast<float>(std::sqrt(static_cast<double>(k))) : 1.0f;
            const float tx = r * normal.x * m;
            const float ty = r * normal.y * m;
            const float tz = (m * normal.z - 1.0f) * r;
            const float q = 1.0f / tz;
            const float fx = static_cast<float>(x);
            sx[x] = (tx * q * t + fx * iw) * w1;
            // One row less than the landing row: the compositing pass takes
            // its footprint rows from here and the row below.
            sy[x] = (q * ty * t + py) * h1 - 1.0f;

            if (lit) {
                Vec3 light{fx - f.light_x, fy - f.light_y, light_dz};
                normalize3(light);
                const float d = static_cast<float>(static_cast<double>(normal.y) * light.y +
                                                   static_cast<double>(normal.x) * light.x +
                                                   static_cast<double>(normal.z) * light.z);
                hl[x] = highlight(d, gloss, brightness);
            }
        }
    }
}

}  // namespace vx
