// The X server, or the Wayland compositor, dies under the running program:
// it must notice at once, say so on stderr, and end by exiting, not by a
// signal or a hang in the GL driver.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "fault_support.h"
#include "tower_session.h"
#include "x_server.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

// The program polls the connection every frame; a second is hundreds.
constexpr int kNoticeMs = 1000;

// Kill the server once the program has presented `frames` frames: at the
// first, a frame after mapping, and deep into the run, so the loss lands in
// different places of the loop and the driver.
void KillServerAfter(long frames)
{
    SCOPED_TRACE("server killed after " + std::to_string(frames) + " frames");
    faults::TempDir temp;
    const std::string &dir = temp.Path();
    faults::Probe probe(dir);
    e2e::XServer server;
    std::string error;
    ASSERT_TRUE(server.Start(640, 480, 24, dir, &error)) << error;

    std::vector<std::string> env = probe.Env();
    env.push_back(server.DisplaySetting());
    e2e::ChildProcess program;
    ASSERT_TRUE(program.Start({TOWER_EXE}, env, &error, e2e::ChildIo{-1, "", dir + "/stderr"}))
        << error;
    ASSERT_NE(e2e::WaitForViewableWindow(server.Connection(), e2e::kWindowTitle, 10000), 0u)
        << program.Wait(0).Describe() << " " << e2e::ReadFile(dir + "/stderr");
    ASSERT_TRUE(probe.WaitForFrames(program, frames, 10000))
        << probe.Frames() << " frames; " << program.Wait(0).Describe();

    // Stop closes our own connection first, then SIGKILLs Xvfb: the server
    // vanishes without a word to any client.
    const auto start = std::chrono::steady_clock::now();
    server.Stop();
    const e2e::Exit exit = program.Wait(kNoticeMs);
    const long took = faults::MsSince(start);
    const std::string text = e2e::ReadFile(dir + "/stderr");
    EXPECT_TRUE(exit.exited) << "still running " << took << " ms after the server died";
    EXPECT_TRUE(exit.byCode) << exit.Describe();
    EXPECT_NE(text.find("lost the connection to the X server"), std::string::npos) << text;
    program.Kill();
}

TEST(TowerServerLoss, KilledServerEndsTheProgramAtOnce)
{
    for (long frames : {1L, 30L, 600L}) {
        KillServerAfter(frames);
    }
}

// Kill the server `delayMs` after the program was started, wherever in its
// set-up that lands: before it connects, while GLX loads its driver, while
// the window and context are made.
void KillServerDuringStartUp(int delayMs)
{
    SCOPED_TRACE("server killed " + std::to_string(delayMs) + " ms after the start");
    faults::TempDir temp;
    const std::string &dir = temp.Path();
    e2e::XServer server;
    std::string error;
    ASSERT_TRUE(server.Start(640, 480, 24, dir, &error)) << error;
    e2e::ChildProcess program;
    ASSERT_TRUE(program.Start({TOWER_EXE}, {server.DisplaySetting()}, &error,
                              e2e::ChildIo{-1, "", dir + "/stderr"}))
        << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    server.Stop();
    const e2e::Exit exit = program.Wait(kNoticeMs);
    const std::string text = e2e::ReadFile(dir + "/stderr");
    EXPECT_TRUE(exit.exited) << "still running a second after the server died";
    // Whatever was lost, it is said on stderr, and the program exits rather
    // than crashing.
    EXPECT_TRUE(exit.byCode) << exit.Describe() << "; stderr: " << text;
    EXPECT_NE(text, "");
    program.Kill();
}

TEST(TowerServerLoss, KilledServerDuringStartUpEndsTheProgram)
{
    // Natively the set-up takes about a tenth of a second here, most of it
    // in the GL driver's first use; the steps cover it and some way past.
    for (int delayMs = 0; delayMs <= 200; delayMs += 10) {
        KillServerDuringStartUp(delayMs);
    }
}

// Natively on Wayland: weston going away while the program draws on it ends
// the program with one line and exit code 1.
TEST(TowerServerLoss, KilledCompositorEndsTheProgramAtOnce)
{
    e2e::TowerSession session(e2e::Desktop::kWestonWayland);
    std::string error;
    ASSERT_TRUE(session.Start(640, 480, 24, &error)) << error;

    const auto start = std::chrono::steady_clock::now();
    session.Server().Stop();
    const e2e::Exit exit = session.Program().Wait(kNoticeMs);
    const long took = faults::MsSince(start);
    const std::string text = session.Stderr();
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 1)
        << exit.Describe() << " " << took << " ms after the compositor died";
    EXPECT_EQ(text.rfind("tower: lost the connection to the Wayland compositor", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

} // namespace
