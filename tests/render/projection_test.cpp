// The projection and render state, as the GL call stream shows them.
#include "gl_recorder.h"
#include "renderer.h"

#include <gtest/gtest.h>

#include <vector>

using glrec::Call;
using glrec::Fn;

namespace {

// The near plane as the float it always was, widened.
constexpr double kNear = 0.20000000298023224;

std::vector<Call> ExpectedResize(int vw, int vh, double aspect)
{
    return {
        glrec::MakeI(Fn::glViewport, 0, 0, vw, vh),
        glrec::MakeI(Fn::glMatrixMode, GL_PROJECTION),
        glrec::Make(Fn::glLoadIdentity),
        glrec::MakeD(Fn::gluPerspective, 45.0, aspect, kNear, 255.0),
        glrec::MakeI(Fn::glMatrixMode, GL_MODELVIEW),
        glrec::Make(Fn::glLoadIdentity),
    };
}

void ExpectCalls(const std::vector<Call> &expected)
{
    const std::vector<Call> &calls = glrec::Calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i], expected[i]) << "call " << i << ": got " << glrec::Describe(calls[i])
                                         << ", expected " << glrec::Describe(expected[i]);
    }
}

struct ResizeCase {
    int width;
    int height;
    int viewportHeight;
    double aspect;
};

TEST(ProjectionTest, ResizeViewportClampsHeightAndLeavesModelViewIdentity)
{
    const ResizeCase cases[] = {
        {640, 480, 480, 640.0 / 480.0},
        {1920, 1080, 1080, 1920.0 / 1080.0},
        {800, 0, 1, 800.0},  // collapsed client area
        {800, -5, 1, 800.0}, // signed test, not just zero
        {0, 600, 600, 0.0},  // width is never clamped
        {0, 0, 1, 0.0},      // minimised
        {65535, 65535, 65535, 1.0},
    };
    for (const ResizeCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        glrec::Reset();
        // Leave the state as the scene would: model-view moved away from identity.
        glTranslatef(1, 2, 3);
        glrec::Reset();
        glMatrixMode(GL_PROJECTION);
        glrec::Reset();
        ResizeViewport(c.width, c.height);
        ExpectCalls(ExpectedResize(c.width, c.viewportHeight, c.aspect));
        EXPECT_EQ(glrec::CurrentMatrixMode(), static_cast<GLenum>(GL_MODELVIEW));
        EXPECT_TRUE(glrec::ModelViewIsIdentity());
    }
}

TEST(ProjectionTest, AspectIsDividedInDouble)
{
    // 1366 / 768 rounded to float differs from the double quotient.
    glrec::Reset();
    ResizeViewport(1366, 768);
    const Call &perspective = glrec::Calls().at(3);
    ASSERT_EQ(perspective.fn, Fn::gluPerspective);
    EXPECT_EQ(perspective.D(1), 1366.0 / 768.0);
    EXPECT_NE(perspective.D(1), static_cast<double>(1366.0f / 768.0f));
    EXPECT_EQ(perspective.D(2), static_cast<double>(0.2f));
    EXPECT_NE(perspective.D(2), 0.2);
}

TEST(ProjectionTest, InitRenderStateSetsExactlyTheSceneState)
{
    glrec::Reset();
    InitRenderState();
    ExpectCalls({
        glrec::MakeF(Fn::glClearColor, 0, 0, 0, 0),
        glrec::MakeD(Fn::glClearDepth, 1.0),
        glrec::MakeI(Fn::glEnable, GL_DEPTH_TEST),
        glrec::MakeI(Fn::glDepthFunc, GL_LEQUAL),
        glrec::MakeI(Fn::glShadeModel, GL_SMOOTH),
        glrec::MakeI(Fn::glHint, GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST),
    });
}

} // namespace
