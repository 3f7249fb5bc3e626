// The GL 1.1 and GLU calls the renderer makes (tests/support/gl_functions.h),
// as functions that do nothing, so that a benchmark can time the renderer's
// own work. Including the real headers makes the compiler hold every
// definition to the real signature.
#include <GL/gl.h>
#include <GL/glu.h>

namespace {

template <typename... A> void Ignore(A... /*arguments*/) {}

} // namespace

#define TOWER_GL_FUNCTION(name, parameters, arguments)                                             \
    void GLAPIENTRY name parameters                                                                \
    {                                                                                              \
        Ignore arguments;                                                                          \
    }
#include "gl_functions.h"
#undef TOWER_GL_FUNCTION
