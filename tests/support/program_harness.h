// Runs the whole program, WinMain and all, over the scripted backend, as a
// fresh process would: every piece of process-wide state starts as it would
// at load time.
#ifndef TOWER_TESTS_PROGRAM_HARNESS_H
#define TOWER_TESTS_PROGRAM_HARNESS_H

#include "scripted_backend.h"

namespace harness {

// Put the program's and the stand-in's process-wide state back to its
// load-time values and install a fresh scripted backend. Change the script
// through scripted::CurrentScript() afterwards.
void FreshProcess();

struct Outcome {
    int exitCode = -1;
    bool ranAway = false; // stopped after Script::maxPasses
};

// Run WinMain to its end, or until the script's pass limit stops it.
Outcome RunWinMain();

} // namespace harness

#endif
