// Top-level windows: creation with the hints a window manager reads, showing,
// destruction, and the X events that become window messages.
#include "x11_platform.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace x11 {

namespace {

// The layout window managers read from _MOTIF_WM_HINTS.
struct MotifWmHints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long inputMode;
    unsigned long status;
};
constexpr unsigned long kMotifHintsDecorations = 1UL << 1;

// ICCCM's WM_STATE values.
constexpr long kNormalState = 1;
constexpr long kIconicState = 3;

platform::BackendId IdOf(const WindowSlot &slot)
{
    return static_cast<platform::BackendId>(&slot - g_x11.windows) + 1;
}

WindowSlot *X11WindowOfHandle(Window handle)
{
    for (WindowSlot &slot : g_x11.windows) {
        if (slot.state != nullptr && slot.handle == handle) {
            return &slot;
        }
    }
    return nullptr;
}

void Post(const WindowSlot &slot, UINT message, WPARAM wParam, LPARAM lParam)
{
    platform::PostWindowEvent(IdOf(slot), message, wParam, lParam);
}

// Whether the window covers the whole primary monitor, as a full-screen
// pop-up does.
bool CoversPrimary(const WindowSlot &slot)
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    X11PrimaryMonitor(&x, &y, &width, &height);
    return slot.x <= x && slot.y <= y && slot.x + slot.state->width >= x + width &&
           slot.y + slot.state->height >= y + height;
}

// Everything a window manager reads before the window is first mapped.
void SetProperties(const WindowSlot &slot, Window window)
{
    Display *display = g_x11.display;
    const Atoms &a = g_x11.atoms;

    const char *title = slot.state->title;
    XStoreName(display, window, title);
    XChangeProperty(display, window, a.netWmName, a.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(title),
                    static_cast<int>(std::strlen(title)));

    char resName[] = "tower";
    char resClass[] = "Tower";
    XClassHint classHint = {resName, resClass};
    XSetClassHint(display, window, &classHint);

    Atom protocols[] = {a.wmDeleteWindow, a.netWmPing};
    if (XSetWMProtocols(display, window, protocols, 2) == 0) {
        X11ReportError("cannot set the window's WM_PROTOCOLS");
    }
    const long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, a.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&pid), 1);

    // The program placed the window itself; a window manager should not.
    XSizeHints sizeHints = {};
    sizeHints.flags = USPosition | USSize | PWinGravity;
    sizeHints.x = slot.x;
    sizeHints.y = slot.y;
    sizeHints.width = slot.state->width;
    sizeHints.height = slot.state->height;
    sizeHints.win_gravity = StaticGravity;
    XSetWMNormalHints(display, window, &sizeHints);

    XWMHints wmHints = {};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = NormalState;
    XSetWMHints(display, window, &wmHints);

    if ((slot.state->style & WS_POPUP) != 0) {
        MotifWmHints motif = {};
        motif.flags = kMotifHintsDecorations;
        motif.decorations = 0;
        XChangeProperty(display, window, a.motifWmHints, a.motifWmHints, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&motif), 5);
        // A manager would otherwise keep its panels above a window the size
        // of the screen. On a bare server the window's own rectangle is all
        // it takes.
        if (g_x11.ewmhFullscreen && CoversPrimary(slot)) {
            XChangeProperty(display, window, a.netWmState, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(&a.netWmStateFullscreen), 1);
        }
    }
}

// An X window for the slot's rectangle; CopyFromParent visual and depth with
// no colormap give the screen's default visual.
Window MakeXWindow(const WindowSlot &slot, Visual *visual, int depth, Colormap colormap)
{
    XSetWindowAttributes attributes = {};
    // No background: the window is never erased, only drawn over by GL.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.event_mask = StructureNotifyMask | PropertyChangeMask;
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask;
    if (colormap != None) {
        attributes.colormap = colormap;
        mask |= CWColormap;
    }
    // X refuses an empty window; Win32 allows one.
    const int w = slot.state->width;
    const int h = slot.state->height;
    const unsigned width = w > 0 ? static_cast<unsigned>(w) : 1U;
    const unsigned height = h > 0 ? static_cast<unsigned>(h) : 1U;
    const Window window = XCreateWindow(g_x11.display, g_x11.root, slot.x, slot.y, width, height, 0,
                                        depth, InputOutput, visual, mask, &attributes);
    if (window != None) {
        SetProperties(slot, window);
    }
    return window;
}

