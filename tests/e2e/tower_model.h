// An independent model of the tower as the screen should show it: the scene's
// numbers put through our own matrix and ray arithmetic, not through GL, so
// that a screenshot can be checked against it.
#ifndef TOWER_TESTS_E2E_TOWER_MODEL_H
#define TOWER_TESTS_E2E_TOWER_MODEL_H

#include <array>
#include <vector>

namespace towermodel {

using Vec3 = std::array<double, 3>;
using Triangle = std::array<Vec3, 3>; // eye space, red, green, blue corner

constexpr int kTriangles = 22;

// The animation phase after each of the first `frames` frames: the program's
// single-precision running sum, so phases[n] is what frame n is drawn with.
std::vector<float> PhaseSequence(int frames);

// The 22 triangles of the frame drawn with this phase, in drawing order.
std::array<Triangle, kTriangles> BuildScene(float phase);

// What a camera ray meets first.
struct Hit {
    int triangle = -1;           // index in drawing order, -1 for the black background
    std::array<double, 3> rgb{}; // perspective-correct blend of the corner colours
    double nearest = 0;          // distance along the ray to the hit
    double gap = 0;              // distance from that hit to the next one behind it
};

// The projection the program sets for a width x height window.
struct Camera {
    double width;
    double height;
    double focal; // cot(fov / 2)

    Camera(int w, int h);
    // The eye-space ray through the centre of pixel (column, row), rows
    // counted from the top of the screen as X counts them.
    Vec3 Ray(double column, double row) const;
    // Where an eye-space point lands, in the same pixel coordinates.
    std::array<double, 2> Project(const Vec3 &eye) const;
};

Hit Trace(const std::array<Triangle, kTriangles> &scene, const Vec3 &ray);

// The base triangle's corners in eye space (they do not depend on the phase).
Triangle BaseTriangle();

} // namespace towermodel

#endif
