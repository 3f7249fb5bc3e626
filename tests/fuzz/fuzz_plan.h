// What one fuzz input asks of the world the program runs in: which
// acquisitions fail, what the screen and the display-mode switch answer,
// when Escape is down and which messages arrive when. Decoding never fails:
// missing bytes read as zero, and zero everywhere is the happy path.
#ifndef TOWER_TESTS_FUZZ_PLAN_H
#define TOWER_TESTS_FUZZ_PLAN_H

#include "scripted_backend.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace towerfuzz {

// A burst of messages posted straight into the queue, as another program's
// PostMessageA would, at the end of a chosen pass.
struct Flood {
    long pass;
    int count;
    bool toThread; // posted with no window, so nobody receives it
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

using Injection = scripted::Injection;

enum class EscapeMode { Never, Tap, HeldFrom, Window, Pattern };

struct Plan {
    // Registering "GLClass" before the program does makes its own
    // registration fail, as it would on Windows.
    bool preRegisterClass = false;
    // Screen, display-mode result, failing acquisitions, pass limit and the
    // window-system messages: what the scripted backend is given as it is.
    // Its Escape is the plan's own (below), which the runner wires in.
    scripted::Script script;

    EscapeMode escape = EscapeMode::Never;
    long escapeStart = 0;
    long escapeLength = 0;
    unsigned escapePattern = 0;

    // Thread messages already waiting when WinMain starts.
    int prePosted = 0;
    UINT prePostedMessage = WM_NULL;

    std::vector<Flood> floods; // through PostMessageA
};

Plan Decode(const std::uint8_t *data, std::size_t size);

// Whether Escape is down while the given pass polls it.
bool EscapeDown(const Plan &plan, long pass);

// The plan as one line per item, for reports of a broken invariant.
std::string Describe(const Plan &plan);

} // namespace towerfuzz

#endif