void OnWmState(WindowSlot &slot)
{
    long *state = nullptr;
    const unsigned long count =
        X11GetWindowProperty(slot.handle, g_x11.atoms.wmState, g_x11.atoms.wmState,
                             reinterpret_cast<unsigned char **>(&state));
    if (count == 0) {
        return;
    }
    const long value = state[0];
    XFree(state);
    if (value == kIconicState) {
        platform::WindowMinimized(IdOf(slot));
    } else if (value == kNormalState) {
        platform::WindowRestored(IdOf(slot));
    }
}

void OnClientMessage(WindowSlot &slot, XEvent &event)
{
    const Atoms &a = g_x11.atoms;
    if (event.xclient.message_type != a.wmProtocols || event.xclient.format != 32) {
        return;
    }
    const auto protocol = static_cast<Atom>(event.xclient.data.l[0]);
    if (protocol == a.wmDeleteWindow) {
        Post(slot, WM_CLOSE, 0, 0);
    } else if (protocol == a.netWmPing) {
        // Answering tells the manager we are alive, not hung.
        event.xclient.window = g_x11.root;
        if (XSendEvent(g_x11.display, g_x11.root, False,
                       SubstructureNotifyMask | SubstructureRedirectMask, &event) == 0) {
            X11ReportError("cannot answer the window manager's ping");
        }
    }
}

// A signal asked us to close: tell the program's windows, as a user closing
// them would. Before any window exists the request waits for one; if none
// ever comes, set-up has failed, and that failure already ends the program.
void DeliverCloseRequest()
{
    if (platform::CloseAllWindows()) {
        PosixClearCloseRequest();
    }
}

} // namespace

WindowSlot *X11WindowOfId(platform::BackendId window)
{
    if (window == 0 || window > static_cast<platform::BackendId>(kMaxWindows)) {
        return nullptr;
    }
    WindowSlot &slot = g_x11.windows[window - 1];
    return slot.state != nullptr ? &slot : nullptr;
}

platform::BackendId X11CreateWindow(const platform::WindowState *state, int x, int y)
{
    if (g_x11.display == nullptr) {
        return 0;
    }
    WindowSlot *slot = nullptr;
    for (WindowSlot &candidate : g_x11.windows) {
        if (candidate.state == nullptr) {
            slot = &candidate;
            break;
        }
    }
    if (slot == nullptr) {
        X11ReportError("cannot create the window", "too many windows");
        return 0;
    }

    // Win32 puts the primary monitor's corner at 0,0; X puts the screen's.
    int originX = 0;
    int originY = 0;
    int monitorWidth = 0;
    int monitorHeight = 0;
    X11PrimaryMonitor(&originX, &originY, &monitorWidth, &monitorHeight);

    *slot = WindowSlot{};
    slot->state = state;
    slot->x = x + originX;
    slot->y = y + originY;

    X11TrapErrors();
    const Window window = MakeXWindow(*slot, CopyFromParent, CopyFromParent, None);
    const int error = X11UntrapErrors();
    if (window == None || error != Success) {
        X11ReportXError("cannot create the window", error);
        if (window != None) {
            X11TrapErrors();
            XDestroyWindow(g_x11.display, window);
            X11UntrapErrors();
        }
        *slot = WindowSlot{};
        return 0;
    }
    slot->handle = window;
    return IdOf(*slot);
}

