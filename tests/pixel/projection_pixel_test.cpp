// The projection and matrix state ResizeViewport leaves in a real GL.
#include "pixel_fixture.h"
#include "renderer.h"
#include "tower_model.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// The near plane is the float 0.2f widened to double.
const double kNear = static_cast<double>(0.2f);

struct Size {
    int width;
    int height;
};

void ExpectMatrixNear(const towermodel::Mat4 &got, const towermodel::Mat4 &expected)
{
    // The GL keeps its matrices in float: each element is the double that
    // GLU computed, rounded once, so it may sit half a float ulp (2^-24
    // relative) away. 1e-6 relative is about eight ulps. A wrong field of view,
    // aspect, near or far plane moves some element by far more (a far plane
    // of 256 instead of 255 already moves element [2][2] by 6e-6).
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const double bound = 1e-6 * std::fmax(1.0, std::fabs(expected.m[r][c]));
            EXPECT_NEAR(got.m[r][c], expected.m[r][c], bound)
                << "element [" << r << "][" << c << "]";
        }
    }
}

towermodel::Mat4 ReadMatrix(GLenum which)
{
    float values[16];
    glGetFloatv(which, values);
    return towermodel::FromColumnMajor(values);
}

class PixelProjection : public PixelTest {};

} // namespace

TEST_F(PixelProjection, ResizeViewportLeavesIdentityModelViewOverOwnPerspective)
{
    OpenContext(64, 64);
    if (IsSkipped()) {
        return;
    }
    const Size sizes[] = {{640, 480}, {1920, 1080}, {1366, 768}, {64, 64}, {800, 0}, {800, -5}};
    for (const Size &size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
        // Leave both matrices disturbed, and the projection current, so that
        // nothing passes by inheriting the state of the previous call.
        glMatrixMode(GL_MODELVIEW);
        glTranslatef(1.0f, 2.0f, 3.0f);
        glMatrixMode(GL_PROJECTION);
        glRotatef(30.0f, 1.0f, 0.0f, 0.0f);

        ResizeViewport(size.width, size.height);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
        ExpectMatrixNear(ReadMatrix(GL_MODELVIEW_MATRIX), towermodel::Identity());

        const int height = size.height > 0 ? size.height : 1;
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[0], 0);
        EXPECT_EQ(viewport[1], 0);
        EXPECT_EQ(viewport[2], size.width);
        EXPECT_EQ(viewport[3], height);

        const double aspect = static_cast<double>(size.width) / static_cast<double>(height);
        ExpectMatrixNear(ReadMatrix(GL_PROJECTION_MATRIX),
                         towermodel::Perspective(45.0, aspect, kNear, 255.0));
    }
}

TEST_F(PixelProjection, ZeroWidthLeavesProjectionIdentityWithoutError)
{
    // A zero width gives gluPerspective an aspect of 0, which it declines:
    // the projection keeps the identity just loaded and the GL reports no
    // error, so the next real size recovers.
    OpenContext(64, 64);
    if (IsSkipped()) {
        return;
    }
    glMatrixMode(GL_PROJECTION);
    glRotatef(30.0f, 1.0f, 0.0f, 0.0f);
    ResizeViewport(0, 600);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ExpectMatrixNear(ReadMatrix(GL_PROJECTION_MATRIX), towermodel::Identity());
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    ResizeViewport(640, 480);
    ExpectMatrixNear(ReadMatrix(GL_PROJECTION_MATRIX),
                     towermodel::Perspective(45.0, 640.0 / 480.0, kNear, 255.0));
}
