// One run of the real program on its own desktop: an X server, bare or with
// a window manager, or a Wayland compositor.
// Everything it starts (the servers, the program, any wrapper around it) is
// killed and reaped when the session ends, whichever way the test went.
#ifndef TOWER_TESTS_E2E_TOWER_SESSION_H
#define TOWER_TESTS_E2E_TOWER_SESSION_H

#include "child_process.h"
#include "x_server.h"

#include <string>
#include <vector>

namespace e2e {

constexpr const char *kWindowTitle = "OpenGL base code";

class TowerSession {
  public:
    // outputScale: sway's output scale.
    explicit TowerSession(Desktop desktop = Desktop::kXvfb, int outputScale = 1);
    ~TowerSession();
    TowerSession(const TowerSession &) = delete;
    TowerSession &operator=(const TowerSession &) = delete;

    // Start the desktop with a width x height x depth screen, then the
    // program, run through wrapper (for instance apitrace) when one is
    // given, and wait for its window to be viewable: on a Wayland desktop,
    // for sway to show it, or for weston to show anything but black.
    bool Start(int width, int height, int depth, std::string *error,
               const std::vector<std::string> &wrapper = {}, int windowTimeoutMs = 10000);

    // The same on a 24-bit screen arranged (RandR outputs and monitors)
    // before the window manager and the program start.
    bool StartArranged(int width, int height, const Arrange &arrange, std::string *error);

    // The program on a server without GLX, where set-up ends in message
    // boxes instead of a window: only its start is waited for.
    bool StartWithoutGlx(int width, int height, std::string *error);

    // The program on a Wayland desktop where EGL finds no driver, and no box
    // helper but sway's Xwayland, where its boxes then come up: only its
    // start is waited for.
    bool StartWithFailingEgl(int width, int height, std::string *error);

    Display *X() const
    {
        return server_.Connection();
    }
    Desktop Kind() const
    {
        return server_.Kind();
    }
    Window TowerWindow() const
    {
        return window_;
    }
    ChildProcess &Program()
    {
        return program_;
    }
    const std::string &Dir() const
    {
        return dir_;
    }
    std::vector<std::string> Env() const
    {
        return server_.Env();
    }
    // The screen as the user sees it; see XServer::Grab.
    bool Grab(Screenshot *shot, std::string *error, std::string *png = nullptr)
    {
        return server_.Grab(shot, error, png);
    }

    // What the program wrote on its standard error so far.
    std::string Stderr() const;

    // Press and release a key (an X keysym name): through XTEST, held long
    // enough for a polling program to see it, or on sway through wtype.
    bool PressKey(const std::string &key, std::string *error);
    bool PressEscape(std::string *error)
    {
        return PressKey("Escape", error);
    }
    // Press or release a key alone: an X keysym name, or a keycode's number.
    bool Key(const std::string &key, bool down, std::string *error);
    bool Escape(bool down, std::string *error)
    {
        return Key("Escape", down, error);
    }

    // Run another program against this session's display.
    Exit Run(const std::vector<std::string> &argv, int timeoutMs, std::string *error,
             const std::string &stdoutPath = "");

    // sway: the program's window as its tree shows it (see XServer::SwayNode)
    // once it holds every one of `holds` ("\"focused\": true"), waiting at
    // most timeoutMs for that; the last one seen, or empty, either way.
    std::string SwayWindow(std::string *error, const std::vector<std::string> &holds = {},
                           int timeoutMs = 0) const;
    XServer &Server()
    {
        return server_;
    }

  private:
    bool StartServer(int width, int height, int depth, std::string *error,
                     const std::vector<std::string> &xvfbArgs = {}, const Arrange &arrange = {});
    bool StartProgram(const std::vector<std::string> &wrapper, int windowTimeoutMs,
                      std::string *error);
    bool WaitForWaylandWindow(int timeoutMs, std::string *error);
    // xdotool or wtype with these arguments: false, with the reason in error
    // when the tool gave none, unless it exits 0.
    bool RunKeyTool(const std::vector<std::string> &argv, std::string *error);

    XServer server_;
    ChildProcess program_;
    Window window_ = 0;
    std::string dir_;
};

} // namespace e2e

#endif
