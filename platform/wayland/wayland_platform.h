// What the Wayland/EGL backend's files share: its one state record and each
// file's entry points. Only platform/wayland includes this.
//
// Failures. Every wayland-client, EGL and xkbcommon result is checked, and
// every failure reaches stderr through wayland_report.cpp alone, once (the
// writer itself is the one the Linux backends share, in posix/):
// - a call that answers at once (a pointer, a boolean, an EGL error) is
//   checked where it is made and said with WaylandReportError, or with
//   EglReportError where EGL names the error;
// - a request the compositor refuses is a protocol error, which ends the
//   connection: whoever notices the connection gone ends the program through
//   WaylandExitLostConnection, which says the compositor's own words;
// - a call that cannot fail says why beside it.
// A line already said is not said again.
#ifndef TOWER_PLATFORM_WAYLAND_PLATFORM_H
#define TOWER_PLATFORM_WAYLAND_PLATFORM_H

#include "../core/backend.h"

#include <EGL/egl.h>
#include <wayland-client.h>

#include <cstddef>
#include <cstdint>

struct wl_egl_window;
struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct wp_viewporter;
struct wp_viewport;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace wayland {

// The program makes one window; a few spare slots cost nothing.
constexpr int kWindowSlots = 8;
constexpr int kOutputSlots = 8;
// Wayland numbers keys by their Linux input codes, all below this.
constexpr int kKeycodes = 768;
constexpr int kVirtualKeys = 256;
// EGL implementations offer tens of configurations; more are left unread.
constexpr int kEglConfigs = 512;
// The fractional-scale protocol's unit: a scale of 1 is 120.
constexpr int kScaleUnit = 120;

// What the compositor offers that we bind; null for what it lacks.
struct Globals {
    wl_compositor *compositor;
    xdg_wm_base *wmBase;
    wl_seat *seat;
    wp_viewporter *viewporter;
    wp_fractional_scale_manager_v1 *fractionalScale;
};

// One wl_output as it describes itself. A slot is free while output is null.
struct Output {
    wl_output *output;
    std::uint32_t name; // the registry's name for it
    // Its current mode in pixels, turned as the output shows it.
    int width;
    int height;
    int scale;
    int transform;
    int modeWidth;
    int modeHeight;
};

// What the compositor said in its last configure, applied at its end.
struct Configure {
    int width; // 0: ours to choose
    int height;
    bool fullscreen;
};

// What Wayland alone knows of one of the program's windows; the rest is the
// core's WindowState. A slot's BackendId is its index + 1.
struct WindowSlot {
    const platform::WindowState *state; // null while the slot is free
    wl_surface *surface;
    xdg_surface *xdgSurface;
    xdg_toplevel *toplevel;
    wp_viewport *viewport;              // only with a fractional scale
    wp_fractional_scale_v1 *fractional; // null where the compositor has none
    wl_egl_window *eglWindow;           // from the pixel format on
    EGLSurface eglSurface;
    bool swapIntervalSet;
    // The role is committed and waits for, or has had, its first configure;
    // only a configured surface may be given a buffer.
    bool roleCommitted;
    bool configured;
    Configure pending;
    // The size in surface units, the compositor's or our own choice.
    int logicalWidth;
    int logicalHeight;
    int scale;        // whole-number buffer scale
    int scale120;     // the compositor's preferred fractional scale; 0 for none
    unsigned outputs; // bit i: the surface is on outputs[i]
};

struct Egl {
    EGLDisplay display; // EGL_NO_DISPLAY until initialised
    bool usable;        // initialised, with desktop OpenGL and configurations
    // The list pixel-format numbers index, 1-based, fetched once.
    EGLConfig configs[kEglConfigs];
    int configCount;
    EGLSurface currentSurface;
};

struct Keyboard {
    wl_keyboard *keyboard;
    xkb_context *context;
    xkb_keymap *keymap;
    xkb_state *state;
    // The virtual key each key went down as, 0 while it is up; the keymap
    // may change while a key is down, and its release must undo its press.
    unsigned char virtualKeyOf[kKeycodes];
    unsigned char down[kVirtualKeys]; // how many keys hold the virtual key down
    bool pressed[kVirtualKeys];       // went down since last polled
};

struct State {
    wl_display *display; // null until WaylandConnect has connected
    wl_registry *registry;
    Globals globals;
    std::uint32_t seatName;
    std::uint32_t seatCapabilities;
    Output outputs[kOutputSlots];
    WindowSlot windows[kWindowSlots];
    Egl egl;
    Keyboard keyboard;
    bool noXBox; // the X display for message boxes could not be had
};

extern State g_wayland;

// --- wayland_report.cpp: the one way to stderr
// Say a failure, once: "tower: what: detail".
void WaylandReportError(const char *what, const char *detail = nullptr);
// The same with EGL's name for its last error.
void EglReportError(const char *what);
// Say that the compositor is gone, or refused a request, and end the process
// at once with exit code 1.
[[noreturn]] void WaylandExitLostConnection();

// --- wayland_display.cpp
// Connect to the compositor and bind what it offers; false without one, said,
// or, with whyNot, written there unsaid: see OpenBackend.
bool WaylandConnect(char *whyNot, std::size_t whyNotSize);
// Read and handle whatever the compositor has sent, without blocking; a
// lost connection ends the program.
void WaylandDispatch();
void WaylandPumpEvents();
// Send what is queued; a lost connection ends the program.
void WaylandFlush();

// --- wayland_output.cpp
void WaylandAddOutput(std::uint32_t name, std::uint32_t version);
// false when the name is no output of ours.
bool WaylandRemoveOutput(std::uint32_t name);
// The output a full-screen window goes to: the first one announced that has
// a mode; null when there is none.
const Output *WaylandTargetOutput();
int WaylandOutputIndex(const wl_output *output);
void WaylandScreenSize(int *width, int *height);

// --- wayland_window.cpp
platform::BackendId WaylandCreateWindow(const platform::WindowState *state, int x, int y);
void WaylandDestroyWindow(platform::BackendId window);
void WaylandShowWindow(platform::BackendId window, bool visible);
bool WaylandWindowExists(platform::BackendId window);
WindowSlot *WaylandSlotOfId(platform::BackendId window);
platform::BackendId WaylandIdOf(const WindowSlot &slot);
// The buffer's size in pixels: the surface's size at its scale.
void WaylandPixelSize(const WindowSlot &slot, int *width, int *height);
// An output's scale changed or it went away: windows on it follow.
void WaylandOutputsChanged();

// --- wayland_keyboard.cpp
// Start xkbcommon and take the seat's keyboard, if it has one yet.
bool WaylandInitKeyboard();
// The seat's capabilities changed: take or drop its keyboard.
void WaylandSeatCapabilities(std::uint32_t capabilities);
void WaylandReleaseKeyboard();
bool WaylandKeyState(int vkey, bool *pressedSinceLastCall);

// --- wayland_message_box.cpp
void WaylandMessageBox(platform::BackendId owner, const char *text, const char *caption, UINT type);

// --- egl_context.cpp
void EglInit();
bool EglSetPixelFormat(platform::BackendId window, int format);
platform::BackendId EglCreateContext(platform::BackendId window, int format);
bool EglMakeCurrent(platform::BackendId window, platform::BackendId context);
void EglDeleteContext(platform::BackendId context);
bool EglSwapBuffers(platform::BackendId window);
// Before a window's EGL surface goes: stop drawing to it.
void EglReleaseSurface(WindowSlot &slot);

// --- egl_pixel_format.cpp
int EglChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd);

} // namespace wayland

#endif
