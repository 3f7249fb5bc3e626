// Escape already held down when the program starts: the key state it starts
// from must count, so it quits at once, and cleanly.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "fault_support.h"
#include "tower_session.h"
#include "x_server.h"

#include <X11/keysym.h>
#include <chrono>
#include <thread>

namespace {

bool EscapeIsDown(Display *display)
{
    char keys[32];
    XQueryKeymap(display, keys);
    const KeyCode escape = XKeysymToKeycode(display, XK_Escape);
    return escape != 0 && (keys[escape / 8] >> (escape % 8) & 1) != 0;
}

TEST(TowerEscapeAtStart, EscapeHeldBeforeStartEndsItAtOnce)
{
    faults::TempDir dir;
    e2e::XServer server;
    std::string error;
    ASSERT_TRUE(server.Start(640, 480, 24, dir.Path(), &error)) << error;

    // The server lets go of the keys an XTEST client held when that client
    // disconnects, so one xdotool keeps holding Escape for the whole start.
    e2e::ChildProcess holder;
    ASSERT_TRUE(holder.Start({"xdotool", "keydown", "Escape", "sleep", "5", "keyup", "Escape"},
                             {server.DisplaySetting()}, &error))
        << error;
    const auto pressDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!EscapeIsDown(server.Connection()) && holder.Running() &&
           std::chrono::steady_clock::now() < pressDeadline) {
        holder.Wait(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(EscapeIsDown(server.Connection())) << "xdotool: " << holder.Wait(0).Describe();

    faults::Probe probe(dir.Path());
    std::vector<std::string> env = probe.Env();
    env.push_back(server.DisplaySetting());
    e2e::ChildProcess program;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(
        program.Start({TOWER_EXE}, env, &error, e2e::ChildIo{-1, "", dir.Path() + "/stderr"}))
        << error;
    const e2e::Exit exit = program.Wait(2000);
    const long took = faults::MsSince(start);
    // Still held: the program did not merely outlast the key.
    EXPECT_TRUE(EscapeIsDown(server.Connection())) << "Escape was let go before the check";
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 0)
        << exit.Describe() << " after " << took << " ms with Escape held from the start";
    EXPECT_EQ(e2e::ReadFile(dir.Path() + "/stderr"), "");
    // Set-up completes before the loop polls the key, so a few frames may
    // be presented, but not a run's worth.
    EXPECT_LT(probe.Frames(), 20) << "frames presented with Escape held";
    program.Kill();
    holder.Kill();
}

} // namespace
