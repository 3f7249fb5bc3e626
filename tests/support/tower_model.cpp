// The ray-cast model of the tower.
#include "tower_model.h"

#include <cmath>

namespace towermodel {
namespace {

const double kPi = 3.14159265358979323846;

Vec3 Sub(const Vec3 &a, const Vec3 &b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 Cross(const Vec3 &a, const Vec3 &b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Dot(const Vec3 &a, const Vec3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Transform a point (w = 1) and return the four homogeneous coordinates.
std::array<double, 4> Apply(const Mat4 &a, const Vec3 &p)
{
    std::array<double, 4> out{};
    for (int r = 0; r < 4; ++r) {
        out[r] = a.m[r][0] * p.x + a.m[r][1] * p.y + a.m[r][2] * p.z + a.m[r][3];
    }
    return out;
}

} // namespace

const std::array<Vec3, 3> kCorners = {
    {{-0.7f, 0.0f, -0.5f}, {0.7f, 0.0f, -0.5f}, {0.0f, 0.0f, 0.5f}}};
const std::array<Rgb, 3> kCornerColours = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

Mat4 Identity()
{
    Mat4 out{};
    for (int i = 0; i < 4; ++i) {
        out.m[i][i] = 1.0;
    }
    return out;
}

Mat4 Multiply(const Mat4 &a, const Mat4 &b)
{
    Mat4 out{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            for (int k = 0; k < 4; ++k) {
                out.m[r][c] += a.m[r][k] * b.m[k][c];
            }
        }
    }
    return out;
}

Mat4 Translation(double x, double y, double z)
{
    Mat4 out = Identity();
    out.m[0][3] = x;
    out.m[1][3] = y;
    out.m[2][3] = z;
    return out;
}

Mat4 Rotation(double degrees, double ax, double ay, double az)
{
    const double length = std::sqrt(ax * ax + ay * ay + az * az);
    const double x = ax / length, y = ay / length, z = az / length;
    const double c = std::cos(degrees * kPi / 180.0), s = std::sin(degrees * kPi / 180.0);
    const double t = 1.0 - c;
    // Rodrigues' formula, written out.
    Mat4 out = Identity();
    out.m[0][0] = t * x * x + c;
    out.m[0][1] = t * x * y - s * z;
    out.m[0][2] = t * x * z + s * y;
    out.m[1][0] = t * x * y + s * z;
    out.m[1][1] = t * y * y + c;
    out.m[1][2] = t * y * z - s * x;
    out.m[2][0] = t * x * z - s * y;
    out.m[2][1] = t * y * z + s * x;
    out.m[2][2] = t * z * z + c;
    return out;
}

Mat4 Perspective(double fovyDegrees, double aspect, double zNear, double zFar)
{
    const double f = 1.0 / std::tan(fovyDegrees * kPi / 360.0);
    Mat4 out{};
    out.m[0][0] = f / aspect;
    out.m[1][1] = f;
    out.m[2][2] = (zFar + zNear) / (zNear - zFar);
    out.m[2][3] = 2.0 * zFar * zNear / (zNear - zFar);
    out.m[3][2] = -1.0;
    return out;
}

Mat4 FromColumnMajor(const float values[16])
{
    Mat4 out{};
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            out.m[r][c] = values[c * 4 + r];
        }
    }
    return out;
}

std::vector<float> PhaseSequence(int frames)
{
    std::vector<float> phases;
    float phase = 0.0f;
    for (int n = 0; n < frames; ++n) {
        phases.push_back(phase);
        phase += 0.0005f;
    }
    return phases;
}

std::vector<Mat4> TowerLevels(float phase)
{
    std::vector<Mat4> levels;
    Mat4 current = Translation(0.0, -2.0, -5.0);
    levels.push_back(current);
    // The scale runs down in float, as the tower's own loop counts it, so the
    // number of levels is the one the float comparison gives. The lift and
    // the twist are the floats the program hands the GL.
    float s = 4.0f;
    while (s > 0.01f) {
        const float twist = static_cast<float>(
            std::sin(static_cast<double>(phase) * static_cast<double>(s)) * 720.0);
        current = Multiply(current, Translation(0.0, static_cast<double>(0.1f), 0.0));
        current = Multiply(current, Rotation(twist, 0.0, 1.0, 0.0));
        current = Multiply(current, Rotation(10.0, 0.0, 0.0, 1.0));
        levels.push_back(current);
        s *= 0.75f;
    }
    return levels;
}

Mat4 TowerProjection(int width, int height)
{
    return Perspective(45.0, static_cast<double>(width) / static_cast<double>(height),
                       static_cast<double>(0.2f), 255.0);
}

Scene::Scene(int width, int height, const Mat4 &projection, const std::vector<Mat4> &levels)
    : width_(width), height_(height), projection_(projection), levels_(levels)
{
    for (const Mat4 &level : levels) {
        std::array<Vec3, 3> eye{};
        for (int i = 0; i < 3; ++i) {
            const std::array<double, 4> p = Apply(level, kCorners[i]);
            eye[i] = {p[0], p[1], p[2]};
        }
        eyeCorners_.push_back(eye);
    }
}

std::vector<Hit> Scene::Cast(double x, double y) const
{
    // The ray from the eye through the window point, for a symmetric frustum.
    const double ndcX = 2.0 * x / width_ - 1.0;
    const double ndcY = 2.0 * y / height_ - 1.0;
    const Vec3 dir = {ndcX / projection_.m[0][0], ndcY / projection_.m[1][1], -1.0};

    std::vector<Hit> hits;
    for (size_t level = 0; level < eyeCorners_.size(); ++level) {
        const std::array<Vec3, 3> &v = eyeCorners_[level];
        // Moller-Trumbore: the ray origin is the eye, at 0.
        const Vec3 e1 = Sub(v[1], v[0]);
        const Vec3 e2 = Sub(v[2], v[0]);
        const Vec3 p = Cross(dir, e2);
        const double det = Dot(e1, p);
        if (std::fabs(det) < 1e-12) {
            continue;
        }
        const Vec3 toOrigin = {-v[0].x, -v[0].y, -v[0].z};
        const double u = Dot(toOrigin, p) / det;
        if (u < 0.0 || u > 1.0) {
            continue;
        }
        const Vec3 q = Cross(toOrigin, e1);
        const double w = Dot(dir, q) / det;
        if (w < 0.0 || u + w > 1.0) {
            continue;
        }
        const double t = Dot(e2, q) / det;
        const double zEye = -t;
        const double ndcZ = (projection_.m[2][2] * zEye + projection_.m[2][3]) / -zEye;
        if (t <= 0.0 || ndcZ < -1.0 || ndcZ > 1.0) {
            continue;
        }
        const double b0 = 1.0 - u - w;
        const Rgb &c0 = kCornerColours[0], &c1 = kCornerColours[1], &c2 = kCornerColours[2];
        hits.push_back({static_cast<int>(level),
                        0.5 * ndcZ + 0.5,
                        {b0 * c0.r + u * c1.r + w * c2.r, b0 * c0.g + u * c1.g + w * c2.g,
                         b0 * c0.b + u * c1.b + w * c2.b}});
    }
    return hits;
}

Vec3 Scene::Project(int level, const Vec3 &point) const
{
    const Mat4 toClip = Multiply(projection_, levels_[static_cast<size_t>(level)]);
    const std::array<double, 4> clip = Apply(toClip, point);
    return {(clip[0] / clip[3] + 1.0) * 0.5 * width_, (clip[1] / clip[3] + 1.0) * 0.5 * height_,
            (clip[2] / clip[3] + 1.0) * 0.5};
}

std::optional<Hit> Front(const std::vector<Hit> &hits)
{
    std::optional<Hit> front;
    for (const Hit &hit : hits) {
        if (!front || hit.winZ <= front->winZ) {
            front = hit;
        }
    }
    return front;
}

std::optional<Hit> Last(const std::vector<Hit> &hits)
{
    if (hits.empty()) {
        return std::nullopt;
    }
    return hits.back();
}

bool Settled(const Scene &scene, int x, int y, double minDepthGap, std::vector<Hit> *centreHits)
{
    std::vector<Hit> ownHits;
    std::vector<Hit> &centre = centreHits ? *centreHits : ownHits;
    centre = scene.Cast(x + 0.5, y + 0.5);
    const std::optional<Hit> front = Front(centre);
    const std::optional<Hit> last = Last(centre);
    const int frontLevel = front ? front->level : -1;
    const int lastLevel = last ? last->level : -1;
    for (const Hit &hit : centre) {
        if (hit.level != frontLevel && hit.winZ - front->winZ < minDepthGap) {
            return false;
        }
    }
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (dx == 0 && dy == 0) {
                continue;
            }
            const std::vector<Hit> near = scene.Cast(x + 0.5 + dx, y + 0.5 + dy);
            const std::optional<Hit> nearFront = Front(near);
            const std::optional<Hit> nearLast = Last(near);
            if ((nearFront ? nearFront->level : -1) != frontLevel ||
                (nearLast ? nearLast->level : -1) != lastLevel) {
                return false;
            }
        }
    }
    return true;
}

} // namespace towermodel
