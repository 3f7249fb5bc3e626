// What both offscreen back ends report about the buffer they ended up with.
#include "offscreen_context.h"

#include <GL/gl.h>

#include <sstream>

namespace offscreen {

std::string DescribeCurrentBuffers()
{
    GLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    const GLubyte *renderer = glGetString(GL_RENDERER);
    const GLubyte *version = glGetString(GL_VERSION);

    std::ostringstream text;
    text << "R" << red << " G" << green << " B" << blue << " A" << alpha << ", depth " << depth
         << " bits; " << (renderer ? reinterpret_cast<const char *>(renderer) : "?") << ", GL "
         << (version ? reinterpret_cast<const char *>(version) : "?");
    return text.str();
}

} // namespace offscreen
