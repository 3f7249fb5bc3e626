// The scripted backend: answers from the script, remembers in the record.
#include "scripted_backend.h"

#include "../core/backend.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace scripted {

namespace {

// The backend's one state record.
struct State {
    Script script;
    Record record;
    void (*observer)(const char *call) = nullptr;
    bool escapeWasDown = false;
};

State g_scripted;

constexpr platform::BackendId kWindowId = 0x100;
constexpr platform::BackendId kFirstContextId = 0x200;
constexpr int kFormat565 = 1;

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Log(const char* format, ...)
{
    if (!g_scripted.script.logCalls) {
        return;
    }
    char line[256];
    va_list args;
    va_start(args, format);
    // clang-tidy's va_list checker loses sight of va_start when it checks
    // this file after another in the same run, as the lint's batches can.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_scripted.record.calls.emplace_back(line);
    if (g_scripted.observer != nullptr) {
        g_scripted.observer(line);
    }
}

// What the script makes fail is said as the other backends say a failure.
void Refuse(const char *call)
{
    platform::ReportError("the script refuses", call);
}

void ScriptedReportError(const char *what, const char *detail)
{
    std::string line = what;
    if (detail != nullptr && detail[0] != '\0') {
        line = line + ": " + detail;
    }
    Log("Report %s", line.c_str());
    for (const std::string &said : g_scripted.record.reports) {
        if (said == line) {
            return;
        }
    }
    g_scripted.record.reports.push_back(line);
}

void ScriptedScreenSize(int *width, int *height)
{
    *width = g_scripted.script.screenWidth;
    *height = g_scripted.script.screenHeight;
}

LONG ScriptedSetDisplayMode(int width, int height, int bits)
{
    Log("ChangeDisplaySettings %dx%d %d", width, height, bits);
    g_scripted.record.modeRequests.push_back(DisplayMode{width, height, bits});
    if (g_scripted.script.displayModeResult == DISP_CHANGE_SUCCESSFUL) {
        g_scripted.record.displayChanged = true;
    } else {
        Refuse("ChangeDisplaySettings");
    }
    return g_scripted.script.displayModeResult;
}

LONG ScriptedRestoreDisplayMode()
{
    Log("RestoreDisplayMode");
    ++g_scripted.record.restores;
    g_scripted.record.displayChanged = false;
    return DISP_CHANGE_SUCCESSFUL;
}

platform::BackendId ScriptedCreateWindow(const platform::WindowState *state, int x, int y)
{
    Log("CreateWindow %d,%d %dx%d", x, y, state->width, state->height);
    if (g_scripted.script.failWindow) {
        Refuse("CreateWindow");
        return 0;
    }
    g_scripted.record.window = kWindowId;
    g_scripted.record.windowX = x;
    g_scripted.record.windowY = y;
    g_scripted.record.windowWidth = state->width;
    g_scripted.record.windowHeight = state->height;
    g_scripted.record.windowStyle = state->style;
    g_scripted.record.windowTitle = state->title;
    return kWindowId;
}

void ScriptedDestroyWindow(platform::BackendId /*window*/)
{
    Log("DestroyWindow");
    g_scripted.record.windowDestroyed = true;
    g_scripted.record.windowVisible = false;
}

void ScriptedShowWindow(platform::BackendId /*window*/, bool visible)
{
    Log("ShowWindow %d", visible ? 1 : 0);
    g_scripted.record.windowVisible = visible;
}

bool ScriptedWindowExists(platform::BackendId /*window*/)
{
    Log("GetDC");
    if (g_scripted.script.failDC) {
        Refuse("GetDC");
        return false;
    }
    return true;
}

int ScriptedChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd)
{
    Log("ChoosePixelFormat %d/%d", pfd->cColorBits, pfd->cDepthBits);
    g_scripted.record.chosenFormat = g_scripted.script.failChoosePixelFormat ? 0 : kFormat565;
    if (g_scripted.record.chosenFormat == 0) {
        Refuse("ChoosePixelFormat");
    }
    return g_scripted.record.chosenFormat;
}

bool ScriptedSetPixelFormat(platform::BackendId /*window*/, int format)
{
    Log("SetPixelFormat %d", format);
    if (g_scripted.script.failSetPixelFormat) {
        Refuse("SetPixelFormat");
        return false;
    }
    g_scripted.record.formatSet = format;
    return true;
}

platform::BackendId ScriptedCreateContext(platform::BackendId /*window*/, int /*format*/)
{
    Log("CreateContext");
    if (g_scripted.script.failCreateContext) {
        Refuse("CreateContext");
        return 0;
    }
    return kFirstContextId + static_cast<platform::BackendId>(g_scripted.record.contextsCreated++);
}

