// A private desktop for one test, as one of the desktops users run the
// program on: an X server on whatever display number is free, or a Wayland
// compositor on a socket of its own. Also the Xlib look-ups the tests make
// on an X server: finding the program's window, grabbing the screen and
// asking the window to close as a window manager would; and what they ask of
// sway.
#ifndef TOWER_TESTS_E2E_X_SERVER_H
#define TOWER_TESTS_E2E_X_SERVER_H

#include "child_process.h"
#include "screen_grab.h"

#include <X11/Xlib.h>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

enum class Desktop {
    kXvfb,    // a bare X server: no window manager
    kOpenbox, // Xvfb under an EWMH window manager
    kWeston,  // the Xwayland of a Wayland compositor, weston's headless one,
              // with the program told to use X11
    // Wayland compositors the program runs on natively:
    kWestonWayland, // weston's headless one itself
    kSway,          // sway's headless one (wlroots), with a keyboard from wtype
};

// "Xvfb", "Openbox", "Weston", "WestonWayland", "Sway": for test names.
std::string DesktopName(Desktop desktop);

// Whether the program talks Wayland on it, rather than X.
bool IsWayland(Desktop desktop);

// Whether a compositor runs it, natively or through its Xwayland: the screen
// is then the compositor's screenshot rather than the root window, and the
// compositor wants a runtime directory and asking to quit.
bool IsCompositor(Desktop desktop);

// The user sway runs as, since it refuses to run as root. The programs the
// tests start still run as themselves: the compositor lets them in.
constexpr int kSwayUser = 65534;

// What is done to a bare X server before any window manager starts on it,
// as a desk is set up before anyone logs in: false, with the reason in
// error, when it cannot be done.
using Arrange = std::function<bool(Display *, std::string *error)>;

class XServer {
  public:
    // outputScale: sway's output scale; the other desktops have 1.
    explicit XServer(Desktop desktop = Desktop::kXvfb, int outputScale = 1)
        : desktop_(desktop), outputScale_(outputScale)
    {
    }
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // Start the desktop with one screen of the given size and depth (weston
    // and sway: one output of that size in pixels, with their own depth),
    // keeping its logs and sockets in dir, and connect to it where it is an
    // X server. Xvfb also gets xvfbArgs, and is arranged before its window
    // manager starts.
    bool Start(int width, int height, int depth, const std::string &dir, std::string *error,
               const std::vector<std::string> &xvfbArgs = {}, const Arrange &arrange = {});
    void Stop();

    Desktop Kind() const
    {
        return desktop_;
    }

    // ":N", for DISPLAY; empty on a Wayland desktop until OfferX.
    const std::string &Name() const
    {
        return name_;
    }
    // The X connection; null on a Wayland desktop.
    Display *Connection() const
    {
        return display_;
    }
    std::string DisplaySetting() const
    {
        return "DISPLAY=" + name_;
    }
    // What a program started on this desktop finds in its environment.
    std::vector<std::string> Env() const;

    // The screen as the user sees it: the root window's pixels, or on a
    // compositor, whose Xwayland keeps no picture of the screen, the
    // compositor's screenshot of its output, saved at *png.
    bool Grab(Screenshot *shot, std::string *error, std::string *png = nullptr);

    // sway: its Xwayland, for programs started from now on, which it lets
    // in although they are another user's.
    bool OfferX(std::string *error);

    // sway: run swaymsg with these arguments; its output, or empty with the
    // reason in error when it fails.
    std::string SwayMsg(const std::vector<std::string> &args, std::string *error) const;

    // sway: the JSON object of the first node in its tree whose key has
    // this string value (a window's "app_id", "name"...), or empty when
    // there is none.
    std::string SwayNode(const std::string &key, const std::string &value,
                         std::string *error) const;

  private:
    bool StartXvfb(int width, int height, int depth, const std::vector<std::string> &args,
                   std::string *error);
    bool StartOpenbox(std::string *error);
    bool StartWeston(int width, int height, std::string *error);
    bool StartSway(int width, int height, std::string *error);
    bool StartSwayKeyboard(std::string *error);
    bool Connect(std::string *error);

    Desktop desktop_;
    int outputScale_;
    ChildProcess server_; // Xvfb, weston with or without its Xwayland, or sway
    ChildProcess windowManager_;
    ChildProcess keyboard_; // sway's keyboard: a virtual one that wtype holds
    Display *display_ = nullptr;
    std::string name_;
    std::string wayland_; // the compositor's socket, for WAYLAND_DISPLAY
    std::string swaySocket_;
    std::string dir_;
    int shots_ = 0;
};

// The whole text of a file, or empty.
std::string ReadFile(const std::string &path);

// The mapped window whose WM_NAME is title, anywhere under the root, waiting
// at most timeoutMs for it to appear. Returns 0 when there is none.
Window WaitForViewableWindow(Display *display, const std::string &title, int timeoutMs);

// Whether the window still exists.
bool WindowExists(Display *display, Window window);

// Light the first RandR output with a width x height mode at 0,0 and make it
// the primary one, leaving the screen its size. The server keeps this only
// while the connection that made it stays open.
bool SetPrimaryOutput(Display *display, int width, int height, std::string *error);

// A RandR 1.5 monitor, in root coordinates.
struct Monitor {
    const char *name;
    int x;
    int y;
    int width;
    int height;
    bool primary;
};

// Divide the screen into monitors, as xrandr --setmonitor does; the first
// takes the first output, whose own monitor then goes. The server keeps them
// only while the connection that made them stays open.
bool SetMonitors(Display *display, const std::vector<Monitor> &monitors, std::string *error);

// Change the screen's size as a desktop's display settings do: the first
// output shows a mode of that size at 0,0, and the screen is made to fit.
// Xvfb grows a screen back to the size it started with, and no further.
bool ResizeScreen(Display *display, int width, int height, std::string *error);

// Send WM_PROTOCOLS/WM_DELETE_WINDOW, the request a window manager makes
// when the user closes a window.
void SendDeleteWindow(Display *display, Window window);

// Ask an EWMH window manager to close the window, as a taskbar does.
void SendNetCloseWindow(Display *display, Window window);

// Whether the window's _NET_WM_STATE holds the named state.
bool HasNetWmState(Display *display, Window window, const char *state);

// The window holding the keyboard focus, after waiting at most timeoutMs for
// it to become want.
Window WaitForFocus(Display *display, Window want, int timeoutMs);

} // namespace e2e

#endif
