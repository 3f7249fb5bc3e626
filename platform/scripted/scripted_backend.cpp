// The scripted backend: answers from the script, remembers in the record.
#include "scripted_backend.h"

#include "../core/backend.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace scripted {

namespace {

Script g_script;
Record g_record;
void (*g_observer)(const char *) = nullptr;
bool g_escapeWasDown = false;

constexpr platform::BackendId kWindowId = 0x100;
constexpr platform::BackendId kFirstContextId = 0x200;
constexpr int kFormat565 = 1;

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Log(const char* format, ...)
{
    if (!g_script.logCalls) {
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
    g_record.calls.emplace_back(line);
    if (g_observer != nullptr) {
        g_observer(line);
    }
}

void ScriptedReportError(const char *what, const char *detail)
{
    std::string line = what;
    if (detail != nullptr && detail[0] != '\0') {
        line = line + ": " + detail;
    }
    Log("Report %s", line.c_str());
    for (const std::string &said : g_record.reports) {
        if (said == line) {
            return;
        }
    }
    g_record.reports.push_back(line);
}

void ScriptedScreenSize(int *width, int *height)
{
    *width = g_script.screenWidth;
    *height = g_script.screenHeight;
}

LONG ScriptedSetDisplayMode(int width, int height, int bits)
{
    Log("ChangeDisplaySettings %dx%d %d", width, height, bits);
    g_record.modeRequests.push_back(DisplayMode{width, height, bits});
    if (g_script.displayModeResult == DISP_CHANGE_SUCCESSFUL) {
        g_record.displayChanged = true;
    }
    return g_script.displayModeResult;
}

LONG ScriptedRestoreDisplayMode()
{
    Log("RestoreDisplayMode");
    ++g_record.restores;
    g_record.displayChanged = false;
    return DISP_CHANGE_SUCCESSFUL;
}

platform::BackendId ScriptedCreateWindow(const platform::WindowState *state, int x, int y)
{
    Log("CreateWindow %d,%d %dx%d", x, y, state->width, state->height);
    if (g_script.failWindow) {
        return 0;
    }
    g_record.window = kWindowId;
    g_record.windowX = x;
    g_record.windowY = y;
    g_record.windowWidth = state->width;
    g_record.windowHeight = state->height;
    g_record.windowStyle = state->style;
    g_record.windowTitle = state->title;
    return kWindowId;
}

void ScriptedDestroyWindow(platform::BackendId /*window*/)
{
    Log("DestroyWindow");
    g_record.windowDestroyed = true;
    g_record.windowVisible = false;
}

void ScriptedShowWindow(platform::BackendId /*window*/, bool visible)
{
    Log("ShowWindow %d", visible ? 1 : 0);
    g_record.windowVisible = visible;
}

bool ScriptedWindowExists(platform::BackendId /*window*/)
{
    Log("GetDC");
    return !g_script.failDC;
}

int ScriptedChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd)
{
    Log("ChoosePixelFormat %d/%d", pfd->cColorBits, pfd->cDepthBits);
    g_record.chosenFormat = g_script.failChoosePixelFormat ? 0 : kFormat565;
    return g_record.chosenFormat;
}

bool ScriptedSetPixelFormat(platform::BackendId /*window*/, int format)
{
    Log("SetPixelFormat %d", format);
    if (g_script.failSetPixelFormat) {
        return false;
    }
    g_record.formatSet = format;
    return true;
}

platform::BackendId ScriptedCreateContext(platform::BackendId /*window*/, int /*format*/)
{
    Log("CreateContext");
    if (g_script.failCreateContext) {
        return 0;
    }
    return kFirstContextId + static_cast<platform::BackendId>(g_record.contextsCreated++);
}

bool ScriptedMakeCurrent(platform::BackendId /*window*/, platform::BackendId context)
{
    Log("MakeCurrent %d", context != 0 ? 1 : 0);
    if (context != 0 && g_script.failMakeCurrent) {
        return false;
    }
    g_record.current = context;
    return true;
}

void ScriptedDeleteContext(platform::BackendId /*context*/)
{
    Log("DeleteContext");
    ++g_record.contextsDeleted;
}

bool ScriptedSwapBuffers(platform::BackendId /*window*/)
{
    Log("SwapBuffers");
    ++g_record.swaps;
    return true;
}

bool ScriptedKeyState(int vkey, bool *pressed)
{
    Log("GetAsyncKeyState %d", vkey);
    ++g_record.keyPolls;
    const bool down =
        vkey == VK_ESCAPE && g_script.escapeDown && g_script.escapeDown(g_record.passes);
    *pressed = down && !g_escapeWasDown;
    if (vkey == VK_ESCAPE) {
        g_escapeWasDown = down;
    }
    return down;
}

void ScriptedMessageBox(platform::BackendId owner, const char *text, const char *caption, UINT type)
{
    Log("MessageBox %s: %s", caption, text);
    g_record.boxes.push_back(MessageBoxRecord{owner, text, caption, type});
}

void ScriptedSleep(DWORD milliseconds)
{
    Log("Sleep %u", static_cast<unsigned>(milliseconds));
    ++g_record.sleeps;
}

void ScriptedPumpEvents()
{
    ++g_record.passes;
    Log("PeekMessage");
    if (g_record.passes > g_script.maxPasses) {
        throw Runaway{g_record.passes};
    }
    for (const Injection &in : g_script.injections) {
        if (in.pass == g_record.passes && g_record.window != 0) {
            platform::PostWindowEvent(g_record.window, in.message, in.wParam, in.lParam);
        }
    }
}

// Filled slot by slot, so that no entry can land in its neighbour's place.
platform::Backend Table()
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

void Install()
{
    g_script = Script{};
    g_record = Record{};
    g_escapeWasDown = false;
    static const platform::Backend backend = Table();
    platform::SetBackend(&backend);
    platform::ResetCore();
}

Script &CurrentScript()
{
    return g_script;
}

Record &CurrentRecord()
{
    return g_record;
}

void SetObserver(void (*observer)(const char *call))
{
    g_observer = observer;
}

} // namespace scripted
