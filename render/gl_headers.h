// The GL and GLU headers, included the way every platform accepts them.
#ifndef TOWER_RENDER_GL_HEADERS_H
#define TOWER_RENDER_GL_HEADERS_H

// Windows' gl.h uses WINGDIAPI and APIENTRY without defining them, so
// windows.h has to come first there.
#ifdef _WIN32
#include <windows.h>
#endif

#include <GL/gl.h>
#include <GL/glu.h>

#endif
