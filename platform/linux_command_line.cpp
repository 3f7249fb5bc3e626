// The real program's options on Linux. tower.exe has none: a Win32 program
// is started with whatever a shortcut passes, and ignores it.
#include "main.h"

#include <cstdio>
#include <cstring>

namespace platform {

namespace {

const char kUsage[] = "Usage: tower [--help | --version]\n"
                      "\n"
                      "Covers the primary monitor with an animated tower of colour-blended\n"
                      "triangles until Escape is pressed or the window is closed.\n"
                      "\n"
                      "  --help     show this help and exit\n"
                      "  --version  show the version and exit\n"
                      "\n"
                      "Exit status: 0 after a normal quit (Escape, closing the window, SIGINT or\n"
                      "SIGTERM); 1 when the program cannot start (no display, no OpenGL); 2 for\n"
                      "an unknown option.\n";

} // namespace

int ReadCommandLine(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("tower " TOWER_VERSION);
            return 0;
        }
        std::fprintf(stderr, "tower: unknown option '%s'\nTry 'tower --help' for more.\n", argv[i]);
        return 2;
    }
    return kStartProgram;
}

} // namespace platform
