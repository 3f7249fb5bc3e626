// An in-memory backend for tests: a script says what the "system" offers and
// which acquisitions fail, and a record says what the program did with it.
// Nothing here touches a display or a GPU.
#ifndef TOWER_PLATFORM_SCRIPTED_BACKEND_H
#define TOWER_PLATFORM_SCRIPTED_BACKEND_H

#include "../core/backend.h"

#include <functional>
#include <string>
#include <vector>

namespace scripted {

// A frame pass is counted each time the program looks at its queue; the
// first pass is 1 and start-up happens in pass 0.
struct Injection {
    long pass;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// News from the "window system" at a given pass, told to the core through
// the seam, which turns it into messages by its own rules.
struct WindowEvent {
    enum Kind { Resized, Minimized, Restored, CloseAll };
    long pass;
    Kind kind;
    int width = 0; // for Resized
    int height = 0;
};

struct Script {
    int screenWidth = 1920;
    int screenHeight = 1080;
    // What ChangeDisplaySettingsA answers to a mode switch.
    LONG displayModeResult = DISP_CHANGE_SUCCESSFUL;

    bool failWindow = false;
    bool failDC = false;
    bool failChoosePixelFormat = false;
    bool failSetPixelFormat = false;
    bool failCreateContext = false;
    bool failMakeCurrent = false;

    // Whether Escape is down while the given pass polls it.
    std::function<bool(long pass)> escapeDown;
    // Messages the "window system" posts to the window at given passes, raw.
    std::vector<Injection> injections;
    // What it tells the core of the window at given passes.
    std::vector<WindowEvent> events;

    // A program still running after this many passes is stopped (Runaway).
    long maxPasses = 10000;
    // Log every backend call as text; off for long runs, where it would grow.
    bool logCalls = false;
};

struct MessageBoxRecord {
    platform::BackendId owner;
    std::string text;
    std::string caption;
    UINT type;
};

struct DisplayMode {
    int width;
    int height;
    int bits;
    bool operator==(const DisplayMode &o) const
    {
        return width == o.width && height == o.height && bits == o.bits;
    }
};

struct Record {
    std::vector<MessageBoxRecord> boxes;
    // Every failure said through the seam's sink, "what: detail", each once,
    // as the other backends say it.
    std::vector<std::string> reports;
    std::vector<DisplayMode> modeRequests; // every mode asked for, refused ones too
    int restores = 0;
    // Whether the display is in a mode the program switched to, rather than
    // the one it started in.
    bool displayChanged = false;

    platform::BackendId window = 0; // the last window created
    int windowX = 0, windowY = 0, windowWidth = 0, windowHeight = 0;
    DWORD windowStyle = 0;
    std::string windowTitle;
    bool windowVisible = false;
    bool windowDestroyed = false;

    int chosenFormat = 0; // what ChoosePixelFormat answered
    int formatSet = 0;
    int contextsCreated = 0;
    int contextsDeleted = 0;
    platform::BackendId current = 0; // the current context

    long passes = 0;
    long swaps = 0;
    long sleeps = 0;
    long keyPolls = 0;
    std::vector<std::string> calls; // only with Script::logCalls
};

// Thrown out of the program when it outlives Script::maxPasses.
struct Runaway {
    long passes;
};

// Install the scripted backend with a fresh core, script and record.
void Install();
// Its table, for a test that installs a variant of it.
const platform::Backend &Table();
Script &CurrentScript();
Record &CurrentRecord();

// Called on every logged backend call, after it is logged; tests use it to
// interleave their own events (such as GL calls) with the backend's.
void SetObserver(void (*observer)(const char *call));

} // namespace scripted

#endif
