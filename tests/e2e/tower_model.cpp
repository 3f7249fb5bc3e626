#include "tower_model.h"

#include <cmath>
#include <limits>

namespace towermodel {

namespace {

// Column-vector 4x4 matrices, m[row][column], as in the GL documentation.
using Mat4 = std::array<std::array<double, 4>, 4>;

Mat4 Identity()
{
    Mat4 m{};
    for (int i = 0; i < 4; ++i) {
        m[i][i] = 1;
    }
    return m;
}

Mat4 Multiply(const Mat4 &a, const Mat4 &b)
{
    Mat4 r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                r[i][j] += a[i][k] * b[k][j];
            }
        }
    }
    return r;
}

Mat4 Translation(double x, double y, double z)
{
    Mat4 m = Identity();
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
    return m;
}

// A right-handed rotation about +y or +z; the scene turns about no other axis.
Mat4 RotationY(double degrees)
{
    double a = degrees * M_PI / 180.0;
    Mat4 m = Identity();
    m[0][0] = std::cos(a);
    m[0][2] = std::sin(a);
    m[2][0] = -std::sin(a);
    m[2][2] = std::cos(a);
    return m;
}

Mat4 RotationZ(double degrees)
{
    double a = degrees * M_PI / 180.0;
    Mat4 m = Identity();
    m[0][0] = std::cos(a);
    m[0][1] = -std::sin(a);
    m[1][0] = std::sin(a);
    m[1][1] = std::cos(a);
    return m;
}

Vec3 Apply(const Mat4 &m, const Vec3 &v)
{
    Vec3 r{};
    for (int i = 0; i < 3; ++i) {
        r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2] + m[i][3];
    }
    return r;
}

Triangle Place(const Mat4 &m)
{
    // The corners as single-precision model units: the program passes floats.
    const Vec3 red{-0.7f, 0.0, -0.5f};
    const Vec3 green{0.7f, 0.0, -0.5f};
    const Vec3 blue{0.0, 0.0, 0.5f};
    return {Apply(m, red), Apply(m, green), Apply(m, blue)};
}

Vec3 Sub(const Vec3 &a, const Vec3 &b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vec3 Cross(const Vec3 &a, const Vec3 &b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double Dot(const Vec3 &a, const Vec3 &b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Ray from the eye against one triangle (Moller-Trumbore). Returns the ray
// parameter, or a negative value for a miss; u and v weigh the green and the
// blue corner.
double Intersect(const Triangle &t, const Vec3 &ray, double *u, double *v)
{
    Vec3 e1 = Sub(t[1], t[0]);
    Vec3 e2 = Sub(t[2], t[0]);
    Vec3 p = Cross(ray, e2);
    double det = Dot(e1, p);
    if (std::fabs(det) < 1e-12) {
        return -1;
    }
    Vec3 s = Sub(Vec3{0, 0, 0}, t[0]);
    *u = Dot(s, p) / det;
    if (*u < 0 || *u > 1) {
        return -1;
    }
    Vec3 q = Cross(s, e1);
    *v = Dot(ray, q) / det;
    if (*v < 0 || *u + *v > 1) {
        return -1;
    }
    return Dot(e2, q) / det;
}

} // namespace

std::vector<float> PhaseSequence(int frames)
{
    std::vector<float> phases;
    phases.reserve(static_cast<size_t>(frames));
    float phase = 0.0f;
    for (int n = 0; n < frames; ++n) {
        phases.push_back(phase);
        phase += 0.0005f;
    }
    return phases;
}

std::array<Triangle, kTriangles> BuildScene(float phase)
{
    std::array<Triangle, kTriangles> scene{};
    Mat4 m = Translation(0.0, -2.0f, -5.0f);
    scene[0] = Place(m);
    int level = 1;
    for (float s = 4.0f; s > 0.01f && level < kTriangles; s *= 0.75f, ++level) {
        float twist = static_cast<float>(std::sin(static_cast<double>(phase) * s) * 720.0);
        m = Multiply(m, Translation(0.0, 0.1f, 0.0));
        m = Multiply(m, RotationY(twist));
        m = Multiply(m, RotationZ(10.0));
        scene[static_cast<size_t>(level)] = Place(m);
    }
    return scene;
}

Triangle BaseTriangle()
{
    return BuildScene(0.0f)[0];
}

Camera::Camera(int w, int h) : width(w), height(h), focal(1.0 / std::tan(22.5 * M_PI / 180.0)) {}

Vec3 Camera::Ray(double column, double row) const
{
    double ndcX = 2.0 * column / width - 1.0;
    double ndcY = 1.0 - 2.0 * row / height;
    return {ndcX * (width / height) / focal, ndcY / focal, -1.0};
}

std::array<double, 2> Camera::Project(const Vec3 &eye) const
{
    double ndcX = focal / (width / height) * eye[0] / -eye[2];
    double ndcY = focal * eye[1] / -eye[2];
    return {(ndcX + 1.0) / 2.0 * width, (1.0 - ndcY) / 2.0 * height};
}

Hit Trace(const std::array<Triangle, kTriangles> &scene, const Vec3 &ray)
{
    Hit hit;
    double best = std::numeric_limits<double>::infinity();
    double second = best;
    double bestU = 0;
    double bestV = 0;
    for (int i = 0; i < kTriangles; ++i) {
        double u = 0;
        double v = 0;
        double t = Intersect(scene[static_cast<size_t>(i)], ray, &u, &v);
        if (t <= 0) {
            continue;
        }
        // Later triangles win ties, as GL_LEQUAL lets them.
        if (t <= best) {
            second = best;
            best = t;
            hit.triangle = i;
            bestU = u;
            bestV = v;
        } else if (t < second) {
            second = t;
        }
    }
    if (hit.triangle >= 0) {
        double length = std::sqrt(Dot(ray, ray));
        hit.rgb = {1.0 - bestU - bestV, bestU, bestV};
        hit.nearest = best * length;
        hit.gap = (second - best) * length;
    }
    return hit;
}

} // namespace towermodel
