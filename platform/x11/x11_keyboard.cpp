// The global key state behind GetAsyncKeyState: which keys are down whatever
// window has the focus, kept from XInput2's raw key events so that polling
// it every frame costs no trip to the server, and which keys type each
// virtual key's symbol in the keyboard mapping of the moment.
#include "x11_backend.h"
#include "x11_platform.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace x11 {

namespace {

void AddKeycode(int vkey, int keycode)
{
    Keyboard &k = g_x11.keyboard;
    int &count = k.keycodeCount[vkey];
    for (int i = 0; i < count; ++i) {
        if (k.keycodes[vkey][i] == keycode) {
            return;
        }
    }
    // More keys than that typing one symbol is no keyboard anyone uses.
    if (count < kKeycodesPerKey) {
        k.keycodes[vkey][count++] = static_cast<KeyCode>(keycode);
    }
}

void KeyDown(int keycode)
{
    Keyboard &k = g_x11.keyboard;
    if (!k.down[keycode]) {
        k.down[keycode] = true;
        k.pressed[keycode] = true;
    }
}

// Read the whole keyboard from the server.
void QueryKeymap()
{
    char keys[32];
    // Always returns 1; a lost connection ends in the I/O error handler.
    XQueryKeymap(g_x11.display, keys);
    for (int keycode = 0; keycode < kKeycodes; ++keycode) {
        if ((keys[keycode / 8] >> (keycode % 8) & 1) != 0) {
            KeyDown(keycode);
        } else {
            g_x11.keyboard.down[keycode] = false;
        }
    }
}

// Raw events reach the root window's listeners whichever client has the
// focus or a grab (XInput 2.1 and later), which is what Win32's
// asynchronous key state means.
bool SelectRawKeys()
{
    int event = 0;
    int error = 0;
    if (XQueryExtension(g_x11.display, "XInputExtension", &g_x11.keyboard.xiOpcode, &event,
                        &error) == False) {
        return false;
    }
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(g_x11.display, &major, &minor) != Success || major < 2 ||
        (major == 2 && minor < 1)) {
        return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask;
    // Master devices only: each key then arrives once, not once more for
    // the physical keyboard behind it.
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    X11TrapErrors();
    XISelectEvents(g_x11.display, g_x11.root, &mask, 1);
    const int failure = X11UntrapErrors();
    if (failure != Success) {
        X11ReportXError("cannot follow the keyboard through XInput2", failure);
        return false;
    }
    return true;
}

// XKB tells a new keymap (setxkbmap) only to clients that ask; without XKB
// the core MappingNotify comes to every client.
void SelectKeymapChanges()
{
    Keyboard &k = g_x11.keyboard;
    int opcode = 0;
    int error = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (XkbQueryExtension(g_x11.display, &opcode, &k.xkbEventBase, &error, &major, &minor) ==
        False) {
        k.xkbEventBase = 0;
        return;
    }
    const unsigned long changes = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
    if (XkbSelectEvents(g_x11.display, XkbUseCoreKbd, changes, changes) == False) {
        X11ReportError("cannot follow the keyboard mapping through XKB");
        k.xkbEventBase = 0;
    }
}

// Whether the event says the keyboard mapping changed; Xlib's own copy of
// it is brought up to date on the way.
bool MappingChanged(XEvent &event)
{
    if (event.type == MappingNotify) {
        // Returns 1 whatever it finds; it only drops Xlib's cached mapping.
        XRefreshKeyboardMapping(&event.xmapping);
        return event.xmapping.request != MappingPointer;
    }
    const int xkbEventBase = g_x11.keyboard.xkbEventBase;
    if (xkbEventBase == 0 || event.type != xkbEventBase) {
        return false;
    }
    auto *xkb = reinterpret_cast<XkbEvent *>(&event);
    if (xkb->any.xkb_type != XkbMapNotify && xkb->any.xkb_type != XkbNewKeyboardNotify) {
        return false;
    }
    // Xlib reads either kind of event through its map notify's fields.
    if (XkbRefreshKeyboardMapping(&xkb->map) != Success) {
        X11ReportError("cannot bring Xlib's copy of the keyboard mapping up to date");
    }
    return true;
}

// Find which keys type each virtual key's symbol.
void RefreshKeyboard()
{
    // A virtual key no key types is never down, which is what
    // GetAsyncKeyState says of a key the keyboard lacks on Win32 too. Every
    // level and group of a key counts, as Win32 names a key by what it
    // types in its layout, whatever the modifiers.
    Keyboard &k = g_x11.keyboard;
    for (int &count : k.keycodeCount) {
        count = 0;
    }
    int first = 0;
    int last = 0;
    // Always returns 1: the range came with the connection.
    XDisplayKeycodes(g_x11.display, &first, &last);
    int perKeycode = 0;
    KeySym *map = XGetKeyboardMapping(g_x11.display, static_cast<KeyCode>(first), last - first + 1,
                                      &perKeycode);
    if (map == nullptr) {
        X11ReportError("cannot read the keyboard mapping");
        return;
    }
    for (int keycode = first; keycode <= last && keycode < kKeycodes; ++keycode) {
        for (int level = 0; level < perKeycode; ++level) {
            const int vkey = VirtualKeyOfKeysym(map[(keycode - first) * perKeycode + level]);
            if (vkey != 0) {
                AddKeycode(vkey, keycode);
            }
        }
    }
    XFree(map);
}

} // namespace

