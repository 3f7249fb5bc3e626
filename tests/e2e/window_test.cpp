// The program's window and what it draws, seen from outside: on X its
// geometry and visual from Xlib, on sway its node in sway's tree, and pixels
// from the X server's framebuffer or the compositor's screenshot. The
// desktops are a bare X server, one under an EWMH window manager, a Wayland
// compositor's Xwayland, and weston and sway themselves.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "screen_grab.h"
#include "tower_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

using e2e::Desktop;
using e2e::TowerSession;

class TowerOn : public ::testing::TestWithParam<Desktop> {};

INSTANTIATE_TEST_SUITE_P(Desktops, TowerOn,
                         ::testing::Values(Desktop::kXvfb, Desktop::kOpenbox, Desktop::kWeston),
                         [](const auto &info) { return e2e::DesktopName(info.param); });

// Full-screen means the window covers exactly the primary monitor (the
// whole screen when there is one monitor), and asks the window manager for no
// decorations. A window manager may place it only after mapping it, so the
// geometry is given a moment to settle.
void ExpectCovers(TowerSession &session, int x0, int y0, int width, int height)
{
    Display *x = session.X();
    Window window = session.TowerWindow();
    XWindowAttributes attrs{};
    int rootX = -1;
    int rootY = -1;
    for (int waited = 0; waited < 5000; waited += 50) {
        Window child = 0;
        ASSERT_TRUE(XGetWindowAttributes(x, window, &attrs));
        ASSERT_TRUE(
            XTranslateCoordinates(x, window, DefaultRootWindow(x), 0, 0, &rootX, &rootY, &child));
        if (rootX == x0 && rootY == y0 && attrs.width == width && attrs.height == height) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(rootX, x0);
    EXPECT_EQ(rootY, y0);
    EXPECT_EQ(attrs.width, width);
    EXPECT_EQ(attrs.height, height);
    EXPECT_EQ(attrs.border_width, 0);

    Atom hintsAtom = XInternAtom(x, "_MOTIF_WM_HINTS", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    ASSERT_EQ(XGetWindowProperty(x, window, hintsAtom, 0, 5, False, AnyPropertyType, &type, &format,
                                 &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr) << "no _MOTIF_WM_HINTS: a window manager would decorate it";
    ASSERT_GE(count, 3u);
    const long *hints = reinterpret_cast<const long *>(data);
    EXPECT_NE(hints[0] & 2, 0) << "decorations flag not set";
    EXPECT_EQ(hints[2], 0) << "decorations requested";
    XFree(data);
}

TEST_P(TowerOn, ItsWindowCoversTheScreenBorderless)
{
    TowerSession session(GetParam());
    std::string error;
    ASSERT_TRUE(session.Start(1024, 768, 24, &error)) << error;
    ExpectCovers(session, 0, 0, 1024, 768);
    if (GetParam() != Desktop::kXvfb) {
        EXPECT_TRUE(
            e2e::HasNetWmState(session.X(), session.TowerWindow(), "_NET_WM_STATE_FULLSCREEN"))
            << "the window manager did not make it full-screen";
    }
    if (GetParam() == Desktop::kOpenbox) {
        EXPECT_EQ(e2e::WaitForFocus(session.X(), session.TowerWindow(), 2000),
                  session.TowerWindow())
            << "the window manager did not give it the focus";
    }
    EXPECT_EQ(session.Stderr(), "");
}

TEST(TowerWindow, CoversA16BitScreenWithA565Visual)
{
    TowerSession session;
    std::string error;
    ASSERT_TRUE(session.Start(800, 600, 16, &error)) << error;
    ExpectCovers(session, 0, 0, 800, 600);

    XWindowAttributes attrs{};
    ASSERT_TRUE(XGetWindowAttributes(session.X(), session.TowerWindow(), &attrs));
    EXPECT_EQ(attrs.depth, 16);
    EXPECT_EQ(attrs.visual->c_class, TrueColor);
    EXPECT_EQ(attrs.visual->red_mask, 0xF800u);
    EXPECT_EQ(attrs.visual->green_mask, 0x07E0u);
    EXPECT_EQ(attrs.visual->blue_mask, 0x001Fu);
    // The 16-bit mode request at the current size is accepted, so no
    // "Display Error" box reaches stderr.
    EXPECT_EQ(session.Stderr(), "");
}

TEST(TowerWindow, TakesThePrimaryOutputNotTheWholeScreen)
{
    TowerSession session;
    std::string error;
    ASSERT_TRUE(session.StartArranged(
        1280, 1024,
        [](Display *x, std::string *e) { return e2e::SetPrimaryOutput(x, 1024, 768, e); }, &error))
        << error;
    ExpectCovers(session, 0, 0, 1024, 768);
    EXPECT_EQ(session.Stderr(), "");
}

// A window's CARDINAL property, empty when it has none.
std::vector<long> Cardinals(Display *x, Window window, const char *name)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    std::vector<long> values;
    if (XGetWindowProperty(x, window, XInternAtom(x, name, False), 0, 1 << 20, False, XA_CARDINAL,
                           &type, &format, &count, &after, &data) == Success &&
        data) {
        const long *longs = reinterpret_cast<const long *>(data);
        values.assign(longs, longs + count);
        XFree(data);
    }
    return values;
}

// What a desktop reads to name the program and end it when it hangs: its
// process and host, and its icon at 16, 32 and 48 pixels, the largest the
// same picture as the installed 48-pixel PNG wherever that is opaque or
// clear.
TEST(TowerWindow, TellsTheDesktopItsProcessHostAndIcon)
{
    TowerSession session;
    std::string error;
    ASSERT_TRUE(session.Start(640, 480, 24, &error)) << error;
    Display *x = session.X();
    const Window window = session.TowerWindow();
    EXPECT_EQ(Cardinals(x, window, "_NET_WM_PID"),
              std::vector<long>{static_cast<long>(session.Program().Pid())});
    XTextProperty machine{};
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    ASSERT_TRUE(XGetWMClientMachine(x, window, &machine));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(machine.value), machine.nitems), host);
    XFree(machine.value);

    const std::vector<long> icon = Cardinals(x, window, "_NET_WM_ICON");
    size_t at = 0;
    for (long size : {16, 32, 48}) {
        ASSERT_LE(at + 2, icon.size());
        EXPECT_EQ(icon[at], size);
        EXPECT_EQ(icon[at + 1], size);
        at += 2 + static_cast<size_t>(size * size);
    }
    ASSERT_EQ(at, icon.size());
    e2e::Screenshot png;
    ASSERT_TRUE(e2e::LoadPng(TOWER_ICON_48_PNG, &png, &error)) << error;
    const long *argb = icon.data() + icon.size() - 48 * 48;
    int opaque = 0;
    for (int i = 0; i < 48 * 48; ++i) {
        const unsigned long pixel = static_cast<unsigned long>(argb[i]) & 0xFFFFFFFFUL;
        const unsigned alpha = pixel >> 24;
        // libpng lays the PNG over black: only these two compare exactly.
        if (alpha == 0xFF || alpha == 0) {
            EXPECT_EQ(alpha == 0 ? 0 : pixel & 0xFFFFFF, png.pixels[static_cast<size_t>(i)])
                << "pixel " << i % 48 << "," << i / 48;
        }
        opaque += alpha == 0xFF;
    }
    EXPECT_GT(opaque, 48 * 48 / 10) << "the icon is nearly all clear";
}

