// tower_icon_frame: one frame of the tower, drawn by the program's own
// renderer into an offscreen buffer, written as a PAM image with alpha.
//
// Usage: tower_icon_frame PHASE SIZE OUT.pam
//
// The frame is SIZE x SIZE, so the projection's aspect is 1, and it sees
// twice as far each way as the program's own view from the same eye: the
// program's view cuts the base off at the bottom edge, and some phases lean
// the top out at the sides. The caller crops the tower out of it. The
// background is left transparent: the clear colour's alpha is 0 and every
// triangle is drawn with alpha 1, so the alpha channel is exactly what the
// tower covers.
#include "offscreen_context.h"
#include "renderer.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PHASE SIZE OUT.pam\n", argv[0]);
        return 2;
    }
    const float phase = std::strtof(argv[1], nullptr);
    const int size = std::atoi(argv[2]);
    if (size <= 0 || size > 8192) {
        std::fprintf(stderr, "size must be 1 to 8192, not %s\n", argv[2]);
        return 2;
    }

    std::string description, why;
    if (!offscreen::Open(size, size, &description, &why, offscreen::Colour::kRgba8888)) {
        std::fprintf(stderr, "no offscreen GL: %s\n", why.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s\n", description.c_str());
    GLint alphaBits = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    if (alphaBits < 8) {
        std::fprintf(stderr, "the offscreen buffer has %d alpha bits, 8 are needed\n", alphaBits);
        offscreen::Close();
        return 1;
    }

    ResizeViewport(size, size);
    GLfloat projection[16];
    glMatrixMode(GL_PROJECTION);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glLoadIdentity();
    glScalef(0.5f, 0.5f, 1.0f);
    glMultMatrixf(projection);
    glMatrixMode(GL_MODELVIEW);
    InitRenderState();
    g_phase = phase;
    DrawScene();
    glFinish();

    const size_t rowBytes = static_cast<size_t>(size) * 4;
    std::vector<unsigned char> pixels(rowBytes * static_cast<size_t>(size));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    const GLenum error = glGetError();
    offscreen::Close();
    if (error != GL_NO_ERROR) {
        std::fprintf(stderr, "glReadPixels failed (GL error 0x%x)\n", error);
        return 1;
    }

    std::FILE *out = std::fopen(argv[3], "wb");
    if (out == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                 size, size);
    // The GL's rows run bottom-up; the image's run top-down.
    bool written = true;
    for (int y = size - 1; y >= 0 && written; --y) {
        written =
            std::fwrite(&pixels[rowBytes * static_cast<size_t>(y)], 1, rowBytes, out) == rowBytes;
    }
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "%s: write failed\n", argv[3]);
        return 1;
    }
    return 0;
}
