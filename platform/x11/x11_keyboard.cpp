// The global key state behind GetAsyncKeyState: which keys are down whatever
// window has the focus, kept from XInput2's raw key events so that polling
// it every frame costs no trip to the server.
#include "x11_platform.h"

#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace x11 {

namespace {

// Virtual keys beyond Escape that have an obvious X key.
constexpr int kVkReturn = 0x0D;
constexpr int kVkSpace = 0x20;

KeySym KeySymOf(int vkey)
{
    if (vkey == VK_ESCAPE) {
        return XK_Escape;
    }
    if (vkey == kVkReturn) {
        return XK_Return;
    }
    if (vkey == kVkSpace) {
        return XK_space;
    }
    if (vkey >= '0' && vkey <= '9') {
        return XK_0 + static_cast<KeySym>(vkey - '0');
    }
    if (vkey >= 'A' && vkey <= 'Z') {
        return XK_a + static_cast<KeySym>(vkey - 'A');
    }
    return NoSymbol;
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

} // namespace

void X11InitKeyboard()
{
    g_x11.keyboard.rawEvents = SelectRawKeys();
    if (!g_x11.keyboard.rawEvents) {
        X11ReportError("no XInput 2.1 raw key events; reading the keyboard on every poll instead");
    }
    X11RefreshKeyboard();
    // Events only tell changes, so start from the keys already down: Escape
    // held while the program starts must count.
    QueryKeymap();
    for (bool &pressed : g_x11.keyboard.pressed) {
        pressed = false;
    }
}

void X11RefreshKeyboard()
{
    // A key the keyboard does not have gets keycode 0, and is never down,
    // which is what GetAsyncKeyState says of it on Win32 too.
    for (int vkey = 0; vkey < kVirtualKeys; ++vkey) {
        const KeySym sym = KeySymOf(vkey);
        g_x11.keyboard.keycodeOf[vkey] = sym != NoSymbol ? XKeysymToKeycode(g_x11.display, sym) : 0;
    }
}

bool X11HandleKeyEvent(XEvent &event)
{
    Keyboard &k = g_x11.keyboard;
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
    if (g_x11.display == nullptr || vkey < 0 || vkey >= kVirtualKeys) {
        return false;
    }
    Keyboard &k = g_x11.keyboard;
    const KeyCode keycode = k.keycodeOf[vkey];
    if (keycode == 0) {
        return false;
    }
    if (!k.rawEvents) {
        QueryKeymap();
    }
    *pressedSinceLastCall = k.pressed[keycode];
    k.pressed[keycode] = false;
    return k.down[keycode];
}

} // namespace x11
