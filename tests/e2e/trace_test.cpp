// The GL calls of a real run, recorded by apitrace between the program and
// the GL library, checked call by call by check_trace.py.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "tower_session.h"

#include <chrono>
#include <iostream>
#include <thread>

namespace {

TEST(TowerTrace, SetUpFramesAndTeardownAreBitExact)
{
    e2e::TowerSession session;
    std::string error;
    std::string trace = session.Dir() + "/tower.trace";
    // Tracing slows the start; the window still has to come.
    ASSERT_TRUE(session.Start(800, 600, 24, &error,
                              {"apitrace", "trace", "--api", "gl", "-o", trace}, 20000))
        << error;
    // About a second is a few hundred frames here; the check wants twenty.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(session.PressEscape(&error)) << error;
    e2e::Exit traced = session.Program().Wait(10000);
    ASSERT_TRUE(traced.exited && traced.byCode && traced.code == 0)
        << "apitrace trace: " << traced.Describe() << "\n"
        << session.Stderr();

    std::string pickled = session.Dir() + "/tower.pickle";
    e2e::Exit pickle = session.Run({"apitrace", "pickle", trace}, 60000, &error, pickled);
    ASSERT_TRUE(pickle.exited && pickle.byCode && pickle.code == 0)
        << "apitrace pickle: " << pickle.Describe() << " " << error;

    std::string report = session.Dir() + "/check.txt";
    e2e::Exit check = session.Run({TOWER_PYTHON3, TOWER_CHECK_TRACE_PY, pickled, "800", "600"},
                                  60000, &error, report);
    std::string output = e2e::ReadFile(report);
    std::cout << output;
    EXPECT_TRUE(check.exited && check.byCode && check.code == 0)
        << "check_trace.py: " << check.Describe() << " " << error << "\n"
        << output;
}

} // namespace