bool ScriptedMakeCurrent(platform::BackendId /*window*/, platform::BackendId context)
{
    Log("MakeCurrent %d", context != 0 ? 1 : 0);
    if (context != 0 && g_scripted.script.failMakeCurrent) {
        Refuse("MakeCurrent");
        return false;
    }
    g_scripted.record.current = context;
    return true;
}

void ScriptedDeleteContext(platform::BackendId /*context*/)
{
    Log("DeleteContext");
    ++g_scripted.record.contextsDeleted;
}

bool ScriptedSwapBuffers(platform::BackendId /*window*/)
{
    Log("SwapBuffers");
    ++g_scripted.record.swaps;
    return true;
}

bool ScriptedKeyState(int vkey, bool *pressed)
{
    Log("GetAsyncKeyState %d", vkey);
    ++g_scripted.record.keyPolls;
    const bool down = vkey == VK_ESCAPE && g_scripted.script.escapeDown &&
                      g_scripted.script.escapeDown(g_scripted.record.passes);
    *pressed = down && !g_scripted.escapeWasDown;
    if (vkey == VK_ESCAPE) {
        g_scripted.escapeWasDown = down;
    }
    return down;
}

void ScriptedMessageBox(platform::BackendId owner, const char *text, const char *caption, UINT type)
{
    Log("MessageBox %s: %s", caption, text);
    g_scripted.record.boxes.push_back(MessageBoxRecord{owner, text, caption, type});
}

void ScriptedSleep(DWORD milliseconds)
{
    Log("Sleep %u", static_cast<unsigned>(milliseconds));
    ++g_scripted.record.sleeps;
}

void ScriptedPumpEvents()
{
    ++g_scripted.record.passes;
    Log("PeekMessage");
    if (g_scripted.record.passes > g_scripted.script.maxPasses) {
        throw Runaway{g_scripted.record.passes};
    }
    for (const Injection &in : g_scripted.script.injections) {
        if (in.pass == g_scripted.record.passes && g_scripted.record.window != 0) {
            platform::PostWindowEvent(g_scripted.record.window, in.message, in.wParam, in.lParam);
        }
    }
    for (const WindowEvent &event : g_scripted.script.events) {
        if (event.pass != g_scripted.record.passes) {
            continue;
        }
        switch (event.kind) {
        case WindowEvent::Resized:
            platform::WindowResized(g_scripted.record.window, event.width, event.height);
            break;
        case WindowEvent::Minimized:
            platform::WindowMinimized(g_scripted.record.window);
            break;
        case WindowEvent::Restored:
            platform::WindowRestored(g_scripted.record.window);
            break;
        case WindowEvent::CloseAll:
            platform::CloseAllWindows();
            break;
        }
    }
}

// Filled slot by slot, so that no entry can land in its neighbour's place.
platform::Backend MakeTable()
{
    platform::Backend backend = {};
    backend.reportError = ScriptedReportError;
    backend.screenSize = ScriptedScreenSize;
    backend.setDisplayMode = ScriptedSetDisplayMode;
    backend.restoreDisplayMode = ScriptedRestoreDisplayMode;
    backend.createWindow = ScriptedCreateWindow;
    backend.destroyWindow = ScriptedDestroyWindow;
    backend.showWindow = ScriptedShowWindow;
    backend.windowExists = ScriptedWindowExists;
    backend.choosePixelFormat = ScriptedChoosePixelFormat;
    backend.setPixelFormat = ScriptedSetPixelFormat;
    backend.createContext = ScriptedCreateContext;
    backend.makeCurrent = ScriptedMakeCurrent;
    backend.deleteContext = ScriptedDeleteContext;
    backend.swapBuffers = ScriptedSwapBuffers;
    backend.keyState = ScriptedKeyState;
    backend.messageBox = ScriptedMessageBox;
    backend.sleep = ScriptedSleep;
    backend.pumpEvents = ScriptedPumpEvents;
    return backend;
}

} // namespace

const platform::Backend &Table()
{
    static const platform::Backend backend = MakeTable();
    return backend;
}

void Install()
{
    g_scripted = State{};
    platform::SetBackend(&Table());
    platform::ResetCore();
}

Script &CurrentScript()
{
    return g_scripted.script;
}

Record &CurrentRecord()
{
    return g_scripted.record;
}

void SetObserver(void (*observer)(const char *call))
{
    g_scripted.observer = observer;
}

} // namespace scripted
