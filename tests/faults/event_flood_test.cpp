// Floods of X events aimed at the program's window by another client, on a
// bare server: the program keeps drawing through them, ends on Escape as
// promptly as ever once the flood is over, and is left drawing at the
// window's final size.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "fault_support.h"
#include "tower_session.h"

#include <X11/Xatom.h>
#include <chrono>
#include <string>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
// As in the end-to-end quit tests: a frame or two, with room for a loaded
// machine.
constexpr int kQuitMs = 2000;
// How long a failing run is let go on, so that it fails by its numbers
// rather than by the test's timeout.
constexpr int kGiveUpMs = 20000;

void StartWithProbe(e2e::TowerSession &session, const faults::Probe &probe)
{
    std::string error;
    ASSERT_TRUE(session.Start(kWidth, kHeight, 24, &error, probe.Wrapper())) << error;
    ASSERT_TRUE(probe.WaitForFrames(session.Program(), 20, 10000))
        << probe.Frames() << " frames; " << session.Program().Wait(0).Describe();
}

// Resize the window back and forth `count` times, then to the whole screen.
void FloodWithResizes(Display *x, Window window, int count)
{
    for (int i = 0; i < count; ++i) {
        const unsigned step = static_cast<unsigned>(i % 2) * 10;
        XResizeWindow(x, window, kWidth - 40 + step, kHeight - 40 + step);
    }
    XResizeWindow(x, window, kWidth, kHeight);
    XSync(x, False);
}

// What a window manager might send, and what no one should: pings, unknown
// client messages, and property changes, WM_STATE's among them, ending in
// the normal state.
void FloodWithMessages(Display *x, Window window, int count)
{
    const Atom protocols = XInternAtom(x, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(x, "_NET_WM_PING", False);
    const Atom unknown = XInternAtom(x, "_TOWER_TEST_NOISE", False);
    const Atom wmState = XInternAtom(x, "WM_STATE", False);
    for (int i = 0; i < count; ++i) {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.format = 32;
        event.xclient.message_type = i % 2 == 0 ? protocols : unknown;
        event.xclient.data.l[0] = static_cast<long>(i % 2 == 0 ? ping : unknown);
        event.xclient.data.l[1] = CurrentTime;
        event.xclient.data.l[2] = static_cast<long>(window);
        XSendEvent(x, window, False, NoEventMask, &event);
        const long noise = i;
        XChangeProperty(x, window, unknown, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&noise), 1);
        // Iconic, then normal: what minimising and restoring look like.
        const long state[2] = {i % 2 == 0 ? 3L : 1L, 0L};
        XChangeProperty(x, window, wmState, wmState, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(state), 2);
    }
    const long normal[2] = {1L, 0L};
    XChangeProperty(x, window, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(normal), 2);
    XSync(x, False);
}

// After the flood: frames still come, Escape ends the run in time with
// exit code 0, and the last viewport is the whole window.
void ExpectDrawingQuitAndFinalSize(e2e::TowerSession &session, const faults::Probe &probe)
{
    const long flooded = probe.Frames();
    EXPECT_TRUE(probe.WaitForFrames(session.Program(), flooded + 50, 5000))
        << "drawing stalled by the flood: " << probe.Frames() - flooded << " frames in 5 s ("
        << session.Program().Wait(0).Describe() << ")";

    const auto start = std::chrono::steady_clock::now();
    std::string error;
    ASSERT_TRUE(session.PressEscape(&error)) << error;
    const e2e::Exit exit = session.Program().Wait(kGiveUpMs);
    const long took = faults::MsSince(start);
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 0)
        << exit.Describe() << " " << took << " ms after Escape";
    EXPECT_LE(took, kQuitMs) << "Escape after the flood took " << took << " ms";
    EXPECT_EQ(session.Stderr(), "");

    const faults::Probe::Rect last = probe.LastViewport();
    EXPECT_EQ(last.width, kWidth) << "last viewport " << last.width << "x" << last.height;
    EXPECT_EQ(last.height, kHeight) << "last viewport " << last.width << "x" << last.height;
}

TEST(TowerEventFlood, ThousandsOfResizes)
{
    e2e::TowerSession session;
    faults::Probe probe(session.Dir());
    ASSERT_NO_FATAL_FAILURE(StartWithProbe(session, probe));
    FloodWithResizes(session.X(), session.TowerWindow(), 5000);
    ExpectDrawingQuitAndFinalSize(session, probe);
}

// More resizes than the program's message queue holds.
TEST(TowerEventFlood, MoreResizesThanTheQueueHolds)
{
    e2e::TowerSession session;
    faults::Probe probe(session.Dir());
    ASSERT_NO_FATAL_FAILURE(StartWithProbe(session, probe));
    FloodWithResizes(session.X(), session.TowerWindow(), 12000);
    ExpectDrawingQuitAndFinalSize(session, probe);
}

TEST(TowerEventFlood, ThousandsOfClientMessagesAndPropertyChanges)
{
    e2e::TowerSession session;
    faults::Probe probe(session.Dir());
    ASSERT_NO_FATAL_FAILURE(StartWithProbe(session, probe));
    FloodWithMessages(session.X(), session.TowerWindow(), 3000);
    ExpectDrawingQuitAndFinalSize(session, probe);
}

} // namespace