// Wait until the program has presented something other than black within
// its window's columns (the rest of a wide screen shows the root window).
bool WaitForFirstLight(TowerSession &session, e2e::Screenshot *shot, std::string *error,
                       int left = 0, int width = 1 << 30)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!session.Grab(shot, error)) {
            return false;
        }
        if (e2e::AnyLit(*shot, left, width)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *error = "the screen stayed black for 10 s";
    return false;
}

// The independent screen check, run as the separate tool it is; under a
// compositor it reads the compositor's screenshot.
void ExpectScreenShowsTower(TowerSession &session, const std::vector<std::string> &args)
{
    std::vector<std::string> argv{TOWER_SCREEN_CHECK_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    if (e2e::IsCompositor(session.Kind())) {
        e2e::Screenshot shot;
        std::string png;
        ASSERT_TRUE(session.Grab(&shot, &error, &png)) << error;
        argv.insert(argv.end(), {"--png", png});
    }
    std::string report = session.Dir() + "/screen_check.txt";
    e2e::Exit check = session.Run(argv, 30000, &error, report);
    std::string output = e2e::ReadFile(report);
    std::cout << output;
    EXPECT_TRUE(check.exited && check.byCode && check.code == 0)
        << "tower_screen_check: " << check.Describe() << " " << error << "\n"
        << output;
}

class TowerScreenOn : public ::testing::TestWithParam<Desktop> {};

INSTANTIATE_TEST_SUITE_P(Desktops, TowerScreenOn,
                         ::testing::Values(Desktop::kXvfb, Desktop::kOpenbox, Desktop::kWeston,
                                           Desktop::kWestonWayland, Desktop::kSway),
                         [](const auto &info) { return e2e::DesktopName(info.param); });

TEST_P(TowerScreenOn, TheScreenShowsTheTowerAndItMoves)
{
    TowerSession session(GetParam());
    std::string error;
    ASSERT_TRUE(session.Start(1024, 768, 24, &error)) << error;
    e2e::Screenshot first;
    ASSERT_TRUE(WaitForFirstLight(session, &first, &error)) << error;
    // Let the levels twist well away from their first-frame pose, where they
    // tell frames apart best.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ExpectScreenShowsTower(session, {"--expect-depth", "24"});

    ASSERT_TRUE(session.Grab(&first, &error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    e2e::Screenshot second;
    ASSERT_TRUE(session.Grab(&second, &error)) << error;
    size_t changed = 0;
    for (size_t i = 0; i < first.pixels.size(); ++i) {
        changed += first.pixels[i] != second.pixels[i];
    }
    // llvmpipe draws dozens of frames here in 300 ms, and over them the
    // lowest level alone turns by tens of degrees.
    EXPECT_GT(changed, 500u) << "the picture did not change in 300 ms";
    EXPECT_TRUE(session.Program().Running()) << session.Program().Wait(0).Describe();
}

class TowerOnTwoMonitors : public ::testing::TestWithParam<Desktop> {};

INSTANTIATE_TEST_SUITE_P(Desktops, TowerOnTwoMonitors,
                         ::testing::Values(Desktop::kXvfb, Desktop::kOpenbox),
                         [](const auto &info) { return e2e::DesktopName(info.param); });

// Two 1024x768 monitors side by side on one 2048x768 screen, the commonest
// desk: the window covers the primary monitor and nothing more, wherever it
// is, and the tower is drawn there; with none named primary, the one at the
// screen's origin is.
TEST_P(TowerOnTwoMonitors, CoversThePrimaryMonitorOnly)
{
    struct Case {
        const char *name;
        bool leftPrimary;
        bool rightPrimary;
        int x;
    };
    const Case cases[] = {
        {"the right one primary", false, true, 1024},
        {"none primary", false, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TowerSession session(GetParam());
        std::string error;
        ASSERT_TRUE(session.StartArranged(
            2048, 768,
            [&c](Display *x, std::string *e) {
                return e2e::SetMonitors(x,
                                        {{"left", 0, 0, 1024, 768, c.leftPrimary},
                                         {"right", 1024, 0, 1024, 768, c.rightPrimary}},
                                        e);
            },
            &error))
            << error;
        ExpectCovers(session, c.x, 0, 1024, 768);
        e2e::Screenshot shot;
        ASSERT_TRUE(WaitForFirstLight(session, &shot, &error, c.x, 1024)) << error;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ExpectScreenShowsTower(session, {"--area", "1024x768+" + std::to_string(c.x) + "+0"});
        EXPECT_EQ(session.Stderr(), "");
    }
}

// The screen changes size under the program, as when the resolution is
// changed in the desktop's settings. With no window manager to do it, the
// window follows, and the program hears the new size: the tower is drawn for
// it.
TEST(TowerWindow, FollowsTheScreenAsItShrinksAndGrowsBack)
{
    TowerSession session;
    std::string error;
    ASSERT_TRUE(session.Start(1024, 768, 24, &error)) << error;
    for (const auto &size : {std::make_pair(800, 600), std::make_pair(1024, 768)}) {
        SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
        ASSERT_TRUE(e2e::ResizeScreen(session.X(), size.first, size.second, &error)) << error;
        ExpectCovers(session, 0, 0, size.first, size.second);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ExpectScreenShowsTower(session, {"--expect-depth", "24"});
    }
    EXPECT_TRUE(session.Program().Running()) << session.Program().Wait(0).Describe();
    EXPECT_EQ(session.Stderr(), "");
}

// sway asks for full-screen as an EWMH window manager does, and gives the
// window the focus; its first configure is neither, its next one both.
TEST(TowerWindow, IsFullScreenAndFocusedOnSway)
{
    TowerSession session(Desktop::kSway);
    std::string error;
    ASSERT_TRUE(session.Start(1024, 768, 24, &error)) << error;
    const std::string window =
        session.SwayWindow(&error, {"\"fullscreen_mode\": 1", "\"focused\": true"}, 5000);
    EXPECT_NE(window.find("\"fullscreen_mode\": 1"), std::string::npos) << window << error;
    EXPECT_NE(window.find("\"focused\": true"), std::string::npos) << window;
    EXPECT_NE(window.find(std::string("\"name\": \"") + e2e::kWindowTitle), std::string::npos)
        << window;
    EXPECT_EQ(session.Stderr(), "");
}

// On an output at scale 2 the window is half as many units wide as the
// output has pixels, and its buffer has all the pixels: the screen check
// matches at the output's size, and triangle edges cut through the aligned
// 2x2 blocks that a buffer of half the size, stretched, would be made of.
TEST(TowerScreen, FillsAScaledOutputWithItsOwnPixels)
{
    TowerSession session(Desktop::kSway, 2);
    std::string error;
    ASSERT_TRUE(session.Start(1024, 768, 24, &error)) << error;
    std::string window = session.SwayWindow(&error);
    EXPECT_NE(window.find("\"width\": 512"), std::string::npos) << window << error;
    e2e::Screenshot shot;
    ASSERT_TRUE(WaitForFirstLight(session, &shot, &error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ExpectScreenShowsTower(session, {"--expect-depth", "24"});

    ASSERT_TRUE(session.Grab(&shot, &error)) << error;
    ASSERT_EQ(shot.width, 1024);
    ASSERT_EQ(shot.height, 768);
    int cut = 0;
    for (int y = 0; y + 1 < shot.height; y += 2) {
        for (int x = 0; x + 1 < shot.width; x += 2) {
            const int lit = (shot.At(x, y) != 0) + (shot.At(x + 1, y) != 0) +
                            (shot.At(x, y + 1) != 0) + (shot.At(x + 1, y + 1) != 0);
            cut += lit > 0 && lit < 4;
        }
    }
    EXPECT_GT(cut, 100) << "the tower's edges follow 2x2 blocks: a stretched buffer";
    EXPECT_EQ(session.Stderr(), "");
}

TEST(TowerScreen, ShowsTheTowerOnA16BitScreen)
{
    TowerSession session;
    std::string error;
    ASSERT_TRUE(session.Start(800, 600, 16, &error)) << error;
    e2e::Screenshot first;
    ASSERT_TRUE(WaitForFirstLight(session, &first, &error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ExpectScreenShowsTower(session, {"--expect-depth", "16"});
}

} // namespace
