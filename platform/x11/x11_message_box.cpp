// MessageBoxA: the words on stderr, always, and a small modal X window with
// an OK button where there is a display. It keeps the program's own windows
// hearing their events while it waits, and gives way to a close request.
#include "x11_platform.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace x11 {

namespace {

constexpr int kMargin = 16;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kMinWidth = 240;
constexpr int kMaxLines = 16;
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
    GC gc;
    XFontStruct *font;
    bool fontLoaded; // ours to unload, rather than the GC's own font's info
    int lineCount;
    const char *lines[kMaxLines];
    int lengths[kMaxLines];
    int lineHeight;
    int ascent;
    int width;
    int height;
    XRectangle button;
    bool buttonDown;
    bool mapped;
    bool done;
};

void LoadFont(Box &box)
{
    box.font = XLoadQueryFont(g_x11.display, "fixed");
    box.fontLoaded = box.font != nullptr;
    if (box.font == nullptr) {
        box.font = XQueryFont(g_x11.display, XGContextFromGC(box.gc));
    }
    if (box.font != nullptr) {
        if (box.fontLoaded) {
            XSetFont(g_x11.display, box.gc, box.font->fid);
        }
        box.ascent = box.font->ascent;
        box.lineHeight = box.font->ascent + box.font->descent + 2;
    } else {
        box.ascent = 11;
        box.lineHeight = 15;
    }
}

int TextWidth(const Box &box, const char *text, int length)
{
    return box.font != nullptr ? XTextWidth(box.font, text, length) : 6 * length;
}

void Layout(Box &box, const char *text)
{
    box.lineCount = 0;
    int widest = 0;
    const char *line = text;
    while (box.lineCount < kMaxLines) {
        const char *end = std::strchr(line, '\n');
        const int length =
            end != nullptr ? static_cast<int>(end - line) : static_cast<int>(std::strlen(line));
        box.lines[box.lineCount] = line;
        box.lengths[box.lineCount] = length;
        ++box.lineCount;
        const int width = TextWidth(box, line, length);
        widest = width > widest ? width : widest;
        if (end == nullptr) {
            break;
        }
        line = end + 1;
    }
    box.width = widest + 2 * kMargin;
    box.width = box.width < kMinWidth ? kMinWidth : box.width;
    box.height = kMargin + box.lineCount * box.lineHeight + kMargin + kButtonHeight + kMargin;
    box.button.x = static_cast<short>((box.width - kButtonWidth) / 2);
    box.button.y = static_cast<short>(box.height - kMargin - kButtonHeight);
    box.button.width = kButtonWidth;
    box.button.height = kButtonHeight;
}

// Centred on its owner, or on the primary monitor when it has none.
void Place(platform::BackendId owner, const Box &box, int *x, int *y)
{
    int areaX = 0;
    int areaY = 0;
    int areaWidth = 0;
    int areaHeight = 0;
    const WindowSlot *slot = X11WindowOfId(owner);
    if (slot != nullptr) {
        areaX = slot->x;
        areaY = slot->y;
        areaWidth = slot->state->width;
        areaHeight = slot->state->height;
    } else {
        X11PrimaryMonitor(&areaX, &areaY, &areaWidth, &areaHeight);
    }
    *x = areaX + (areaWidth - box.width) / 2;
    *y = areaY + (areaHeight - box.height) / 2;
}

void SetProperties(const Box &box, platform::BackendId owner, const char *caption, int x, int y)
{
    Display *display = g_x11.display;
    const Atoms &a = g_x11.atoms;
    XStoreName(display, box.window, caption);
    XChangeProperty(display, box.window, a.netWmName, a.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(caption),
                    static_cast<int>(std::strlen(caption)));
    char resName[] = "tower";
    char resClass[] = "Tower";
    XClassHint classHint = {resName, resClass};
    XSetClassHint(display, box.window, &classHint);
    Atom protocols[] = {a.wmDeleteWindow};
    XSetWMProtocols(display, box.window, protocols, 1);
    XChangeProperty(display, box.window, a.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&a.netWmWindowTypeDialog), 1);
    const WindowSlot *slot = X11WindowOfId(owner);
    if (slot != nullptr) {
        XSetTransientForHint(display, box.window, slot->handle);
    }

    XSizeHints sizeHints = {};
    sizeHints.flags = USPosition | PMinSize | PMaxSize;
    sizeHints.x = x;
    sizeHints.y = y;
    sizeHints.min_width = sizeHints.max_width = box.width;
    sizeHints.min_height = sizeHints.max_height = box.height;
    XSetWMNormalHints(display, box.window, &sizeHints);

    XWMHints wmHints = {};
    wmHints.flags = InputHint;
    wmHints.input = True;
    XSetWMHints(display, box.window, &wmHints);
}

