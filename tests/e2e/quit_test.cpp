// Every way the program is asked to stop ends it promptly with exit code 0
// and without a message box, on X and natively on Wayland.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "tower_session.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <chrono>
#include <csignal>
#include <sstream>
#include <thread>
#include <utility>

namespace {

using e2e::Desktop;
using e2e::TowerSession;

// A quit is noticed within a frame or two; 2 s leaves room for a loaded
// machine without letting a program that ignores the request pass.
constexpr int kQuitMs = 2000;

// Exit code 0 in time, and nothing on stderr: no message box, no diagnostic.
// xErrorsAllowed lets through only the X backend's reports of protocol
// errors, for the one case where one can be in flight when the window goes.
void ExpectCleanExit(TowerSession &session, int timeoutMs,
                     std::chrono::steady_clock::time_point since, bool xErrorsAllowed = false)
{
    e2e::Exit exit = session.Program().Wait(timeoutMs);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - since);
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 0)
        << exit.Describe() << " after " << took.count() << " ms";
    std::string text = session.Stderr();
    if (!xErrorsAllowed) {
        EXPECT_EQ(text, "");
        return;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(line.rfind("tower: X protocol error: ", 0), 0u) << line;
    }
}

void StartOrFail(TowerSession &session)
{
    std::string error;
    ASSERT_TRUE(session.Start(800, 600, 24, &error)) << error;
}

class TowerQuitOn : public ::testing::TestWithParam<Desktop> {};

INSTANTIATE_TEST_SUITE_P(Desktops, TowerQuitOn,
                         ::testing::Values(Desktop::kXvfb, Desktop::kOpenbox, Desktop::kWeston,
                                           Desktop::kSway),
                         [](const auto &info) { return e2e::DesktopName(info.param); });

// Give the keyboard focus to another client's window, once a window manager
// has let it be seen.
void FocusAnotherWindow(TowerSession &session)
{
    Display *x = session.X();
    Window other = XCreateSimpleWindow(x, DefaultRootWindow(x), 10, 10, 50, 50, 0, 0, 0);
    XStoreName(x, other, "another client");
    XMapRaised(x, other);
    ASSERT_EQ(e2e::WaitForViewableWindow(x, "another client", 5000), other);
    XSetInputFocus(x, other, RevertToParent, CurrentTime);
    ASSERT_EQ(e2e::WaitForFocus(x, other, 2000), other);
}

// The window has the focus as a user would leave it: openbox and sway give
// it on mapping; headless weston has no seat, so no click can reach its
// window manager, and the focus is set as that manager sets it on a click.
void FocusTheWindow(TowerSession &session)
{
    if (session.Kind() == Desktop::kSway) {
        std::string error;
        const std::string window = session.SwayWindow(&error, {"\"focused\": true"}, 2000);
        ASSERT_NE(window.find("\"focused\": true"), std::string::npos)
            << "sway did not give it the focus: " << window << error;
        return;
    }
    Display *x = session.X();
    Window window = session.TowerWindow();
    if (session.Kind() == Desktop::kWeston) {
        XSetInputFocus(x, window, RevertToPointerRoot, CurrentTime);
    }
    ASSERT_EQ(e2e::WaitForFocus(x, window, 2000), window);
}

// On X the key is polled globally, so it must also work while another
// client's window holds the keyboard focus. Xwayland hears keys only while
// one of its windows has the compositor's focus, and a Wayland client only
// while its own surface has it, so there it is pressed with the program's
// window focused. sway's keys come from wtype, with a keymap of its own.
TEST_P(TowerQuitOn, EscapeEndsIt)
{
    std::vector<bool> elsewhere{true};
    if (GetParam() == Desktop::kOpenbox) {
        elsewhere = {false, true};
    } else if (GetParam() == Desktop::kWeston || GetParam() == Desktop::kSway) {
        elsewhere = {false};
    }
    for (bool focusElsewhere : elsewhere) {
        SCOPED_TRACE(focusElsewhere ? "another window focused" : "its window focused");
        TowerSession session(GetParam());
        ASSERT_NO_FATAL_FAILURE(StartOrFail(session));
        if (focusElsewhere) {
            ASSERT_NO_FATAL_FAILURE(FocusAnotherWindow(session));
        } else {
            ASSERT_NO_FATAL_FAILURE(FocusTheWindow(session));
        }
        auto start = std::chrono::steady_clock::now();
        std::string error;
        ASSERT_TRUE(session.PressEscape(&error)) << error;
        ExpectCleanExit(session, kQuitMs, start);
    }
}

// Hold the key down until the program ends, or for as long as it may take,
// then release it: exit code 0, and exactly `diagnostic` on stderr.
void HoldKeyUntilItEnds(TowerSession &session, const std::string &key,
                        const std::string &diagnostic)
{
    auto start = std::chrono::steady_clock::now();
    std::string error;
    ASSERT_TRUE(session.Key(key, true, &error)) << error;
    const e2e::Exit exit = session.Program().Wait(kQuitMs);
    ASSERT_TRUE(session.Key(key, false, &error)) << error;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 0)
        << exit.Describe() << " after " << took.count() << " ms with " << key << " held";
    EXPECT_EQ(session.Stderr(), diagnostic);
}

TEST(TowerQuit, EscapeHeldDownEndsItOnce)
{
    TowerSession session;
    ASSERT_NO_FATAL_FAILURE(StartOrFail(session));
    // Every pass until the quit message sees the key and tears down again;
    // the second and later teardowns must find nothing left to release.
    ASSERT_NO_FATAL_FAILURE(HoldKeyUntilItEnds(session, "Escape", ""));
}

