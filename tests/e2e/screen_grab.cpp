#include "screen_grab.h"

#include <X11/Xutil.h>
#include <algorithm>
#include <png.h>

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

bool LoadPng(const std::string &path, Screenshot *shot, std::string *error)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        *error = path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        *error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    shot->width = static_cast<int>(image.width);
    shot->height = static_cast<int>(image.height);
    shot->depth = 24;
    shot->pixels.resize(static_cast<size_t>(shot->width) * shot->height);
    for (size_t i = 0; i < shot->pixels.size(); ++i) {
        shot->pixels[i] = static_cast<unsigned>(rgb[3 * i]) << 16 |
                          static_cast<unsigned>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    }
    return true;
}

bool AnyLit(const Screenshot &shot, int left, int width)
{
    for (int y = 0; y < shot.height; ++y) {
        for (int x = left; x < std::min(left + width, shot.width); ++x) {
            if (shot.At(x, y) != 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace e2e
