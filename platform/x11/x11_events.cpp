// The X events that concern the program's windows, told to the core as
// Win32 would tell them, and the close request a signal leaves behind.
#include "x11_platform.h"

#include "../posix/posix.h"

namespace x11 {

namespace {

// ICCCM's WM_STATE values.
constexpr long kNormalState = 1;
constexpr long kIconicState = 3;

void OnWmState(const WindowSlot &slot)
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
        platform::WindowMinimized(X11IdOf(slot));
    } else if (value == kNormalState) {
        platform::WindowRestored(X11IdOf(slot));
    }
}

void OnClientMessage(const WindowSlot &slot, XEvent &event)
{
    const Atoms &a = g_x11.atoms;
    if (event.xclient.message_type != a.wmProtocols || event.xclient.format != 32) {
        return;
    }
    const auto protocol = static_cast<Atom>(event.xclient.data.l[0]);
    if (protocol == a.wmDeleteWindow) {
        platform::PostWindowEvent(X11IdOf(slot), WM_CLOSE, 0, 0);
    } else if (protocol == a.netWmPing) {
        // Answering tells the manager we are alive, not hung.
        event.xclient.window = g_x11.root;
        if (XSendEvent(g_x11.display, g_x11.root, False,
                       SubstructureNotifyMask | SubstructureRedirectMask, &event) == 0) {
            X11ReportError("cannot answer the window manager's ping");
        }
    }
}

void OnWindowEvent(WindowSlot &slot, XEvent &event)
{
    const platform::BackendId id = X11IdOf(slot);
    switch (event.type) {
    case ConfigureNotify:
        // Only the newest size already read matters: a resize storm from
        // another client must not become a backlog of WM_SIZE that holds the
        // quit message back, nor overflow the queue and lose the last size.
        while (XCheckTypedWindowEvent(g_x11.display, slot.handle, ConfigureNotify, &event)) {
        }
        // Inside a manager's frame only its own (synthetic) events give the
        // place on the screen; the server's are relative to the frame.
        if (!slot.reparented || event.xconfigure.send_event) {
            slot.x = event.xconfigure.x;
            slot.y = event.xconfigure.y;
        }
        platform::WindowResized(id, event.xconfigure.width, event.xconfigure.height);
        break;
    case ReparentNotify:
        slot.reparented = event.xreparent.parent != g_x11.root;
        break;
    case MapNotify:
        if (!slot.mapped && g_x11.ewmhFullscreen) {
            X11AskForPrimaryMonitor(slot);
        }
        slot.mapped = true;
        platform::WindowRestored(id);
        break;
    case UnmapNotify: {
        const bool wasMapped = slot.mapped;
        slot.mapped = false;
        // Our own hiding is not the user minimising.
        if (wasMapped && slot.state->visible && !event.xunmap.from_configure) {
            platform::WindowMinimized(id);
        }
        break;
    }
    case PropertyNotify:
        if (event.xproperty.atom == g_x11.atoms.wmState &&
            event.xproperty.state == PropertyNewValue) {
            OnWmState(slot);
        }
        break;
    case ClientMessage:
        OnClientMessage(slot, event);
        break;
    case DestroyNotify:
        // Another client destroyed it (ours clear the slot first). Win32
        // has no such thing, so the program hears what closing it would
        // have told it, and nothing is asked of the dead window again.
        GlxReleaseDrawable(slot.handle);
        slot.handle = None;
        slot.mapped = false;
        platform::PostWindowEvent(id, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

} // namespace

bool X11HandleEvent(XEvent &event)
{
    if (X11HandleKeyEvent(event)) {
        return true;
    }
    if (event.type == GenericEvent) {
        return false;
    }
    if (X11HandleScreenEvent(event)) {
        return true;
    }
    WindowSlot *slot = X11SlotOfHandle(event.xany.window);
    if (slot == nullptr) {
        return false;
    }
    OnWindowEvent(*slot, event);
    return true;
}

void X11PumpEvents()
{
    posix::PosixDeliverCloseRequest();
    // XPending flushes and reads without blocking; XNextEvent then only
    // takes what has already arrived.
    while (XPending(g_x11.display) > 0) {
        XEvent event;
        XNextEvent(g_x11.display, &event);
        X11HandleEvent(event);
    }
}

} // namespace x11
