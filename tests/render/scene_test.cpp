// The tower scene's GL call stream, checked call by call with exact bits.
#include "alloc_counter.h"
#include "gl_recorder.h"
#include "renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

using glrec::Call;
using glrec::Fn;
using glrec::MakeF;

namespace {

// A pointer the optimiser must assume is seen elsewhere, so that an
// allocation made through it is not elided.
int *volatile g_escape = nullptr;

class SceneTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        g_phase = 0.0f;
        glrec::Reset();
    }
};

void AppendTriangle(std::vector<Call> &out)
{
    out.push_back(glrec::MakeI(Fn::glBegin, GL_TRIANGLES));
    out.push_back(MakeF(Fn::glColor3f, 1, 0, 0));
    out.push_back(MakeF(Fn::glVertex3f, -0.7f, 0, -0.5f));
    out.push_back(MakeF(Fn::glColor3f, 0, 1, 0));
    out.push_back(MakeF(Fn::glVertex3f, 0.7f, 0, -0.5f));
    out.push_back(MakeF(Fn::glColor3f, 0, 0, 1));
    out.push_back(MakeF(Fn::glVertex3f, 0, 0, 0.5f));
    out.push_back(glrec::Make(Fn::glEnd));
}

// The twist angles the scene must use at a phase, reached by another road
// than the renderer's: the scale sequence is written out as the exact values
// 4 * 0.75^k rounded to float once each, and the sine is taken in long double
// and rounded to double only after.
std::vector<float> ExpectedTwists(float phase)
{
    std::vector<float> twists;
    long double exact = 4.0L;
    for (int k = 0; k < 21; ++k) {
        const float s = static_cast<float>(exact);
        const long double product = static_cast<long double>(phase) * static_cast<long double>(s);
        const auto sine = static_cast<double>(std::sin(product));
        twists.push_back(static_cast<float>(sine * 720.0));
        exact = static_cast<long double>(s) * 0.75L;
    }
    return twists;
}

std::vector<float> RecordedTwists()
{
    std::vector<float> twists;
    for (const Call &call : glrec::Calls()) {
        if (call.fn == Fn::glRotatef && call.F(2) == 0.1f) {
            twists.push_back(call.F(0));
        }
    }
    return twists;
}

std::string Printed(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.8g", static_cast<double>(v));
    return text;
}

TEST_F(SceneTest, FirstFrameIsTheExactCallSequence)
{
    std::vector<Call> expected;
    expected.push_back(glrec::MakeI(Fn::glClear, 0x4100));
    expected.push_back(glrec::Make(Fn::glLoadIdentity));
    expected.push_back(MakeF(Fn::glTranslatef, 0, -2.0f, -5.0f));
    AppendTriangle(expected);
    for (int level = 0; level < 21; ++level) {
        expected.push_back(MakeF(Fn::glTranslatef, 0, 0.1f, 0));
        expected.push_back(MakeF(Fn::glRotatef, 0, 0, 0.1f, 0));
        expected.push_back(MakeF(Fn::glRotatef, 10, 0, 0, 1));
        AppendTriangle(expected);
    }

    DrawScene();

    const std::vector<Call> &calls = glrec::Calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i], expected[i]) << "call " << i << ": got " << glrec::Describe(calls[i])
                                         << ", expected " << glrec::Describe(expected[i]);
    }
    EXPECT_EQ(g_phase, 0.0005f);
}

TEST_F(SceneTest, DrawsTwentyTwoTrianglesAtAnyPhase)
{
    const float phases[] = {0.0f, 0.0005f, 1.0f, 123.456f, 10000.0f, 16384.0f, 1.0e30f, -3.5f};
    for (float phase : phases) {
        glrec::Reset();
        g_phase = phase;
        DrawScene();
        EXPECT_EQ(glrec::Count(Fn::glBegin), 22) << "phase " << phase;
        EXPECT_EQ(glrec::Count(Fn::glEnd), 22) << "phase " << phase;
        EXPECT_EQ(glrec::Count(Fn::glRotatef), 42) << "phase " << phase;
    }
}

TEST_F(SceneTest, PhaseIsTheFloatRunningSum)
{
    float sum = 0.0f;
    for (int frame = 1; frame <= 20000; ++frame) {
        glrec::SetRecording(false);
        DrawScene();
        sum += 0.0005f;
        ASSERT_EQ(g_phase, sum) << "frame " << frame;
        if (frame == 2000) {
            EXPECT_EQ(Printed(g_phase), "1.0000187");
        }
    }
    EXPECT_EQ(Printed(g_phase), "10.000319");
    // Not the exact product: the running sum has drifted from it.
    EXPECT_NE(g_phase, 10.0f);
}

TEST_F(SceneTest, TwistAnglesAreBitExactAfterManyFrames)
{
    for (int frames : {2000, 20000}) {
        g_phase = 0.0f;
        glrec::Reset();
        glrec::SetRecording(false);
        for (int i = 0; i < frames; ++i) {
            DrawScene();
        }
        const float phase = g_phase;
        glrec::Reset();
        DrawScene();

        const std::vector<float> expected = ExpectedTwists(phase);
        const std::vector<float> got = RecordedTwists();
        ASSERT_EQ(got.size(), 21U);
        int differsFromFloatProduct = 0;
        for (int k = 0; k < 21; ++k) {
            EXPECT_EQ(got[k], expected[k]) << "level " << k << " after " << frames << " frames";
            // The same angle with the product rounded to float first: the
            // test is only worth something if that mistake would show.
            float s = 4.0f;
            for (int j = 0; j < k; ++j) {
                s *= 0.75f;
            }
            const float rounded = phase * s;
            if (static_cast<float>(std::sin(static_cast<double>(rounded)) * 720.0) != got[k]) {
                ++differsFromFloatProduct;
            }
        }
        EXPECT_GT(differsFromFloatProduct, 0) << frames << " frames";
    }
}

TEST_F(SceneTest, PhaseStopsMovingAt16384)
{
    g_phase = 16383.99f;
    glrec::SetRecording(false);
    for (int i = 0; i < 100; ++i) {
        DrawScene();
    }
    EXPECT_EQ(g_phase, 16384.0f);
    DrawScene();
    EXPECT_EQ(g_phase, 16384.0f);
}

TEST_F(SceneTest, DrawSceneAllocatesNothing)
{
    if (!alloc_counter::Available()) {
        GTEST_SKIP() << "the sanitizer's allocator replaces the counter";
    }
    // The counter must see an allocation, or a zero below proves nothing.
    alloc_counter::Start();
    g_escape = new int(1);
    delete g_escape;
    ASSERT_GE(alloc_counter::Stop(), 1);

    glrec::SetRecording(false);
    DrawScene(); // anything lazily set up happens outside the count
    alloc_counter::Start();
    for (int i = 0; i < 1000; ++i) {
        DrawScene();
    }
    EXPECT_EQ(alloc_counter::Stop(), 0);
}

} // namespace
