// SIGTERM and SIGINT end the program through its own teardown, seen from
// outside: apitrace records the GL stream and check_teardown.py finds the
// context released and destroyed after the signal, while the loop still ran.
// gtest first: Xlib defines None and Bool as macros, which break its headers.
#include <gtest/gtest.h>

#include "fault_support.h"
#include "tower_session.h"

#include <csignal>
#include <cstring>
#include <iostream>

namespace {

void SignalIsTornDown(int sig)
{
    SCOPED_TRACE(strsignal(sig));
    e2e::TowerSession session;
    faults::Probe probe(session.Dir());
    const std::string trace = session.Dir() + "/tower.trace";
    // apitrace's own launcher forks, and a signal must reach the program
    // itself, so its tracer is preloaded directly, as the launcher would.
    std::vector<std::string> wrapper = probe.Wrapper({TOWER_GLXTRACE});
    wrapper.push_back("TRACE_FILE=" + trace);
    std::string error;
    ASSERT_TRUE(session.Start(320, 240, 24, &error, wrapper, 20000)) << error;
    ASSERT_TRUE(probe.WaitForFrames(session.Program(), 30, 10000))
        << probe.Frames() << " frames; " << session.Program().Wait(0).Describe();

    const long swapsAtSignal = probe.Frames();
    session.Program().Signal(sig);
    // Tracing slows the last passes; the quit itself is already bounded by
    // the end-to-end tests.
    const e2e::Exit exit = session.Program().Wait(10000);
    ASSERT_TRUE(exit.exited && exit.byCode && exit.code == 0) << exit.Describe() << "\n"
                                                              << session.Stderr();

    const std::string pickled = session.Dir() + "/tower.pickle";
    const e2e::Exit pickle = session.Run({"apitrace", "pickle", trace}, 60000, &error, pickled);
    ASSERT_TRUE(pickle.exited && pickle.byCode && pickle.code == 0)
        << "apitrace pickle: " << pickle.Describe() << " " << error;
    const std::string report = session.Dir() + "/check.txt";
    const e2e::Exit check = session.Run(
        {TOWER_PYTHON3, TOWER_CHECK_TEARDOWN_PY, pickled, std::to_string(swapsAtSignal)}, 60000,
        &error, report);
    const std::string output = e2e::ReadFile(report);
    std::cout << strsignal(sig) << ": " << output;
    EXPECT_TRUE(check.exited && check.byCode && check.code == 0)
        << "check_teardown.py: " << check.Describe() << " " << error << "\n"
        << output;
}

TEST(TowerSignalTeardown, SigtermReleasesAndDestroysTheContext)
{
    SignalIsTornDown(SIGTERM);
}

TEST(TowerSignalTeardown, SigintReleasesAndDestroysTheContext)
{
    SignalIsTornDown(SIGINT);
}

} // namespace
