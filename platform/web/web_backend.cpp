// The browser backend assembled: the entry points the core calls, each either
// a call into the page or bookkeeping that needs no browser.
#include "web_backend.h"

namespace web {

namespace {

// What a WebGL canvas can have: 8-bit RGB colour, always double-buffered,
// with or without a depth buffer (at least 16 bits) and a stencil buffer
// (8 bits). Formats are numbered from 1 in this order.
struct PixelFormat {
    bool depth;
    bool stencil;
};
constexpr PixelFormat kPixelFormats[] = {
    {false, false}, {true, false}, {false, true}, {true, true}};
constexpr int kPixelFormatCount = sizeof kPixelFormats / sizeof kPixelFormats[0];

void WebScreenSize(int *width, int *height)
{
    JsViewportSize(width, height);
}

// The canvas always covers the page, so the position and style asked for
// have nothing to act on.
platform::BackendId WebCreateWindow(const platform::WindowState *state, int /*x*/, int /*y*/)
{
    return JsCreateWindow(state->width, state->height, state->title);
}

void WebDestroyWindow(platform::BackendId window)
{
    JsDestroyWindow(window);
}

void WebShowWindow(platform::BackendId window, bool visible)
{
    JsShowWindow(window, visible ? 1 : 0);
}

// A canvas is always there to draw on.
bool WebWindowExists(platform::BackendId window)
{
    return window != 0;
}

// As on Windows, the closest format wins; only what WebGL has no notion of
// (colour-index, drawing to a bitmap or with GDI) matches nothing.
int WebChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd)
{
    const DWORD unsupported = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_GDI;
    if (pfd->iPixelType != PFD_TYPE_RGBA || (pfd->dwFlags & PFD_SUPPORT_OPENGL) == 0 ||
        (pfd->dwFlags & unsupported) != 0) {
        JsReportError("no pixel format matches", "WebGL draws only RGBA, to a canvas, without GDI");
        return 0;
    }
    const PixelFormat wanted = {pfd->cDepthBits > 0, pfd->cStencilBits > 0};
    for (int i = 0; i < kPixelFormatCount; ++i) {
        if (kPixelFormats[i].depth == wanted.depth && kPixelFormats[i].stencil == wanted.stencil) {
            return i + 1;
        }
    }
    return 0;
}

// The buffers are fixed when the context is made; until then there is
// nothing to set.
bool WebSetPixelFormat(platform::BackendId /*window*/, int format)
{
    if (format < 1 || format > kPixelFormatCount) {
        JsReportError("no such pixel format", nullptr);
        return false;
    }
    return true;
}

platform::BackendId WebCreateContext(platform::BackendId window, int format)
{
    if (format < 1 || format > kPixelFormatCount) {
        JsReportError("no such pixel format", nullptr);
        return 0;
    }
    const PixelFormat &pf = kPixelFormats[format - 1];
    return JsCreateContext(window, pf.depth ? 1 : 0, pf.stencil ? 1 : 0);
}

// The canvas has one context, so the window adds nothing.
bool WebMakeCurrent(platform::BackendId /*window*/, platform::BackendId context)
{
    return JsMakeCurrent(context) != 0;
}

void WebDeleteContext(platform::BackendId context)
{
    JsDeleteContext(context);
}

// The browser presents what was drawn when the program next yields to it,
// which Sleep does every frame; there is nothing to swap.
bool WebSwapBuffers(platform::BackendId window)
{
    return JsPresent(window) != 0;
}

bool WebKeyState(int vkey, bool *pressedSinceLastCall)
{
    int pressed = 0;
    const bool down = JsKeyState(vkey, &pressed) != 0;
    *pressedSinceLastCall = pressed != 0;
    return down;
}

// Every box has only OK, so the type changes nothing.
void WebMessageBox(platform::BackendId /*owner*/, const char *text, const char *caption,
                   UINT /*type*/)
{
    JsMessageBox(text, caption);
}

// The program gives up the thread here, so the browser presents the frame
// and runs its event handlers.
void WebSleep(DWORD milliseconds)
{
    JsSleep(static_cast<int>(milliseconds));
}

void WebPumpEvents()
{
    int width = 0;
    int height = 0;
    // The handlers only take note, so a burst of resizes tells one size.
    if (const platform::BackendId window = JsTakeResize(&width, &height)) {
        platform::WindowResized(window, width, height);
    }
    if (JsTakeClose() != 0) {
        platform::CloseAllWindows();
    }
}

platform::Backend MakeBackend()
{
    platform::Backend b = {};
    b.reportError = JsReportError;
    b.screenSize = WebScreenSize;
    // No display-mode slots: a page cannot change the screen's mode.
    b.screenName = "page";
    b.createWindow = WebCreateWindow;
    b.destroyWindow = WebDestroyWindow;
    b.showWindow = WebShowWindow;
    b.windowExists = WebWindowExists;
    b.choosePixelFormat = WebChoosePixelFormat;
    b.setPixelFormat = WebSetPixelFormat;
    b.createContext = WebCreateContext;
    b.makeCurrent = WebMakeCurrent;
    b.deleteContext = WebDeleteContext;
    b.swapBuffers = WebSwapBuffers;
    b.keyState = WebKeyState;
    b.messageBox = WebMessageBox;
    b.sleep = WebSleep;
    b.pumpEvents = WebPumpEvents;
    return b;
}

const platform::Backend kBackend = MakeBackend();

} // namespace

const platform::Backend *OpenBackend()
{
    return &kBackend;
}

} // namespace web
