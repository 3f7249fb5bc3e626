// Context set-up and read-back for the pixel tests.
#include "pixel_fixture.h"

#include "offscreen_context.h"

#include <GL/gl.h>

#include <cmath>
#include <iostream>
#include <string>

towermodel::Rgb Frame::ColourAt(int x, int y) const
{
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

double Frame::DepthAt(int x, int y) const
{
    return depth[static_cast<size_t>(y) * static_cast<size_t>(width) + x];
}

void PixelTest::OpenContext(int width, int height)
{
    std::string description, why;
    if (!offscreen::Open(width, height, &description, &why)) {
        GTEST_SKIP() << "SKIPPED: no offscreen OpenGL context: " << why;
    }
    // Said once per run, so the log shows which buffer the figures came from.
    static bool told = false;
    if (!told) {
        std::cout << "[ offscreen] " << description << std::endl;
        told = true;
    }
    RecordProperty("offscreen", description);
    width_ = width;
    height_ = height;
}

void PixelTest::TearDown()
{
    offscreen::Close();
}

Frame PixelTest::ReadFrame() const
{
    Frame frame;
    frame.width = width_;
    frame.height = height_;
    frame.rgb.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
    frame.depth.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_));
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_FLOAT, frame.rgb.data());
    glReadPixels(0, 0, width_, height_, GL_DEPTH_COMPONENT, GL_FLOAT, frame.depth.data());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "reading the frame back";
    return frame;
}

Tolerance PixelTest::Tolerances() const
{
    GLint red = 0, green = 0, blue = 0, depth = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    // A channel of n bits holds multiples of 1 / (2^n - 1): 1/31 for red and
    // blue and 1/63 for green in 565. Rounding would cost half a step, but
    // llvmpipe truncates when it packs 565 (errors of 0.9 of a step show up),
    // so a whole step is allowed. The 0.005 on top is for the rasteriser's
    // sub-pixel snapping of the vertices, which shifts a blend by far less.
    auto step = [](GLint bits) { return 1.0 / (std::ldexp(1.0, bits) - 1.0); };
    Tolerance tolerance;
    tolerance.colour = {step(red) + 0.005, step(green) + 0.005, step(blue) + 0.005};
    // Depth is interpolated in float and rounded to fixed point, half a step
    // off at worst when measured; three steps still catch any wrong plane,
    // since the tests only trust samples whose layers are 32 steps apart.
    tolerance.depth = 3.0 * step(depth);
    return tolerance;
}

double Channel(const towermodel::Rgb &colour, int i)
{
    return i == 0 ? colour.r : i == 1 ? colour.g : colour.b;
}

::testing::AssertionResult ColourNear(const towermodel::Rgb &got, const towermodel::Rgb &expected,
                                      const towermodel::Rgb &tolerance)
{
    if (std::fabs(got.r - expected.r) <= tolerance.r &&
        std::fabs(got.g - expected.g) <= tolerance.g &&
        std::fabs(got.b - expected.b) <= tolerance.b) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "got (" << got.r << ", " << got.g << ", " << got.b << "), expected (" << expected.r
           << ", " << expected.g << ", " << expected.b << ") within (" << tolerance.r << ", "
           << tolerance.g << ", " << tolerance.b << ")";
}
