// The scripted backend: answers from the script, remembers in the record.
#include "scripted_backend.h"

#include "../core/backend.h"

#include <cstdarg>
#include <cstdio>

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

void ScreenSize(int *width, int *height)
{
    *width = g_script.screenWidth;
    *height = g_script.screenHeight;
}

LONG SetDisplayMode(int width, int height, int bits)
{
    Log("ChangeDisplaySettings %dx%d %d", width, height, bits);
    g_record.modeRequests.push_back(DisplayMode{width, height, bits});
    if (g_script.displayModeResult == DISP_CHANGE_SUCCESSFUL) {
        g_record.displayChanged = true;
    }
    return g_script.displayModeResult;
}

LONG RestoreDisplayMode()
{
    Log("RestoreDisplayMode");
    ++g_record.restores;
    g_record.displayChanged = false;
    return DISP_CHANGE_SUCCESSFUL;
}

platform::BackendId CreateWindow(int x, int y, int width, int height, DWORD style,
                                 const char *title)
{
    Log("CreateWindow %d,%d %dx%d", x, y, width, height);
    if (g_script.failWindow) {
        return 0;
    }
    g_record.window = kWindowId;
    g_record.windowX = x;
    g_record.windowY = y;
    g_record.windowWidth = width;
    g_record.windowHeight = height;
    g_record.windowStyle = style;
    g_record.windowTitle = title != nullptr ? title : "";
    return kWindowId;
}

void DestroyWindow(platform::BackendId /*window*/)
{
    Log("DestroyWindow");
    g_record.windowDestroyed = true;
    g_record.windowVisible = false;
}

void ShowWindow(platform::BackendId /*window*/, bool visible)
{
    Log("ShowWindow %d", visible ? 1 : 0);
    g_record.windowVisible = visible;
}

bool GetDC(platform::BackendId /*window*/)
{
    Log("GetDC");
    return !g_script.failDC;
}

int ChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd)
{
    Log("ChoosePixelFormat %d/%d", pfd->cColorBits, pfd->cDepthBits);
    g_record.chosenFormat = g_script.failChoosePixelFormat ? 0 : kFormat565;
    return g_record.chosenFormat;
}

bool SetPixelFormat(platform::BackendId /*window*/, int format)
{
    Log("SetPixelFormat %d", format);
    if (g_script.failSetPixelFormat) {
        return false;
    }
    g_record.formatSet = format;
    return true;
}

platform::BackendId CreateContext(platform::BackendId /*window*/, int /*format*/)
{
    Log("CreateContext");
    if (g_script.failCreateContext) {
        return 0;
    }
    return kFirstContextId + static_cast<platform::BackendId>(g_record.contextsCreated++);
}

bool MakeCurrent(platform::BackendId /*window*/, platform::BackendId context)
{
    Log("MakeCurrent %d", context != 0 ? 1 : 0);
    if (context != 0 && g_script.failMakeCurrent) {
        return false;
    }
    g_record.current = context;
    return true;
}

void DeleteContext(platform::BackendId /*context*/)
{
    Log("DeleteContext");
    ++g_record.contextsDeleted;
}

bool SwapBuffers(platform::BackendId /*window*/)
{
    Log("SwapBuffers");
    ++g_record.swaps;
    return true;
}

bool KeyState(int vkey, bool *pressed)
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

void MessageBox(platform::BackendId owner, const char *text, const char *caption, UINT type)
{
    Log("MessageBox %s: %s", caption, text);
    g_record.boxes.push_back(MessageBoxRecord{owner, text, caption, type});
}

void Sleep(DWORD milliseconds)
{
    Log("Sleep %u", static_cast<unsigned>(milliseconds));
    ++g_record.sleeps;
}

void PumpEvents()
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

const platform::Backend kBackend = {
    ScreenSize,  SetDisplayMode,    RestoreDisplayMode, CreateWindow,  DestroyWindow, ShowWindow,
    GetDC,       ChoosePixelFormat, SetPixelFormat,     CreateContext, MakeCurrent,   DeleteContext,
    SwapBuffers, KeyState,          MessageBox,         Sleep,         PumpEvents,
};

} // namespace

void Install()
{
    g_script = Script{};
    g_record = Record{};
    g_escapeWasDown = false;
    platform::SetBackend(&kBackend);
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
