// A private Xvfb for one test, on whatever display number is free, and the
// Xlib look-ups the tests make on it: finding the program's window, grabbing
// the screen and asking the window to close as a window manager would.
#ifndef TOWER_TESTS_E2E_X_SERVER_H
#define TOWER_TESTS_E2E_X_SERVER_H

#include "child_process.h"

#include <X11/Xlib.h>
#include <string>

namespace e2e {

class XServer {
  public:
    XServer() = default;
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // Start Xvfb with one screen of the given size and depth, its messages
    // going to logPath, and connect to it.
    bool Start(int width, int height, int depth, const std::string &logPath, std::string *error);
    void Stop();

    // ":N", for DISPLAY.
    const std::string &Name() const
    {
        return name_;
    }
    Display *Connection() const
    {
        return display_;
    }
    std::string DisplaySetting() const
    {
        return "DISPLAY=" + name_;
    }

  private:
    ChildProcess xvfb_;
    Display *display_ = nullptr;
    std::string name_;
};

// The mapped window whose WM_NAME is title, anywhere under the root, waiting
// at most timeoutMs for it to appear. Returns 0 when there is none.
Window WaitForViewableWindow(Display *display, const std::string &title, int timeoutMs);

// Whether the window still exists.
bool WindowExists(Display *display, Window window);

// Light the first RandR output with a width x height mode at 0,0 and make it
// the primary one, leaving the screen its size. The server keeps this only
// while the connection that made it stays open.
bool SetPrimaryOutput(Display *display, int width, int height, std::string *error);

// Send WM_PROTOCOLS/WM_DELETE_WINDOW, the request a window manager makes
// when the user closes a window.
void SendDeleteWindow(Display *display, Window window);

} // namespace e2e

#endif
