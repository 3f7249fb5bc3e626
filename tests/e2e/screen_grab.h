// The X server's own copy of the screen: what the user would see, read back
// independently of the GL that drew it.
#ifndef TOWER_TESTS_E2E_SCREEN_GRAB_H
#define TOWER_TESTS_E2E_SCREEN_GRAB_H

#include <X11/Xlib.h>
#include <string>
#include <vector>

namespace e2e {

// The screen's pixels as 0xRRGGBB values, row by row from the top, with
// each channel widened to 8 bits whatever the screen's depth.
struct Screenshot {
    int width = 0;
    int height = 0;
    int depth = 0;
    std::vector<unsigned> pixels;

    unsigned At(int x, int y) const
    {
        return pixels[static_cast<size_t>(y) * width + x];
    }
};

// The root window's pixels. Returns false, with the reason in error, when the
// grab fails.
bool GrabScreen(Display *display, Screenshot *shot, std::string *error);

// A compositor's own screenshot, saved as PNG: under Xwayland the root window
// holds no picture of the screen.
bool LoadPng(const std::string &path, Screenshot *shot, std::string *error);

// Whether any pixel in width columns from left, on every row, is other than
// black: the program has presented a frame there.
bool AnyLit(const Screenshot &shot, int left = 0, int width = 1 << 30);

} // namespace e2e

#endif
