// An independent model of what the tower should look like on screen: the
// scene's numbers placed with this file's own double-precision matrices and
// found by casting a ray through a pixel, instead of projecting and
// rasterising. The pixel tests hold the real GL's output against it, and the
// end-to-end tests a screenshot of the running program.
#ifndef TOWER_TESTS_TOWER_MODEL_H
#define TOWER_TESTS_TOWER_MODEL_H

#include <array>
#include <optional>
#include <vector>

namespace towermodel {

// Row-major 4x4 matrix acting on column vectors.
struct Mat4 {
    double m[4][4];
};

struct Vec3 {
    double x, y, z;
};

struct Rgb {
    double r, g, b;
};

Mat4 Identity();
Mat4 Multiply(const Mat4 &a, const Mat4 &b);
Mat4 Translation(double x, double y, double z);
// A rotation by degrees about any axis, normalised here.
Mat4 Rotation(double degrees, double ax, double ay, double az);
// The classic symmetric perspective frustum.
Mat4 Perspective(double fovyDegrees, double aspect, double zNear, double zFar);
// The GL's column-major float layout, read element by element.
Mat4 FromColumnMajor(const float values[16]);

// The triangle's corners in drawing order, as the program passes them, and
// their colours.
extern const std::array<Vec3, 3> kCorners;
extern const std::array<Rgb, 3> kCornerColours;

// The animation phase after each of the first `frames` frames: the program's
// single-precision running sum, so phases[n] is what frame n is drawn with.
std::vector<float> PhaseSequence(int frames);
// The model-view matrix of every level of the tower, base first, for a phase.
std::vector<Mat4> TowerLevels(float phase);
// The projection the program sets for a width x height window.
Mat4 TowerProjection(int width, int height);

// One triangle where a ray met it.
struct Hit {
    int level;   // index in drawing order
    double winZ; // window depth in [0, 1] under the default depth range
    Rgb colour;  // perspective-correct blend of the corner colours
};

// A viewport of width x height at the origin, a projection, and triangles
// placed by their model-view matrices, drawn in the order given. Window
// coordinates are the GL's: y counts up from the bottom row.
class Scene {
  public:
    Scene(int width, int height, const Mat4 &projection, const std::vector<Mat4> &levels);

    // Every triangle the ray through window point (x, y) meets, in drawing
    // order; points outside the clip volume are not hits.
    std::vector<Hit> Cast(double x, double y) const;

    // Where a point in a level's own model space lands: window x, y and depth.
    Vec3 Project(int level, const Vec3 &point) const;

  private:
    int width_;
    int height_;
    Mat4 projection_;
    std::vector<Mat4> levels_;
    std::vector<std::array<Vec3, 3>> eyeCorners_;
};

// The hit a depth test with GL_LEQUAL keeps: the nearest, the later on a tie.
std::optional<Hit> Front(const std::vector<Hit> &hits);
// The hit that paints last when nothing is depth tested.
std::optional<Hit> Last(const std::vector<Hit> &hits);

// Whether the verdict at pixel (x, y) leaves no room for rasterisation to
// differ: the same front and last triangle at the pixel centre and one pixel
// to every side, and the front one nearer than the next by at least
// minDepthGap in window depth. centreHits, when given, receives the centre's
// hits whatever the answer, so a caller need not cast that ray again.
bool Settled(const Scene &scene, int x, int y, double minDepthGap,
             std::vector<Hit> *centreHits = nullptr);

} // namespace towermodel

#endif
