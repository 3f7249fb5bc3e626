// MessageBoxA: the words on stderr, always, and a small modal X window with
// an OK button where there is a display. It keeps the program's own windows
// hearing their events while it waits, and gives way to a close request.
#include "x11_backend.h"
#include "x11_box_face.h"
#include "x11_platform.h"

#include "../posix/posix.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>

#include <chrono>
#include <cstring>

namespace x11 {

namespace {

// How long one wait for the server lasts before a close request is looked at.
constexpr int kPollMilliseconds = 100;
// How long the box may stay unmapped before it is mapped again. A window
// manager that is still starting can drop the request, and one that
// minimises the box leaves it where no taskbar may bring it back from: a
// Win32 box cannot be minimised, and the program would wait on a box nobody
// can reach.
constexpr auto kMapAgainAfter = std::chrono::seconds(1);

struct Box {
    Window window;
    X11BoxFace face;
    bool mapped;
    bool done;
};

// Centred on its owner, or on the primary monitor when it has none.
void Place(platform::BackendId owner, const Box &box, int *x, int *y)
{
    Monitor area = X11PrimaryMonitor();
    const WindowSlot *slot = X11SlotOfId(owner);
    if (slot != nullptr) {
        area = Monitor{slot->x, slot->y, slot->state->width, slot->state->height, -1};
    }
    *x = area.x + (area.width - box.face.width) / 2;
    *y = area.y + (area.height - box.face.height) / 2;
}

void SetProperties(const Box &box, platform::BackendId owner, const char *caption, int x, int y)
{
    Display *display = g_x11.display;
    const Atoms &a = g_x11.atoms;
    X11SetTopLevelProperties(box.window, caption, &a.wmDeleteWindow, 1);
    XChangeProperty(display, box.window, a.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&a.netWmWindowTypeDialog), 1);
    const WindowSlot *slot = X11SlotOfId(owner);
    if (slot != nullptr) {
        XSetTransientForHint(display, box.window, slot->handle);
    }

    XSizeHints sizeHints = {};
    sizeHints.flags = USPosition | PMinSize | PMaxSize;
    sizeHints.x = x;
    sizeHints.y = y;
    sizeHints.min_width = sizeHints.max_width = box.face.width;
    sizeHints.min_height = sizeHints.max_height = box.face.height;
    XSetWMNormalHints(display, box.window, &sizeHints);

    XWMHints wmHints = {};
    wmHints.flags = InputHint;
    wmHints.input = True;
    XSetWMHints(display, box.window, &wmHints);
}

void OnBoxEvent(Box &box, XEvent &event)
{
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) {
            X11DrawBoxFace(box.face, box.window);
        }
        break;
    case MapNotify: {
        box.mapped = true;
        // Without a window manager nobody else would give us the keyboard.
        // A refusal only means a manager keeps focus its own way, and the
        // mouse still works, so it is not worth a report.
        X11TrapErrors();
        XSetInputFocus(g_x11.display, box.window, RevertToPointerRoot, CurrentTime);
        X11UntrapErrors();
        break;
    }
    case UnmapNotify:
        box.mapped = false;
        break;
    case KeyPress: {
        const KeySym sym = XLookupKeysym(&event.xkey, 0);
        box.done = sym == XK_Return || sym == XK_KP_Enter || sym == XK_Escape || sym == XK_space;
        break;
    }
    case ButtonPress:
        if (event.xbutton.button == Button1 &&
            X11InBoxButton(box.face, event.xbutton.x, event.xbutton.y)) {
            box.face.buttonDown = true;
            X11DrawBoxFace(box.face, box.window);
        }
        break;
    case ButtonRelease:
        if (event.xbutton.button == Button1 && box.face.buttonDown) {
            box.face.buttonDown = false;
            box.done = X11InBoxButton(box.face, event.xbutton.x, event.xbutton.y);
            X11DrawBoxFace(box.face, box.window);
        }
        break;
    case ClientMessage:
        box.done = event.xclient.message_type == g_x11.atoms.wmProtocols &&
                   static_cast<Atom>(event.xclient.data.l[0]) == g_x11.atoms.wmDeleteWindow;
        break;
    default:
        break;
    }
}

// Wait for the box to be dismissed. Events for other windows go on to the
// program's queue as they would on Win32, where a modal loop dispatches; a
// caller on another backend keeps its own flowing through keepWaiting.
void RunModal(Box &box, bool (*keepWaiting)())
{
    Display *display = g_x11.display;
    auto unmappedSince = std::chrono::steady_clock::now();
    while (!box.done && !posix::PosixCloseRequested() &&
           (keepWaiting == nullptr || keepWaiting())) {
        while (!box.done && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != GenericEvent && event.xany.window == box.window) {
                OnBoxEvent(box, event);
            } else {
                X11HandleEvent(event);
            }
        }
        if (box.done || posix::PosixCloseRequested()) {
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (box.mapped) {
            unmappedSince = now;
        } else if (now - unmappedSince >= kMapAgainAfter) {
            XMapRaised(display, box.window);
            unmappedSince = now;
        }
        // Only a wait: a signal cuts it short and the loop then sees the
        // close request, and any other way it ends, the loop looks again.
        pollfd connection = {ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, kPollMilliseconds);
    }
}

void ShowBox(platform::BackendId owner, const char *text, const char *caption,
             bool (*keepWaiting)())
{
    Display *display = g_x11.display;
    Box box = {};
    // A window manager shows the caption in the title bar it draws.
    if (!X11InitBoxFace(box.face, text, g_x11.windowManager ? nullptr : caption)) {
        return;
    }

    int x = 0;
    int y = 0;
    Place(owner, box, &x, &y);
    X11TrapErrors();
    box.window =
        XCreateSimpleWindow(display, g_x11.root, x, y, static_cast<unsigned>(box.face.width),
                            static_cast<unsigned>(box.face.height), 1,
                            BlackPixel(display, g_x11.screen), WhitePixel(display, g_x11.screen));
    XSelectInput(display, box.window,
                 ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                     StructureNotifyMask);
    SetProperties(box, owner, caption, x, y);
    XMapRaised(display, box.window);
    const int error = X11UntrapErrors();
    if (error != Success) {
        X11ReportXError("cannot show a message box", error);
    } else {
        RunModal(box, keepWaiting);
    }

    if (box.window != None) {
        XDestroyWindow(display, box.window);
    }
    X11FreeBoxFace(box.face);
    XFlush(display);
}

} // namespace

void X11MessageBox(platform::BackendId owner, const char *text, const char *caption, UINT /*type*/)
{
    // Every box is said on stderr too, so that a run with no one watching
    // the screen still tells why it ended.
    posix::PosixSayMessageBox(caption, text);
    // Once the user has asked the program to close, asking them to click
    // through its boxes would only stand in the way.
    if (posix::PosixCloseRequested()) {
        return;
    }
    ShowBox(owner, text, caption, nullptr);
}

bool ShowStandaloneMessageBox(const char *text, const char *caption, bool (*keepWaiting)())
{
    if (g_x11.display == nullptr) {
        X11IgnoreBrokenPipes();
        X11InstallErrorHandlers();
        if (!X11OpenDisplay(nullptr)) {
            return false;
        }
    }
    ShowBox(0, text, caption, keepWaiting);
    return true;
}

} // namespace x11
