// Whole tower frames from DrawScene, pixel by pixel against the ray-cast
// tower: colours, depths, the base's corner colours and the depth test.
#include "pixel_fixture.h"
#include "renderer.h"
#include "tower_model.h"

#include <GL/gl.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

class PixelScene : public PixelTest {
  protected:
    // Draw one frame at `phase` after the set-up calls the program makes,
    // optionally with the depth test switched off.
    Frame DrawFrame(float phase, bool depthTest)
    {
        ResizeViewport(width_, height_);
        InitRenderState();
        if (!depthTest) {
            glDisable(GL_DEPTH_TEST);
        }
        g_phase = phase;
        DrawScene();
        return ReadFrame();
    }

    towermodel::Scene Oracle(float phase) const
    {
        return towermodel::Scene(width_, height_, towermodel::TowerProjection(width_, height_),
                                 towermodel::TowerLevels(phase));
    }

    // Samples are trusted only where the nearest triangle beats the next by
    // 32 steps of a 16-bit depth buffer: the GL rounds depth to a step and
    // snaps vertices to sub-pixels, and near where two levels cut through
    // each other either may win.
    static constexpr double kDepthGap = 32.0 / 65535.0;
};

struct FrameCase {
    int width;
    int height;
    float phase;
};

std::string Where(int x, int y)
{
    std::ostringstream text;
    text << "(" << x << ", " << y << ")";
    return text.str();
}

} // namespace

TEST_F(PixelScene, FramesMatchTheRayCastTower)
{
    // The first frame (no twist), the phase after 2,000 and 20,000 frames,
    // and one between; the last also at a 16:9 size.
    const FrameCase cases[] = {
        {640, 480, 0.0f}, {640, 480, 1.0000187f}, {640, 480, 0.37f}, {480, 270, 10.000319f}};
    for (const FrameCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", phase " << c.phase);
        OpenContext(c.width, c.height);
        if (IsSkipped()) {
            return;
        }
        const Frame frame = DrawFrame(c.phase, true);
        const Tolerance tolerance = Tolerances();
        const towermodel::Scene scene = Oracle(c.phase);

        int covered = 0, background = 0;
        std::vector<std::string> wrong;
        for (int y = 0; y < c.height; y += 3) {
            for (int x = 0; x < c.width; x += 3) {
                std::vector<towermodel::Hit> hits;
                if (!towermodel::Settled(scene, x, y, kDepthGap, &hits)) {
                    continue;
                }
                const std::optional<towermodel::Hit> front = towermodel::Front(hits);
                const towermodel::Rgb expected = front ? front->colour : towermodel::Rgb{0, 0, 0};
                const double depth = front ? front->winZ : 1.0;
                (front ? covered : background)++;
                const ::testing::AssertionResult colour =
                    ColourNear(frame.ColourAt(x, y), expected, tolerance.colour);
                if (!colour) {
                    wrong.push_back(Where(x, y) + ": " + colour.message());
                } else if (std::fabs(frame.DepthAt(x, y) - depth) > tolerance.depth) {
                    wrong.push_back(Where(x, y) + ": depth " + std::to_string(frame.DepthAt(x, y)) +
                                    ", expected " + std::to_string(depth));
                }
            }
        }
        // Enough of both that the frame cannot pass by being mostly empty or
        // by the oracle trusting almost nothing.
        EXPECT_GT(covered, 400);
        EXPECT_GT(background, 5000);
        EXPECT_TRUE(wrong.empty()) << wrong.size() << " of " << covered + background
                                   << " samples differ; first: " << wrong.front();
    }
}

