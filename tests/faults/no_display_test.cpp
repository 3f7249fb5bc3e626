// What the program says and returns before it needs a display, and when it
// has none: one true line, no knock-on boxes, and an exit code a script can
// act on.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "child_process.h"
#include "fault_support.h"
#include "tower_session.h"

namespace {

struct Case {
    const char *name;
    std::vector<std::string> args;
    const char *display; // the DISPLAY setting; null leaves it unset
    // WAYLAND_DISPLAY, with TOWER_BACKEND where it is forced; empty: none
    std::vector<std::string> wayland;
    int code;
    const char *out;
    const char *err;
};

TEST(TowerCommandLine, AnswersWithoutADisplayAndSaysWhenThereIsNone)
{
    const char *usage = "Usage: tower [--help | --version]\n";
    const std::string noCompositor = "WAYLAND_DISPLAY=tower-none";
    const Case cases[] = {
        {"no DISPLAY",
         {},
         nullptr,
         {},
         1,
         "",
         "tower: no X display to run on: DISPLAY is not set\n"},
        {"empty DISPLAY", {}, "", {}, 1, "", "tower: no X display to run on: DISPLAY is empty\n"},
        {"no server there",
         {},
         ":65000",
         {},
         1,
         "",
         "tower: cannot open the X display: DISPLAY is \":65000\"\n"},
        {"neither a compositor nor an X server",
         {},
         nullptr,
         {noCompositor},
         1,
         "",
         "tower: no display to run on: WAYLAND_DISPLAY is \"tower-none\" (No such file or "
         "directory) and DISPLAY is not set\n"},
        {"forced onto a missing compositor",
         {},
         ":65000",
         {noCompositor, "TOWER_BACKEND=wayland"},
         1,
         "",
         "tower: cannot connect to the Wayland compositor \"tower-none\": No such file or "
         "directory\n"},
        {"--help", {"--help"}, nullptr, {}, 0, usage, ""},
        {"--version", {"--version"}, nullptr, {}, 0, "tower 1.0\n", ""},
        {"an unknown option",
         {"--fullscreen"},
         nullptr,
         {},
         2,
         "",
         "tower: unknown option '--fullscreen'\nTry 'tower --help' for more.\n"},
    };
    faults::TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir.Path() + "/stdout";
        const std::string err = dir.Path() + "/stderr";
        // Unset, through env(1): the options must need no display at all.
        std::vector<std::string> argv{"env", "-u", "DISPLAY", TOWER_EXE};
        std::vector<std::string> env{"XDG_RUNTIME_DIR=" + dir.Path()};
        if (c.display) {
            argv = {TOWER_EXE};
            env.push_back(std::string("DISPLAY=") + c.display);
        }
        env.insert(env.end(), c.wayland.begin(), c.wayland.end());
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::string error;
        const e2e::Exit exit = e2e::RunToEnd(argv, env, 5000, &error, e2e::ChildIo{-1, out, err});
        EXPECT_TRUE(exit.exited && exit.byCode && exit.code == c.code) << exit.Describe() << error;
        const std::string said = e2e::ReadFile(out);
        // The usage is checked by its first line and what it must mention.
        if (c.out == usage) {
            EXPECT_EQ(said.rfind(usage, 0), 0u) << said;
            for (const char *word : {"Escape", "--version", "Exit status: 0", " 1 ", " 2 "}) {
                EXPECT_NE(said.find(word), std::string::npos) << word << " missing from\n" << said;
            }
        } else {
            EXPECT_EQ(said, c.out);
        }
        EXPECT_EQ(e2e::ReadFile(err), c.err);
    }
}

} // namespace
