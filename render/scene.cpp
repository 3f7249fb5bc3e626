// The triangle tower: 22 stacked triangles, each level lifted, twisted and
// tilted relative to the one beneath it.
#include "renderer.h"

#include "gl_headers.h"

#include <cmath>

float g_phase = 0.0f;

namespace {

const float kBaseOffsetY = -2.0f;
const float kBaseOffsetZ = -5.0f;
const float kFirstScale = 4.0f;
const float kScaleFactor = 0.75f;
const float kMinScale = 0.01f;
const float kLift = 0.1f;
const double kTwistAmplitude = 720.0;
const float kTwistAxisY = 0.1f;
const float kTilt = 10.0f;
const float kPhaseStep = 0.0005f;

} // namespace

void DrawTriangle()
{
    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex3f(-0.7f, 0.0f, -0.5f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.7f, 0.0f, -0.5f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex3f(0.0f, 0.0f, 0.5f);
    glEnd();
}

void DrawScene()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, kBaseOffsetY, kBaseOffsetZ);
    DrawTriangle();

    // No matrix is pushed: every level's transform composes onto all the
    // levels beneath it, which is what curls the tower over.
    float s = kFirstScale;
    while (s > kMinScale) {
        glTranslatef(0.0f, kLift, 0.0f);
        // The product of two floats is exact in double; it must reach sin()
        // unrounded, or the angles drift from frame to frame.
        const double twist = std::sin(static_cast<double>(g_phase) * static_cast<double>(s));
        glRotatef(static_cast<float>(twist * kTwistAmplitude), 0.0f, kTwistAxisY, 0.0f);
        glRotatef(kTilt, 0.0f, 0.0f, 1.0f);
        DrawTriangle();
        // Rounded to float at every level: that is what fixes the count at 21.
        s *= kScaleFactor;
    }

    // Tied to the frame count, not a clock; at 16384 the step no longer
    // changes the float and the tower comes to rest.
    g_phase += kPhaseStep;
}