TEST_F(PixelScene, BaseShowsEachCornerColourNearThatCorner)
{
    // Most of the base lies under the levels above it and its blue corner is
    // below the frame (the near corner projects to y = -17.5 at any aspect),
    // so each corner is probed at the nearest pixel where the base itself is
    // the visible surface, and only if that pixel is still mostly that
    // corner's colour. The centroid is never visible here; the single
    // triangle test checks it.
    const int width = 640, height = 480;
    OpenContext(width, height);
    if (IsSkipped()) {
        return;
    }
    const Frame frame = DrawFrame(0.0f, true);
    const Tolerance tolerance = Tolerances();
    const towermodel::Scene scene = Oracle(0.0f);

    const char *names[] = {"red", "green", "blue"};
    for (int corner = 0; corner < 3; ++corner) {
        SCOPED_TRACE(names[corner]);
        const towermodel::Vec3 at = scene.Project(0, towermodel::kCorners[corner]);
        const double cx = std::fmin(std::fmax(at.x, 0.0), width - 1.0);
        const double cy = std::fmin(std::fmax(at.y, 0.0), height - 1.0);
        int bestX = -1, bestY = -1;
        double best = 1e9;
        const int radius = 40;
        for (int y = static_cast<int>(cy) - radius; y <= static_cast<int>(cy) + radius; ++y) {
            for (int x = static_cast<int>(cx) - radius; x <= static_cast<int>(cx) + radius; ++x) {
                if (x < 0 || y < 0 || x >= width || y >= height) {
                    continue;
                }
                const double distance = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
                std::vector<towermodel::Hit> hits;
                if (distance >= best || !towermodel::Settled(scene, x, y, kDepthGap, &hits)) {
                    continue;
                }
                const std::optional<towermodel::Hit> front = towermodel::Front(hits);
                if (front && front->level == 0 && Channel(front->colour, corner) > 0.6) {
                    best = distance;
                    bestX = x;
                    bestY = y;
                }
            }
        }
        ASSERT_GE(bestX, 0) << "no visible base pixel near the corner at "
                            << Where(static_cast<int>(cx), static_cast<int>(cy));
        const towermodel::Rgb got = frame.ColourAt(bestX, bestY);
        EXPECT_GT(Channel(got, corner), 0.6 - tolerance.colour.r) << "at " << Where(bestX, bestY);
        for (int other = 0; other < 3; ++other) {
            if (other != corner) {
                EXPECT_GT(Channel(got, corner), Channel(got, other) + 0.2)
                    << names[other] << " rivals it at " << Where(bestX, bestY);
            }
        }
    }
}

TEST_F(PixelScene, DepthTestKeepsTheNearestLevelNotTheLastDrawn)
{
    // Where a later level passes behind an earlier one, only a working depth
    // test (GL_LEQUAL against a cleared 1.0) keeps the earlier level's colour.
    // The same samples drawn with the depth test off must show the later
    // level instead, which proves they tell the two apart.
    const int width = 640, height = 480;
    const float phases[] = {0.0f, 10.000319f};
    for (float phase : phases) {
        SCOPED_TRACE(testing::Message() << "phase " << phase);
        OpenContext(width, height);
        if (IsSkipped()) {
            return;
        }
        const towermodel::Scene scene = Oracle(phase);
        struct Probe {
            int x, y;
            towermodel::Rgb front, last;
            double frontDepth;
        };
        std::vector<Probe> probes;
        for (int y = 0; y < height; y += 2) {
            for (int x = 0; x < width; x += 2) {
                std::vector<towermodel::Hit> hits;
                if (!towermodel::Settled(scene, x, y, kDepthGap, &hits)) {
                    continue;
                }
                const std::optional<towermodel::Hit> front = towermodel::Front(hits);
                const std::optional<towermodel::Hit> last = towermodel::Last(hits);
                if (!front || front->level == last->level) {
                    continue;
                }
                // A quarter of full scale is several times any tolerance.
                const bool distinct = std::fabs(front->colour.r - last->colour.r) > 0.25 ||
                                      std::fabs(front->colour.g - last->colour.g) > 0.25 ||
                                      std::fabs(front->colour.b - last->colour.b) > 0.25;
                if (distinct) {
                    probes.push_back({x, y, front->colour, last->colour, front->winZ});
                }
            }
        }
        ASSERT_GT(probes.size(), 50u) << "too few overlaps to judge the depth test";

        const Frame tested = DrawFrame(phase, true);
        const Tolerance tolerance = Tolerances();
        int nearest = 0;
        for (const Probe &probe : probes) {
            const bool ok =
                ColourNear(tested.ColourAt(probe.x, probe.y), probe.front, tolerance.colour) &&
                std::fabs(tested.DepthAt(probe.x, probe.y) - probe.frontDepth) <= tolerance.depth;
            nearest += ok ? 1 : 0;
        }
        EXPECT_EQ(nearest, static_cast<int>(probes.size()))
            << "samples showing the nearest level with the depth test on";

        const Frame untested = DrawFrame(phase, false);
        int lastDrawn = 0;
        for (const Probe &probe : probes) {
            lastDrawn +=
                ColourNear(untested.ColourAt(probe.x, probe.y), probe.last, tolerance.colour) ? 1
                                                                                              : 0;
        }
        EXPECT_EQ(lastDrawn, static_cast<int>(probes.size()))
            << "samples showing the last level drawn with the depth test off";
    }
}
