// The set-up failure boxes on a real X server that has no GLX, bare and under
// a window manager: each one is shown where the user can read it, on top and
// with the focus, with its caption in its face where no window manager draws
// a title bar; Return dismisses it, and the program then ends with exit code 1.
// On sway with no EGL driver, natively, the same boxes come up on sway's
// Xwayland.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "tower_session.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <thread>

namespace {

using e2e::Desktop;
using e2e::TowerSession;

class MessageBoxOn : public ::testing::TestWithParam<Desktop> {};

INSTANTIATE_TEST_SUITE_P(Desktops, MessageBoxOn,
                         ::testing::Values(Desktop::kXvfb, Desktop::kOpenbox),
                         [](const auto &info) { return e2e::DesktopName(info.param); });

struct Box {
    const char *caption;
    const char *text;
};

// With no GLX no pixel format can be found or set, and no context made; the
// program carries on past each failure, as it does on Windows.
constexpr Box kBoxes[] = {
    {"Pixel Format Error", "Failed to find pixel format"},
    {"Pixel Format Error", "Failed to Set Pixel Format"},
    {"OpenGL Rendering Context Error", "Failed to Create the OpenGL Rendering Context"},
};

// A text's ink as the server draws it in the "fixed" font the boxes use:
// dark or not, row by row.
struct Ink {
    int width = 0;
    int height = 0;
    std::vector<bool> dark;
};

Ink InkOf(Display *x, const std::string &text)
{
    Ink ink;
    XFontStruct *font = XLoadQueryFont(x, "fixed");
    if (!font) {
        return ink;
    }
    const int length = static_cast<int>(text.size());
    ink.width = XTextWidth(font, text.c_str(), length);
    ink.height = font->ascent + font->descent;
    const int screen = DefaultScreen(x);
    Pixmap pixmap = XCreatePixmap(x, DefaultRootWindow(x), static_cast<unsigned>(ink.width),
                                  static_cast<unsigned>(ink.height),
                                  static_cast<unsigned>(DefaultDepth(x, screen)));
    GC gc = XCreateGC(x, pixmap, 0, nullptr);
    XSetForeground(x, gc, WhitePixel(x, screen));
    XFillRectangle(x, pixmap, gc, 0, 0, static_cast<unsigned>(ink.width),
                   static_cast<unsigned>(ink.height));
    XSetForeground(x, gc, BlackPixel(x, screen));
    XSetFont(x, gc, font->fid);
    XDrawString(x, pixmap, gc, 0, font->ascent, text.c_str(), length);
    XImage *image = XGetImage(x, pixmap, 0, 0, static_cast<unsigned>(ink.width),
                              static_cast<unsigned>(ink.height), AllPlanes, ZPixmap);
    for (int y = 0; image && y < ink.height; ++y) {
        for (int col = 0; col < ink.width; ++col) {
            ink.dark.push_back(XGetPixel(image, col, y) == BlackPixel(x, screen));
        }
    }
    if (image) {
        XDestroyImage(image);
    }
    XFreeGC(x, gc);
    XFreePixmap(x, pixmap);
    XFreeFont(x, font);
    return ink;
}

// What the screen shows where the box is: its white face, with dark text in
// the upper half (the button is in the lower one), and whether the ink of
// the caption is there, black on white. Anything on top of the box would
// show instead.
struct Face {
    int white = 0;
    int dark = 0;
    int area = 0;
    bool showsCaption = false;
};

bool ShowsInk(const e2e::Screenshot &shot, int left, int top, int right, int bottom, const Ink &ink)
{
    for (int y = std::max(top, 0); y + ink.height <= std::min(bottom, shot.height); ++y) {
        for (int x = std::max(left, 0); x + ink.width <= std::min(right, shot.width); ++x) {
            bool same = !ink.dark.empty();
            for (int i = 0; same && i < ink.width * ink.height; ++i) {
                const unsigned rgb = shot.At(x + i % ink.width, y + i / ink.width);
                same = rgb == (ink.dark[static_cast<size_t>(i)] ? 0u : 0xFFFFFFu);
            }
            if (same) {
                return true;
            }
        }
    }
    return false;
}

Face LookAt(TowerSession &session, Window box, const Ink &caption, std::string *error)
{
    Display *x = session.X();
    XWindowAttributes attrs{};
    int left = 0;
    int top = 0;
    Window child = 0;
    e2e::Screenshot shot;
    Face face;
    if (!XGetWindowAttributes(x, box, &attrs) ||
        !XTranslateCoordinates(x, box, DefaultRootWindow(x), 0, 0, &left, &top, &child) ||
        !session.Grab(&shot, error)) {
        return face;
    }
    for (int y = std::max(top, 0); y < std::min(top + attrs.height, shot.height); ++y) {
        for (int x = std::max(left, 0); x < std::min(left + attrs.width, shot.width); ++x) {
            const unsigned rgb = shot.At(x, y);
            face.white += rgb == 0xFFFFFF;
            face.dark += rgb == 0 && y < top + attrs.height / 2;
        }
    }
    face.area = attrs.width * attrs.height;
    face.showsCaption = ShowsInk(shot, left, top, left + attrs.width, top + attrs.height, caption);
    return face;
}

bool Readable(const Face &face)
{
    return face.area > 0 && face.white > face.area * 7 / 10 && face.dark > 100;
}

TEST_P(MessageBoxOn, EachBoxIsShownOnTopFocusedAndReturnDismissesIt)
{
    TowerSession session(GetParam());
    std::string error;
    ASSERT_TRUE(session.StartWithoutGlx(800, 600, &error)) << error;
    Display *x = session.X();
    std::string said = "tower: the X server offers no GLX 1.3; OpenGL cannot be used\n";
    // A window manager shows the caption in the title bar it draws.
    const bool captionInFace = GetParam() == Desktop::kXvfb;
    for (const Box &expected : kBoxes) {
        SCOPED_TRACE(expected.text);
        const Ink caption = InkOf(x, expected.caption);
        ASSERT_FALSE(caption.dark.empty()) << "the server has no \"fixed\" font";
        said += std::string(expected.caption) + ": " + expected.text + "\n";
        Window box = e2e::WaitForViewableWindow(x, expected.caption, 10000);
        ASSERT_NE(box, 0u) << "no box; stderr: " << session.Stderr();
        EXPECT_EQ(session.Stderr(), said);
        if (GetParam() == Desktop::kOpenbox) {
            // Minimised, with no taskbar to restore it from, it would be out
            // of reach while the program waits on it: it must come back.
            XIconifyWindow(x, box, DefaultScreen(x));
            for (int waited = 0; waited < 2000 && box; waited += 20) {
                box = e2e::WaitForViewableWindow(x, expected.caption, 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            ASSERT_EQ(box, 0u) << "the window manager did not minimise it";
            box = e2e::WaitForViewableWindow(x, expected.caption, 5000);
            ASSERT_NE(box, 0u) << "the box stayed minimised";
        }
        EXPECT_EQ(e2e::WaitForFocus(x, box, 2000), box) << "the box does not have the focus";
        // It is drawn once the server has exposed it.
        Face face;
        for (int waited = 0; waited < 2000 && !Readable(face); waited += 50) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            face = LookAt(session, box, caption, &error);
        }
        EXPECT_TRUE(Readable(face)) << face.white << " white and " << face.dark
                                    << " dark pixels over its " << face.area << " " << error;
        EXPECT_EQ(face.showsCaption, captionInFace);

        ASSERT_TRUE(session.PressKey("Return", &error)) << error;
        for (int waited = 0; waited < 2000 && e2e::WindowExists(x, box); waited += 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_FALSE(e2e::WindowExists(x, box)) << "Return did not dismiss it";
    }
    const e2e::Exit exit = session.Program().Wait(5000);
    // Set-up failed, so the program did not run: it says so, as the boxes did.
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 1) << exit.Describe();
    EXPECT_EQ(session.Stderr(), said);
}

// On Wayland the program finds no EGL driver; with no box helper on PATH its
// boxes come from the X11 backend on sway's Xwayland, where sway gives each
// the focus and Return, typed on the compositor's keyboard, dismisses it.
TEST(MessageBoxOnSway, EachBoxComesUpOnXwaylandAndReturnDismissesIt)
{
    TowerSession session(Desktop::kSway);
    std::string error;
    ASSERT_TRUE(session.StartWithFailingEgl(800, 600, &error)) << error;
    std::string said;
    std::string previous;
    const std::regex id("\"id\": ([0-9]+)");
    for (const Box &expected : kBoxes) {
        SCOPED_TRACE(expected.text);
        said += std::string(expected.caption) + ": " + expected.text + "\n";
        // The same caption twice running is two boxes: sway gives each its
        // own id.
        std::string box;
        std::smatch node;
        for (int waited = 0; waited < 10000; waited += 50) {
            box = session.Server().SwayNode("name", expected.caption, &error);
            if (std::regex_search(box, node, id) && node[1] != previous &&
                box.find("\"focused\": true") != std::string::npos) {
                break;
            }
            box.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_NE(box, "") << "no focused box; stderr: " << session.Stderr() << error;
        previous = node[1];
        EXPECT_NE(box.find("\"shell\": \"xwayland\""), std::string::npos) << box;
        const std::string text = session.Stderr();
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), said.size())), said);
        ASSERT_TRUE(session.PressKey("Return", &error)) << error;
    }
    const e2e::Exit exit = session.Program().Wait(5000);
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 1) << exit.Describe();
    // Before the boxes, EGL's own words and ours on why it failed.
    const std::string text = session.Stderr();
    EXPECT_NE(text.find("tower: cannot initialise EGL"), std::string::npos) << text;
    ASSERT_GE(text.size(), said.size()) << text;
    EXPECT_EQ(text.substr(text.size() - said.size()), said);
}

} // namespace
