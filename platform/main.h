// What main() asks of the platform it is built for. Each build links one
// small file of these: linux_window_system.cpp with linux_command_line.cpp
// for the real program, web/web_window_system.cpp for the web page. The
// pass benchmark opens the window system the program would run on too.
#ifndef TOWER_PLATFORM_MAIN_H
#define TOWER_PLATFORM_MAIN_H

#include "core/backend.h"

namespace platform {

// What ReadCommandLine returns when the program should start.
constexpr int kStartProgram = -1;

// Handle the options, which need no window system: the exit code when they
// end the program, or kStartProgram.
int ReadCommandLine(int argc, char **argv);

// The window system to run on, opened, or null when there is none to reach;
// it has then said why.
const Backend *OpenWindowSystem();

// Once WinMain has returned exitCode: give back what the program left.
void CloseWindowSystem(int exitCode);

} // namespace platform

#endif
