// The program's entry on Linux: the command line, then WinMain over the
// Wayland or the X11 backend.
#include "choose_backend.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// What RunCommandLine returns when the program should start.
constexpr int kStart = -1;

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

// Handle the options, which need no display. Returns the exit code when
// they end the program, or kStart. tower.exe has none of this: a Win32
// program is started with whatever a shortcut passes, and ignores it.
int RunCommandLine(int argc, char **argv)
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
    return kStart;
}

} // namespace

int main(int argc, char **argv)
{
    const int ended = RunCommandLine(argc, argv);
    if (ended != kStart) {
        return ended;
    }
    // With no window system to reach, one line has said why.
    const ChosenBackend chosen = ChooseBackend();
    if (chosen.backend == nullptr) {
        return 1;
    }
    platform::SetBackend(chosen.backend);
    // Any handle will do for the instance, as only window creation passes
    // it on.
    static int instance;
    const int result =
        WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, const_cast<LPSTR>(""), SW_SHOW);
    chosen.close();
    return result;
}
