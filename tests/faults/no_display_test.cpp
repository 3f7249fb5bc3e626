// No X server to talk to: the program reports its set-up failures, as its
// message boxes, on stderr and nowhere else, and still ends with exit code 0.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "child_process.h"
#include "fault_support.h"
#include "tower_session.h"

namespace {

TEST(TowerNoDisplay, EndsWithTheSetUpFailuresOnStderr)
{
    faults::TempDir dir;
    // A display number no server listens on, and an unset DISPLAY.
    for (const char *display : {"DISPLAY=:65000", "DISPLAY="}) {
        SCOPED_TRACE(display);
        const std::string out = dir.Path() + "/stdout";
        const std::string err = dir.Path() + "/stderr";
        std::string error;
        const e2e::Exit exit =
            e2e::RunToEnd({TOWER_EXE}, {display}, 5000, &error, e2e::ChildIo{-1, out, err});
        EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 0) << exit.Describe() << error;
        const std::string text = e2e::ReadFile(err);
        EXPECT_EQ(e2e::ReadFile(out), "");
        // The display-mode switch fails first, then the window: the two
        // boxes a set-up without a screen shows.
        EXPECT_NE(text.find("Your system doesn't support this screen resolution"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("Failed to create the window"), std::string::npos) << text;
    }
}

// Told to run on Wayland where no compositor listens: it says why, and the
// set-up ends in the same failures.
TEST(TowerNoDisplay, ForcedOntoAMissingCompositorSaysWhy)
{
    faults::TempDir dir;
    const std::string err = dir.Path() + "/stderr";
    std::string error;
    const e2e::Exit exit = e2e::RunToEnd(
        {TOWER_EXE},
        {"TOWER_BACKEND=wayland", "WAYLAND_DISPLAY=tower-none", "XDG_RUNTIME_DIR=" + dir.Path()},
        5000, &error, e2e::ChildIo{-1, "", err});
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == e2e::kSetUpFailureExitCode)
        << exit.Describe() << error;
    const std::string text = e2e::ReadFile(err);
    EXPECT_EQ(text.rfind("tower: cannot connect to the Wayland compositor \"tower-none\"", 0), 0u)
        << text;
    EXPECT_NE(text.find("Your system doesn't support this screen resolution"), std::string::npos)
        << text;
}

} // namespace
