// Three-component single-precision vectors for the glass surface: normals,
// tangents, refracted rays and light directions.
#pragma once

namespace vx {

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// out = a x b. Each product and difference is formed in double and the
// component rounded to float once.
void cross3(Vec3& out, const Vec3& a, const Vec3& b);

// Scales v in place to unit length and returns the length it found. The
// square root is a fixed three-step Newton iteration, so the result does not
// depend on the library's square root. A vector whose largest component is
// below 1e-10 becomes (0, 0, 0) with length 0.
float normalize3(Vec3& v);

}  // namespace vx
