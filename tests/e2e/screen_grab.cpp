#include "screen_grab.h"

#include <X11/Xutil.h>

namespace e2e {

// Where a channel mask starts and how many bits it has.
struct Channel {
    unsigned long mask;
    int shift = 0;
    unsigned long max = 0;

    explicit Channel(unsigned long m) : mask(m)
    {
        if (mask == 0) {
            return;
        }
        while (((mask >> shift) & 1) == 0) {
            ++shift;
        }
        max = mask >> shift;
    }

    // The channel scaled to 0..255, rounded, so that 5- and 6-bit screens
    // compare against the same thresholds as 8-bit ones.
    unsigned Widen(unsigned long pixel) const
    {
        if (max == 0) {
            return 0;
        }
        return static_cast<unsigned>((((pixel & mask) >> shift) * 255 + max / 2) / max);
    }
};

bool GrabScreen(Display *display, Screenshot *shot, std::string *error)
{
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(display, root, &attrs)) {
        *error = "XGetWindowAttributes on the root failed";
        return false;
    }
    XImage *image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attrs.width),
                              static_cast<unsigned>(attrs.height), AllPlanes, ZPixmap);
    if (!image) {
        *error = "XGetImage on the root failed";
        return false;
    }
    Channel red(attrs.visual->red_mask);
    Channel green(attrs.visual->green_mask);
    Channel blue(attrs.visual->blue_mask);
    shot->width = attrs.width;
    shot->height = attrs.height;
    shot->depth = attrs.depth;
    shot->pixels.assign(static_cast<size_t>(attrs.width) * attrs.height, 0);
    for (int y = 0; y < attrs.height; ++y) {
        for (int x = 0; x < attrs.width; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            shot->pixels[static_cast<size_t>(y) * attrs.width + x] =
                red.Widen(p) << 16 | green.Widen(p) << 8 | blue.Widen(p);
        }
    }
    XDestroyImage(image);
    return true;
}

} // namespace e2e
