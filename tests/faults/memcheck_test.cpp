// The real program under valgrind's memcheck for a few hundred frames and a
// signalled quit: no invalid access, no use of undefined values and no
// definite leak, anywhere outside the few loader reports the suppressions
// file names.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "fault_support.h"
#include "tower_session.h"

#include <csignal>
#include <iostream>
#include <sstream>

namespace {

constexpr long kFrames = 300;
// valgrind's own exit code for "the program ran, but memcheck found errors",
// chosen to be one the program never returns.
constexpr int kErrorExit = 97;

// The error reports in memcheck's log, without its banner and the leak
// summary that every run prints.
std::string ErrorReports(const std::string &log)
{
    std::istringstream lines(log);
    std::string reports;
    bool inReport = false;
    for (std::string line; std::getline(lines, line);) {
        const std::string body =
            line.substr(line.find("== ") == std::string::npos ? 0 : line.find("== ") + 3);
        if (body.rfind("Invalid", 0) == 0 || body.rfind("Conditional jump", 0) == 0 ||
            body.rfind("Use of uninitialised", 0) == 0 || body.rfind("Syscall param", 0) == 0 ||
            body.rfind("Mismatched", 0) == 0 ||
            body.find("definitely lost in") != std::string::npos) {
            inReport = true;
        } else if (body.empty()) {
            inReport = false;
        }
        if (inReport || body.rfind("ERROR SUMMARY", 0) == 0) {
            reports += line + "\n";
        }
    }
    return reports;
}

TEST(TowerMemcheck, ThreeHundredFramesAndAQuitAreClean)
{
#ifdef TOWER_SANITIZED
    GTEST_SKIP() << "a sanitizer runtime and memcheck cannot share one process";
#endif
    e2e::TowerSession session;
    faults::Probe probe(session.Dir());
    const std::string log = session.Dir() + "/memcheck.log";
    std::vector<std::string> wrapper = probe.Wrapper();
    // Software GL on a small screen keeps a frame under memcheck to a few
    // milliseconds; llvmpipe's worker threads would only be serialised by
    // valgrind, so it renders on the calling thread.
    for (const char *setting :
         {"LIBGL_ALWAYS_SOFTWARE=1", "GALLIUM_DRIVER=llvmpipe", "LP_NUM_THREADS=0"}) {
        wrapper.emplace_back(setting);
    }
    for (const std::string &argument :
         {std::string("valgrind"), std::string("--tool=memcheck"),
          "--error-exitcode=" + std::to_string(kErrorExit), std::string("--leak-check=full"),
          std::string("--show-leak-kinds=definite"),
          std::string("--errors-for-leak-kinds=definite"), std::string("--track-origins=no"),
          std::string("--num-callers=30"), std::string("--suppressions=") + TOWER_VALGRIND_SUPP,
          "--log-file=" + log}) {
        wrapper.push_back(argument);
    }

    std::string error;
    // Start-up alone, reading the GL driver's symbols, takes seconds here.
    ASSERT_TRUE(session.Start(320, 240, 24, &error, wrapper, 60000)) << error << "\n"
                                                                     << e2e::ReadFile(log);
    ASSERT_TRUE(probe.WaitForFrames(session.Program(), kFrames, 60000))
        << "only " << probe.Frames() << " frames under memcheck ("
        << session.Program().Wait(0).Describe() << ")\n"
        << ErrorReports(e2e::ReadFile(log));

    // The signal's path through the window's destruction runs more of our
    // code than Escape's does.
    session.Program().Signal(SIGTERM);
    const e2e::Exit exit = session.Program().Wait(60000);
    const std::string text = e2e::ReadFile(log);
    EXPECT_TRUE(exit.exited && exit.byCode && exit.code == 0)
        << "under memcheck: " << exit.Describe() << "\n"
        << ErrorReports(text);
    EXPECT_NE(text.find("ERROR SUMMARY: 0 errors"), std::string::npos) << ErrorReports(text);
    std::cout << "frames under memcheck: " << probe.Frames() << "\n";
}

} // namespace