void Draw(const Box &box)
{
    Display *display = g_x11.display;
    XClearWindow(display, box.window);
    for (int i = 0; i < box.lineCount; ++i) {
        XDrawString(display, box.window, box.gc, kMargin, kMargin + box.ascent + i * box.lineHeight,
                    box.lines[i], box.lengths[i]);
    }
    const XRectangle &b = box.button;
    XDrawRectangle(display, box.window, box.gc, b.x, b.y, b.width, b.height);
    if (box.buttonDown) {
        XDrawRectangle(display, box.window, box.gc, b.x + 2, b.y + 2, b.width - 4u, b.height - 4u);
    }
    const int labelWidth = TextWidth(box, "OK", 2);
    XDrawString(display, box.window, box.gc, b.x + (b.width - labelWidth) / 2,
                b.y + (b.height + box.ascent) / 2 - 1, "OK", 2);
}

bool InButton(const Box &box, int x, int y)
{
    const XRectangle &b = box.button;
    return x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height;
}

void OnBoxEvent(Box &box, XEvent &event)
{
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) {
            Draw(box);
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
        if (event.xbutton.button == Button1 && InButton(box, event.xbutton.x, event.xbutton.y)) {
            box.buttonDown = true;
            Draw(box);
        }
        break;
    case ButtonRelease:
        if (event.xbutton.button == Button1 && box.buttonDown) {
            box.buttonDown = false;
            box.done = InButton(box, event.xbutton.x, event.xbutton.y);
            Draw(box);
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
// program's queue as they would on Win32, where a modal loop dispatches.
void RunModal(Box &box)
{
    Display *display = g_x11.display;
    auto unmappedSince = std::chrono::steady_clock::now();
    while (!box.done && !PosixCloseRequested()) {
        while (!box.done && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != GenericEvent && event.xany.window == box.window) {
                OnBoxEvent(box, event);
            } else {
                X11HandleEvent(event);
            }
        }
        if (box.done || PosixCloseRequested()) {
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (box.mapped) {
            unmappedSince = now;
        } else if (now - unmappedSince >= kMapAgainAfter) {
            XMapRaised(display, box.window);
            unmappedSince = now;
        }
        // A signal cuts this short; the loop then sees the close request.
        pollfd connection = {ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, kPollMilliseconds);
    }
}

void ShowBox(platform::BackendId owner, const char *text, const char *caption)
{
    Display *display = g_x11.display;
    Box box = {};
    box.gc = XCreateGC(display, g_x11.root, 0, nullptr);
    if (box.gc == nullptr) {
        X11ReportError("cannot show a message box", "no graphics context");
        return;
    }
    XSetForeground(display, box.gc, BlackPixel(display, g_x11.screen));
    LoadFont(box);
    Layout(box, text);

    int x = 0;
    int y = 0;
    Place(owner, box, &x, &y);
    X11TrapErrors();
    box.window =
        XCreateSimpleWindow(display, g_x11.root, x, y, static_cast<unsigned>(box.width),
                            static_cast<unsigned>(box.height), 1, BlackPixel(display, g_x11.screen),
                            WhitePixel(display, g_x11.screen));
    XSelectInput(display, box.window,
                 ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                     StructureNotifyMask);
    SetProperties(box, owner, caption, x, y);
    XMapRaised(display, box.window);
    const int error = X11UntrapErrors();
    if (error != Success) {
        X11ReportXError("cannot show a message box", error);
    } else {
        RunModal(box);
    }

    if (box.window != None) {
        XDestroyWindow(display, box.window);
    }
    if (box.font != nullptr) {
        if (box.fontLoaded) {
            XFreeFont(display, box.font);
        } else {
            XFreeFontInfo(nullptr, box.font, 0);
        }
    }
    XFreeGC(display, box.gc);
    XFlush(display);
}

} // namespace

void X11MessageBox(platform::BackendId owner, const char *text, const char *caption, UINT /*type*/)
{
    // Every box is said on stderr too, so that a run with no one watching
    // the screen still tells why it ended.
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    // Once the user has asked the program to close, asking them to click
    // through its boxes would only stand in the way.
    if (g_x11.display == nullptr || PosixCloseRequested()) {
        return;
    }
    ShowBox(owner, text, caption);
}

} // namespace x11
