// Top-level windows: their slots, creation with the hints a window manager
// reads, making them again for a pixel format's visual, showing and
// destruction.
#include "x11_platform.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
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

// Whether the window is a pop-up covering the whole primary monitor, as a
// full-screen one does.
bool CoversPrimary(const WindowSlot &slot)
{
    const Monitor m = X11PrimaryMonitor();
    return (slot.state->style & WS_POPUP) != 0 && slot.x <= m.x && slot.y <= m.y &&
           slot.x + slot.state->width >= m.x + m.width &&
           slot.y + slot.state->height >= m.y + m.height;
}

// Everything a window manager reads before the window is first mapped.
void SetProperties(const WindowSlot &slot, Window window)
{
    Display *display = g_x11.display;
    const Atoms &a = g_x11.atoms;

    const Atom protocols[] = {a.wmDeleteWindow, a.netWmPing};
    X11SetTopLevelProperties(window, slot.state->title, protocols, 2);

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
        // it takes. A manager that cannot be told the monitor picks the one
        // the window is on, which is why it is placed there before mapping.
        if (g_x11.ewmhFullscreen && slot.onMonitor) {
            XChangeProperty(display, window, a.netWmState, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(&a.netWmStateFullscreen), 1);
        }
    }
}

// An X window for the slot, with its properties, under the error trap. A
// null visual means the screen's default, with its default colormap; any
// other gets a colormap of its own. On failure it says so and leaves nothing
// behind.
bool MakeXWindow(const WindowSlot &slot, Visual *visual, int depth, const char *failure,
                 Window *window, Colormap *colormap)
{
    Display *display = g_x11.display;
    XSetWindowAttributes attributes = {};
    // No background: the window is never erased, only drawn over by GL.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.event_mask = StructureNotifyMask | PropertyChangeMask;
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask;
    // X refuses an empty window; Win32 allows one.
    const int w = slot.state->width;
    const int h = slot.state->height;
    const unsigned width = w > 0 ? static_cast<unsigned>(w) : 1U;
    const unsigned height = h > 0 ? static_cast<unsigned>(h) : 1U;

    X11TrapErrors();
    *colormap = None;
    if (visual != nullptr) {
        *colormap = XCreateColormap(display, g_x11.root, visual, AllocNone);
        attributes.colormap = *colormap;
        mask |= CWColormap;
    }
    *window =
        XCreateWindow(display, g_x11.root, slot.x, slot.y, width, height, 0,
                      visual != nullptr ? depth : static_cast<int>(CopyFromParent), InputOutput,
                      visual != nullptr ? visual : CopyFromParent, mask, &attributes);
    if (*window != None) {
        SetProperties(slot, *window);
    }
    const int error = X11UntrapErrors();
    if (*window != None && error == Success) {
        return true;
    }
    X11ReportXError(failure, error);
    X11TrapErrors();
    if (*window != None) {
        XDestroyWindow(display, *window);
    }
    if (*colormap != None) {
        XFreeColormap(display, *colormap);
    }
    X11UntrapErrors();
    *window = None;
    *colormap = None;
    return false;
}

} // namespace

WindowSlot *X11SlotOfId(platform::BackendId window)
{
    if (window == 0 || window > static_cast<platform::BackendId>(kWindowSlots)) {
        return nullptr;
    }
    WindowSlot &slot = g_x11.windows[window - 1];
    return slot.state != nullptr ? &slot : nullptr;
}

WindowSlot *X11SlotOfHandle(Window handle)
{
    for (WindowSlot &slot : g_x11.windows) {
        if (slot.state != nullptr && slot.handle == handle) {
            return &slot;
        }
    }
    return nullptr;
}

platform::BackendId X11IdOf(const WindowSlot &slot)
{
    return static_cast<platform::BackendId>(&slot - g_x11.windows) + 1;
}

