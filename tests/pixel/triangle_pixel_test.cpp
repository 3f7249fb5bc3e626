// One triangle through the real projection: its corners keep their colours,
// its middle is an even blend, and nothing else is painted.
#include "pixel_fixture.h"
#include "renderer.h"
#include "tower_model.h"

#include <GL/gl.h>

#include <cmath>
#include <vector>

namespace {

class PixelTriangle : public PixelTest {};

const int kWidth = 640;
const int kHeight = 480;

// The triangle's own placement for this frame: tipped 60 degrees towards the
// eye and pushed back, so all of it is on screen and large (about 300 pixels
// across). In the tower the base is nearly edge-on and mostly covered.
const float kShiftY = -0.3f;
const float kShiftZ = -2.5f;
const float kTipDegrees = 60.0f;

// The point that weighs corner `dominant` by `weight` and the other two evenly.
towermodel::Vec3 Blend(int dominant, double weight)
{
    towermodel::Vec3 point = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const double w = i == dominant ? weight : (1.0 - weight) / 2.0;
        point.x += w * towermodel::kCorners[i].x;
        point.y += w * towermodel::kCorners[i].y;
        point.z += w * towermodel::kCorners[i].z;
    }
    return point;
}

} // namespace

TEST_F(PixelTriangle, CornersCentroidAndBackgroundUnderTheRealProjection)
{
    OpenContext(kWidth, kHeight);
    if (IsSkipped()) {
        return;
    }
    ResizeViewport(kWidth, kHeight);
    InitRenderState();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glTranslatef(0.0f, kShiftY, kShiftZ);
    glRotatef(kTipDegrees, 1.0f, 0.0f, 0.0f);
    DrawTriangle();
    const Frame frame = ReadFrame();
    const Tolerance tolerance = Tolerances();

    const towermodel::Mat4 model =
        towermodel::Multiply(towermodel::Translation(0.0, kShiftY, kShiftZ),
                             towermodel::Rotation(kTipDegrees, 1.0, 0.0, 0.0));
    const towermodel::Scene scene(kWidth, kHeight, towermodel::TowerProjection(kWidth, kHeight),
                                  {model});

    // Near each corner (80% its own colour) the pixel shows that corner's
    // colour: the ray-cast blend within tolerance, and that channel on top.
    // Ten percent of the triangle from the edges keeps these well clear of
    // rasterisation at the boundary.
    const char *names[] = {"red", "green", "blue"};
    for (int corner = 0; corner < 3; ++corner) {
        SCOPED_TRACE(names[corner]);
        const towermodel::Vec3 at = scene.Project(0, Blend(corner, 0.8));
        const int x = static_cast<int>(at.x), y = static_cast<int>(at.y);
        std::vector<towermodel::Hit> hits;
        ASSERT_TRUE(towermodel::Settled(scene, x, y, 0.0, &hits)) << "sample " << x << ", " << y;
        const std::optional<towermodel::Hit> hit = towermodel::Front(hits);
        ASSERT_TRUE(hit.has_value());
        const towermodel::Rgb got = frame.ColourAt(x, y);
        EXPECT_TRUE(ColourNear(got, hit->colour, tolerance.colour)) << "at " << x << ", " << y;
        for (int other = 0; other < 3; ++other) {
            if (other != corner) {
                EXPECT_GT(Channel(got, corner), Channel(got, other) + 0.5)
                    << names[other] << " rivals " << names[corner] << " at " << x << ", " << y;
            }
        }
        EXPECT_NEAR(frame.DepthAt(x, y), hit->winZ, tolerance.depth) << "at " << x << ", " << y;
    }

    // At the centroid the three colours meet evenly. The nearest pixel centre
    // is within 0.71 pixels of it, which on a triangle this size moves each
    // weight by under 0.01; hence 0.01 beyond the read-back tolerance.
    {
        const towermodel::Vec3 at = scene.Project(0, Blend(0, 1.0 / 3.0));
        const int x = static_cast<int>(at.x), y = static_cast<int>(at.y);
        const towermodel::Rgb got = frame.ColourAt(x, y);
        const towermodel::Rgb even = {1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0};
        const towermodel::Rgb loose = {tolerance.colour.r + 0.01, tolerance.colour.g + 0.01,
                                       tolerance.colour.b + 0.01};
        EXPECT_TRUE(ColourNear(got, even, loose)) << "centroid at " << x << ", " << y;
        const std::optional<towermodel::Hit> hit = towermodel::Front(scene.Cast(x + 0.5, y + 0.5));
        ASSERT_TRUE(hit.has_value());
        EXPECT_TRUE(ColourNear(got, hit->colour, tolerance.colour)) << "centroid";
    }

    // The clear colour is black, which 565 holds exactly; nothing reaches the
    // corners of the frame.
    const int cornersX[] = {0, kWidth - 1};
    const int cornersY[] = {0, kHeight - 1};
    for (int x : cornersX) {
        for (int y : cornersY) {
            const towermodel::Rgb got = frame.ColourAt(x, y);
            EXPECT_EQ(got.r, 0.0) << "corner " << x << ", " << y;
            EXPECT_EQ(got.g, 0.0) << "corner " << x << ", " << y;
            EXPECT_EQ(got.b, 0.0) << "corner " << x << ", " << y;
            EXPECT_EQ(frame.DepthAt(x, y), 1.0) << "corner " << x << ", " << y;
        }
    }
}