// An X window's visual is fixed when it is created, and Win32 creates the
// window before anyone names a pixel format. The window has never been
// mapped at this point (the program shows it only after setting the
// format), so nobody has seen it and we simply make it again with the right
// visual. A child GL window would do too, but would have to follow its
// parent's size and forward its events for ever after.
bool X11SetWindowVisual(WindowSlot &slot, Visual *visual, int depth)
{
    Display *display = g_x11.display;
    if (slot.handle == None) {
        return false;
    }
    X11TrapErrors();
    const Colormap colormap = XCreateColormap(display, g_x11.root, visual, AllocNone);
    const Window window = MakeXWindow(slot, visual, depth, colormap);
    const int error = X11UntrapErrors();
    if (window == None || error != Success) {
        X11ReportXError("cannot make a window with the pixel format's visual", error);
        X11TrapErrors();
        if (window != None) {
            XDestroyWindow(display, window);
        }
        XFreeColormap(display, colormap);
        X11UntrapErrors();
        return false;
    }
    XDestroyWindow(display, slot.handle);
    if (slot.colormap != None) {
        XFreeColormap(display, slot.colormap);
    }
    slot.handle = window;
    slot.colormap = colormap;
    slot.mapped = false;
    if (slot.state->visible) {
        XMapRaised(display, window);
    }
    XFlush(display);
    return true;
}

void X11DestroyWindow(platform::BackendId window)
{
    WindowSlot *slot = X11WindowOfId(window);
    if (slot == nullptr) {
        return;
    }
    if (slot->handle != None) {
        XDestroyWindow(g_x11.display, slot->handle);
    }
    if (slot->colormap != None) {
        XFreeColormap(g_x11.display, slot->colormap);
    }
    *slot = WindowSlot{};
    XFlush(g_x11.display);
}

void X11ShowWindow(platform::BackendId window, bool visible)
{
    WindowSlot *slot = X11WindowOfId(window);
    if (slot == nullptr) {
        return;
    }
    if (slot->handle == None) {
        return;
    }
    if (visible) {
        XMapRaised(g_x11.display, slot->handle);
    } else if (XWithdrawWindow(g_x11.display, slot->handle, g_x11.screen) == 0) {
        X11ReportError("cannot hide the window");
    }
    XFlush(g_x11.display);
}

// An X window can always be drawn into; the device context is only a name.
bool X11GetDC(platform::BackendId window)
{
    const WindowSlot *slot = X11WindowOfId(window);
    return slot != nullptr && slot->handle != None;
}

bool X11HandleEvent(XEvent &event)
{
    if (X11HandleKeyEvent(event)) {
        return true;
    }
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        X11RefreshKeyboard();
        return true;
    }
    if (event.type == GenericEvent) {
        return false;
    }
    WindowSlot *slot = X11WindowOfHandle(event.xany.window);
    if (slot == nullptr) {
        return false;
    }
    switch (event.type) {
    case ConfigureNotify: {
        // Only the newest size already read matters: a resize storm from
        // another client must not become a backlog of WM_SIZE that holds the
        // quit message back, nor overflow the queue and lose the last size.
        while (XCheckTypedWindowEvent(g_x11.display, slot->handle, ConfigureNotify, &event)) {
        }
        platform::WindowResized(IdOf(*slot), event.xconfigure.width, event.xconfigure.height);
        break;
    }
    case MapNotify:
        slot->mapped = true;
        platform::WindowRestored(IdOf(*slot));
        break;
    case UnmapNotify: {
        const bool wasMapped = slot->mapped;
        slot->mapped = false;
        // Our own hiding is not the user minimising.
        if (wasMapped && slot->state->visible && !event.xunmap.from_configure) {
            platform::WindowMinimized(IdOf(*slot));
        }
        break;
    }
    case PropertyNotify:
        if (event.xproperty.atom == g_x11.atoms.wmState &&
            event.xproperty.state == PropertyNewValue) {
            OnWmState(*slot);
        }
        break;
    case ClientMessage:
        OnClientMessage(*slot, event);
        break;
    case DestroyNotify:
        // Another client destroyed it (ours clear the slot first). Win32
        // has no such thing, so the program hears what closing it would
        // have told it, and nothing is asked of the dead window again.
        GlxReleaseDrawable(slot->handle);
        slot->handle = None;
        slot->mapped = false;
        Post(*slot, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
    return true;
}

void X11PumpEvents()
{
    if (PosixCloseRequested()) {
        DeliverCloseRequest();
    }
    if (g_x11.display == nullptr) {
        return;
    }
    // XPending flushes and reads without blocking; XNextEvent then only
    // takes what has already arrived.
    while (XPending(g_x11.display) > 0) {
        XEvent event;
        XNextEvent(g_x11.display, &event);
        X11HandleEvent(event);
    }
}

} // namespace x11