void X11SetTopLevelProperties(Window window, const char *title, const Atom *protocols, int count)
{
    Display *display = g_x11.display;
    const Atoms &a = g_x11.atoms;
    XStoreName(display, window, title);
    XChangeProperty(display, window, a.netWmName, a.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(title),
                    static_cast<int>(std::strlen(title)));
    char resName[] = "tower";
    char resClass[] = "Tower";
    XClassHint classHint = {resName, resClass};
    XSetClassHint(display, window, &classHint);
    XChangeProperty(display, window, a.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(kX11Icon), kX11IconLongs);

    // Together they let a desktop offer to end the program when it hangs.
    const long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, a.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&pid), 1);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        X11ReportError("cannot name this machine for the window manager", std::strerror(errno));
    } else {
        XTextProperty machine = {};
        machine.value = reinterpret_cast<unsigned char *>(host);
        machine.encoding = XA_STRING;
        machine.format = 8;
        machine.nitems = std::strlen(host);
        XSetWMClientMachine(display, window, &machine);
    }
    // The protocols are the one property Xlib checks itself, by interning
    // WM_PROTOCOLS; the others fail, if at all, as protocol errors.
    if (XSetWMProtocols(display, window, const_cast<Atom *>(protocols), count) == 0) {
        X11ReportError("cannot set the window's WM_PROTOCOLS");
    }
}

platform::BackendId X11CreateWindow(const platform::WindowState *state, int x, int y)
{
    WindowSlot *slot = std::find_if(std::begin(g_x11.windows), std::end(g_x11.windows),
                                    [](const WindowSlot &s) { return s.state == nullptr; });
    if (slot == std::end(g_x11.windows)) {
        X11ReportError("cannot create the window", "too many windows");
        return 0;
    }

    // Win32 puts the primary monitor's corner at 0,0; X puts the screen's.
    const Monitor primary = X11PrimaryMonitor();

    WindowSlot made = {};
    made.state = state;
    made.x = x + primary.x;
    made.y = y + primary.y;
    made.onMonitor = CoversPrimary(made);
    if (!MakeXWindow(made, nullptr, 0, "cannot create the window", &made.handle, &made.colormap)) {
        return 0;
    }
    *slot = made;
    return X11IdOf(*slot);
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
    Window window = None;
    Colormap colormap = None;
    if (!MakeXWindow(slot, visual, depth, "cannot make a window with the pixel format's visual",
                     &window, &colormap)) {
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
    WindowSlot *slot = X11SlotOfId(window);
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

void X11FollowPrimaryMonitor()
{
    const Monitor m = X11PrimaryMonitor();
    for (WindowSlot &slot : g_x11.windows) {
        if (slot.state == nullptr || slot.handle == None || !slot.onMonitor) {
            continue;
        }
        // A manager that made the window full-screen keeps it so as the
        // screen changes; moving it as well would fight it.
        if (g_x11.ewmhFullscreen && slot.mapped) {
            X11AskForPrimaryMonitor(slot);
            continue;
        }
        // The program hears the new size from the ConfigureNotify this brings.
        slot.x = m.x;
        slot.y = m.y;
        XMoveResizeWindow(g_x11.display, slot.handle, m.x, m.y, static_cast<unsigned>(m.width),
                          static_cast<unsigned>(m.height));
    }
    XFlush(g_x11.display);
}

void X11AskForPrimaryMonitor(const WindowSlot &slot)
{
    const Monitor m = X11PrimaryMonitor();
    if (!g_x11.ewmhFullscreenMonitors || !slot.onMonitor || m.index < 0) {
        return;
    }
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = slot.handle;
    event.xclient.message_type = g_x11.atoms.netWmFullscreenMonitors;
    event.xclient.format = 32;
    // Top, bottom, left and right edge all on the one monitor; then "asked
    // by an application".
    event.xclient.data.l[0] = m.index;
    event.xclient.data.l[1] = m.index;
    event.xclient.data.l[2] = m.index;
    event.xclient.data.l[3] = m.index;
    event.xclient.data.l[4] = 1;
    if (XSendEvent(g_x11.display, g_x11.root, False,
                   SubstructureNotifyMask | SubstructureRedirectMask, &event) == 0) {
        X11ReportError("cannot ask the window manager for the primary monitor");
    }
}

void X11ShowWindow(platform::BackendId window, bool visible)
{
    WindowSlot *slot = X11SlotOfId(window);
    if (slot == nullptr || slot->handle == None) {
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
bool X11WindowExists(platform::BackendId window)
{
    const WindowSlot *slot = X11SlotOfId(window);
    return slot != nullptr && slot->handle != None;
}

} // namespace x11