// Caps Lock made a second Escape (setxkbmap -option caps:escape) while the
// program runs: it reads the new mapping and ends on that key, whether
// XInput2 tells it of every key or, as XInput 2.0 cannot, it reads the
// keyboard on each poll.
TEST(TowerQuit, EscapeOnARemappedKeyEndsIt)
{
    constexpr int kCapsLock = 66; // on the server's evdev keyboard
    for (bool rawKeys : {true, false}) {
        SCOPED_TRACE(rawKeys ? "XInput 2.1 or later" : "XInput 2.0");
        TowerSession session;
        std::vector<std::string> wrapper;
        if (!rawKeys) {
            wrapper = {"env", std::string("LD_PRELOAD=") + TOWER_XINPUT20};
        }
        std::string error;
        ASSERT_TRUE(session.Start(800, 600, 24, &error, wrapper)) << error;
        const e2e::Exit remap = session.Run({"setxkbmap", "-option", "caps:escape"}, 10000, &error);
        ASSERT_TRUE(remap.exited && remap.byCode && remap.code == 0) << remap.Describe() << error;
        int perKeycode = 0;
        KeySym *syms = XGetKeyboardMapping(session.X(), kCapsLock, 1, &perKeycode);
        ASSERT_NE(syms, nullptr);
        const KeySym sym = syms[0];
        XFree(syms);
        ASSERT_EQ(sym, static_cast<KeySym>(XK_Escape)) << "setxkbmap did not remap Caps Lock";

        // Held until the program ends: a poll cannot miss it.
        ASSERT_NO_FATAL_FAILURE(HoldKeyUntilItEnds(
            session, std::to_string(kCapsLock),
            rawKeys ? ""
                    : "tower: no XInput 2.1 raw key events; reading the keyboard "
                      "on every poll instead\n"));
    }
}

class TowerCloseOn : public ::testing::TestWithParam<Desktop> {};

INSTANTIATE_TEST_SUITE_P(Desktops, TowerCloseOn,
                         ::testing::Values(Desktop::kXvfb, Desktop::kOpenbox, Desktop::kSway),
                         [](const auto &info) { return e2e::DesktopName(info.param); });

// Closed as a window manager does it (WM_DELETE_WINDOW), or under openbox by
// the manager itself, asked through EWMH as a taskbar would; on sway by its
// kill, as its close shortcut does.
TEST_P(TowerCloseOn, ClosingTheWindowEndsIt)
{
    TowerSession session(GetParam());
    ASSERT_NO_FATAL_FAILURE(StartOrFail(session));
    if (GetParam() == Desktop::kSway) {
        auto start = std::chrono::steady_clock::now();
        std::string error;
        ASSERT_NE(session.Server().SwayMsg({"[app_id=tower]", "kill"}, &error), "") << error;
        ExpectCleanExit(session, kQuitMs, start);
        return;
    }
    Display *x = session.X();
    // A window manager only sends WM_DELETE_WINDOW to windows that take part.
    Atom *protocols = nullptr;
    int count = 0;
    ASSERT_TRUE(XGetWMProtocols(x, session.TowerWindow(), &protocols, &count));
    Atom deleteWindow = XInternAtom(x, "WM_DELETE_WINDOW", False);
    bool listed = false;
    for (int i = 0; i < count; ++i) {
        listed = listed || protocols[i] == deleteWindow;
    }
    XFree(protocols);
    ASSERT_TRUE(listed) << "WM_PROTOCOLS lacks WM_DELETE_WINDOW";

    auto start = std::chrono::steady_clock::now();
    if (GetParam() == Desktop::kOpenbox) {
        e2e::SendNetCloseWindow(x, session.TowerWindow());
    } else {
        e2e::SendDeleteWindow(x, session.TowerWindow());
    }
    ExpectCleanExit(session, kQuitMs, start);
}

TEST(TowerQuit, DestroyingTheWindowFromOutsideEndsIt)
{
    TowerSession session;
    ASSERT_NO_FATAL_FAILURE(StartOrFail(session));
    // What xdotool's windowclose does: the window is simply gone, and the
    // program hears of it only as DestroyNotify. A swap it sent before then
    // fails with GLXBadDrawable, which the backend may report.
    auto start = std::chrono::steady_clock::now();
    XDestroyWindow(session.X(), session.TowerWindow());
    XSync(session.X(), False);
    ExpectCleanExit(session, kQuitMs, start, true);
}

// On sway, with the window hidden on another workspace: sway stops asking
// for its frames, and the loop must run on regardless for a signal to be
// heard.
TEST(TowerQuit, SigtermAndSigintEndIt)
{
    const std::pair<Desktop, int> cases[] = {{Desktop::kXvfb, SIGTERM},
                                             {Desktop::kXvfb, SIGINT},
                                             {Desktop::kWestonWayland, SIGTERM},
                                             {Desktop::kSway, SIGTERM}};
    for (auto [desktop, sig] : cases) {
        SCOPED_TRACE(e2e::DesktopName(desktop) + ", " + strsignal(sig));
        TowerSession session(desktop);
        ASSERT_NO_FATAL_FAILURE(StartOrFail(session));
        if (desktop == Desktop::kSway) {
            std::string error;
            ASSERT_NE(session.Server().SwayMsg({"workspace", "2"}, &error), "") << error;
            const std::string hidden = "\"visible\": false";
            ASSERT_NE(session.SwayWindow(&error, {hidden}, 2000).find(hidden), std::string::npos);
            // Long enough for a swap that waits on the compositor to be waiting.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        auto start = std::chrono::steady_clock::now();
        session.Program().Signal(sig);
        ExpectCleanExit(session, kQuitMs, start);
    }
}

} // namespace
