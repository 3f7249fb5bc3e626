// The perspective projection and the fixed render state the scene expects.
#include "renderer.h"

#include "gl_headers.h"

namespace {

const double kFieldOfView = 45.0;
// The near plane is the float 0.2f, widened for gluPerspective: its value
// there is 0.20000000298023224, not 0.2.
const float kNearPlane = 0.2f;
const double kFarPlane = 255.0;

} // namespace

void ResizeViewport(int width, int height)
{
    // A minimised or collapsed window reports a height of 0; 1 keeps the
    // aspect finite. The width needs no guard: 0 just gives an aspect of 0.
    if (height <= 0) {
        height = 1;
    }
    glViewport(0, 0, width, height);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, static_cast<double>(width) / static_cast<double>(height),
                   static_cast<double>(kNearPlane), kFarPlane);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void InitRenderState()
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
}