int VirtualKeyOfKeysym(unsigned long keysym)
{
    // The program polls Escape alone, so no other key is followed.
    return keysym == XK_Escape ? VK_ESCAPE : 0;
}

void X11InitKeyboard()
{
    g_x11.keyboard.rawEvents = SelectRawKeys();
    if (!g_x11.keyboard.rawEvents) {
        X11ReportError("no XInput 2.1 raw key events; reading the keyboard on every poll instead");
    }
    SelectKeymapChanges();
    RefreshKeyboard();
    // Events only tell changes, so start from the keys already down: Escape
    // held while the program starts must count.
    QueryKeymap();
    for (bool &pressed : g_x11.keyboard.pressed) {
        pressed = false;
    }
}

bool X11HandleKeyEvent(XEvent &event)
{
    Keyboard &k = g_x11.keyboard;
    if (MappingChanged(event)) {
        RefreshKeyboard();
        return true;
    }
    if (event.type == MappingNotify || (k.xkbEventBase != 0 && event.type == k.xkbEventBase)) {
        return true;
    }
    if (!k.rawEvents || event.type != GenericEvent || event.xcookie.extension != k.xiOpcode) {
        return false;
    }
    if (event.xcookie.evtype != XI_RawKeyPress && event.xcookie.evtype != XI_RawKeyRelease) {
        return true;
    }
    if (XGetEventData(g_x11.display, &event.xcookie) == False) {
        // The key is lost with its event; the server still knows the keys.
        X11ReportError("cannot read a raw key event; reading the whole keyboard instead");
        QueryKeymap();
        return true;
    }
    const auto *raw = static_cast<const XIRawEvent *>(event.xcookie.data);
    if (raw->detail >= 0 && raw->detail < kKeycodes) {
        if (event.xcookie.evtype == XI_RawKeyPress) {
            KeyDown(raw->detail);
        } else {
            k.down[raw->detail] = false;
        }
    }
    XFreeEventData(g_x11.display, &event.xcookie);
    return true;
}

bool X11KeyState(int vkey, bool *pressedSinceLastCall)
{
    *pressedSinceLastCall = false;
    if (vkey < 0 || vkey >= kVirtualKeys) {
        return false;
    }
    Keyboard &k = g_x11.keyboard;
    const int count = k.keycodeCount[vkey];
    if (count == 0) {
        return false;
    }
    if (!k.rawEvents) {
        QueryKeymap();
    }
    bool down = false;
    for (int i = 0; i < count; ++i) {
        const KeyCode keycode = k.keycodes[vkey][i];
        down = down || k.down[keycode];
        *pressedSinceLastCall = *pressedSinceLastCall || k.pressed[keycode];
        k.pressed[keycode] = false;
    }
    return down;
}

} // namespace x11
