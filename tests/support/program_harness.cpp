#include "program_harness.h"

#include "program_state.h"
#include "renderer.h"

namespace harness {

namespace {

// The size the program's state starts with, read from it before any test
// runs rather than said again here.
const int kStartWidth = g_width;
const int kStartHeight = g_height;

} // namespace

void FreshProcess()
{
    g_hWnd = nullptr;
    g_hDC = nullptr;
    g_hRC = nullptr;
    g_width = kStartWidth;
    g_height = kStartHeight;
    g_fullscreen = 0;
    g_done = false;
    g_exitCode = 0;
    g_pixelFormat = 0;
    g_phase = 0.0f;
    scripted::Install();
}

Outcome RunWinMain()
{
    Outcome outcome;
    try {
        outcome.exitCode = WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr,
                                   const_cast<char *>(""), SW_SHOW);
    } catch (const scripted::Runaway &) {
        outcome.ranAway = true;
    }
    return outcome;
}

} // namespace harness
