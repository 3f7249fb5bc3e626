// The key state behind GetAsyncKeyState, from the seat's keyboard: a
// virtual key is down while a key whose keysym is that key's is down in our
// focused surface. Wayland tells a client of keys only while one of its
// surfaces has the focus, and keys are matched by keysym because every
// keyboard, real or virtual, may bring a keymap of its own that numbers its
// keys as it likes.
#include "wayland_platform.h"

#include "../x11/x11_backend.h"

#include <xkbcommon/xkbcommon.h>

#include <sys/mman.h>
#include <unistd.h>

namespace wayland {

namespace {

// Wayland's key codes are the kernel's; xkbcommon's are 8 more, as X's.
constexpr std::uint32_t kXkbKeycodeOffset = 8;
void KeyDown(std::uint32_t key)
{
    Keyboard &k = g_wayland.keyboard;
    if (key >= static_cast<std::uint32_t>(kKeycodes) || k.state == nullptr ||
        k.virtualKeyOf[key] != 0) {
        return;
    }
    const int vkey =
        x11::VirtualKeyOfKeysym(xkb_state_key_get_one_sym(k.state, key + kXkbKeycodeOffset));
    if (vkey == 0) {
        return;
    }
    k.virtualKeyOf[key] = static_cast<unsigned char>(vkey);
    if (k.down[vkey]++ == 0) {
        k.pressed[vkey] = true;
    }
}

void KeyUp(std::uint32_t key)
{
    Keyboard &k = g_wayland.keyboard;
    if (key >= static_cast<std::uint32_t>(kKeycodes) || k.virtualKeyOf[key] == 0) {
        return;
    }
    --k.down[k.virtualKeyOf[key]];
    k.virtualKeyOf[key] = 0;
}

// Our surface lost the focus, or the keyboard went: no key is down for us.
void AllKeysUp()
{
    Keyboard &k = g_wayland.keyboard;
    for (unsigned char &vkey : k.virtualKeyOf) {
        vkey = 0;
    }
    for (unsigned char &count : k.down) {
        count = 0;
    }
}

void OnKeymap(void * /*data*/, wl_keyboard * /*keyboard*/, std::uint32_t format, std::int32_t fd,
              std::uint32_t size)
{
    Keyboard &k = g_wayland.keyboard;
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        close(fd);
        WaylandReportError("the keyboard's keymap is in a format xkbcommon cannot read");
        return;
    }
    void *text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED) {
        WaylandReportError("cannot read the keyboard's keymap");
        return;
    }
    // The text ends with its terminating zero, which the size counts.
    xkb_keymap *keymap = xkb_keymap_new_from_buffer(
        k.context, static_cast<const char *>(text), size > 0 ? size - 1 : 0,
        XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    xkb_state *state = keymap != nullptr ? xkb_state_new(keymap) : nullptr;
    if (state == nullptr) {
        WaylandReportError("xkbcommon cannot use the keyboard's keymap");
        xkb_keymap_unref(keymap);
        return;
    }
    xkb_state_unref(k.state);
    xkb_keymap_unref(k.keymap);
    k.keymap = keymap;
    k.state = state;
}

void OnEnter(void * /*data*/, wl_keyboard * /*keyboard*/, std::uint32_t /*serial*/,
             wl_surface * /*surface*/, wl_array *keys)
{
    // Keys already down as the focus arrives count, as they would on Win32:
    // Escape held while the window comes up ends the program.
    const auto *key = static_cast<const std::uint32_t *>(keys->data);
    for (std::size_t i = 0; i < keys->size / sizeof *key; ++i) {
        KeyDown(key[i]);
    }
}

void OnLeave(void * /*data*/, wl_keyboard * /*keyboard*/, std::uint32_t /*serial*/,
             wl_surface * /*surface*/)
{
    AllKeysUp();
}

void OnKey(void * /*data*/, wl_keyboard * /*keyboard*/, std::uint32_t /*serial*/,
           std::uint32_t /*time*/, std::uint32_t key, std::uint32_t state)
{
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
        KeyDown(key);
    } else {
        KeyUp(key);
    }
}

void OnModifiers(void * /*data*/, wl_keyboard * /*keyboard*/, std::uint32_t /*serial*/,
                 std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
                 std::uint32_t group)
{
    if (xkb_state *state = g_wayland.keyboard.state) {
        xkb_state_update_mask(state, depressed, latched, locked, 0, 0, group);
    }
}

// Win32 repeats keys as messages the program does not read.
void OnRepeatInfo(void * /*data*/, wl_keyboard * /*keyboard*/, std::int32_t /*rate*/,
                  std::int32_t /*delay*/)
{
}

const wl_keyboard_listener kKeyboardListener = [] {
    wl_keyboard_listener l = {};
    l.keymap = OnKeymap;
    l.enter = OnEnter;
    l.leave = OnLeave;
    l.key = OnKey;
    l.modifiers = OnModifiers;
    l.repeat_info = OnRepeatInfo;
    return l;
}();

} // namespace

bool WaylandInitKeyboard()
{
    g_wayland.keyboard.context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (g_wayland.keyboard.context == nullptr) {
        WaylandReportError("xkbcommon cannot start; Escape cannot be heard");
        return false;
    }
    WaylandSeatCapabilities(g_wayland.seatCapabilities);
    return true;
}

void WaylandSeatCapabilities(std::uint32_t capabilities)
{
    g_wayland.seatCapabilities = capabilities;
    Keyboard &k = g_wayland.keyboard;
    const bool has = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (has && k.keyboard == nullptr && k.context != nullptr) {
        // Fails only when out of memory.
        k.keyboard = wl_seat_get_keyboard(g_wayland.globals.seat);
        if (k.keyboard == nullptr) {
            WaylandReportError("cannot listen to the keyboard");
            return;
        }
        wl_keyboard_add_listener(k.keyboard, &kKeyboardListener, nullptr);
    } else if (!has) {
        WaylandReleaseKeyboard();
    }
}

void WaylandReleaseKeyboard()
{
    Keyboard &k = g_wayland.keyboard;
    if (k.keyboard != nullptr) {
        if (wl_keyboard_get_version(k.keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION) {
            wl_keyboard_release(k.keyboard);
        } else {
            wl_keyboard_destroy(k.keyboard);
        }
        k.keyboard = nullptr;
    }
    AllKeysUp();
}

bool WaylandKeyState(int vkey, bool *pressedSinceLastCall)
{
    *pressedSinceLastCall = false;
    if (vkey <= 0 || vkey >= kVirtualKeys) {
        return false;
    }
    Keyboard &k = g_wayland.keyboard;
    *pressedSinceLastCall = k.pressed[vkey];
    k.pressed[vkey] = false;
    return k.down[vkey] != 0;
}

} // namespace wayland
