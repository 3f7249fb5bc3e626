// The backend that runs the program in a web page: the page's canvas is the
// window and WebGL its rendering context. What needs the browser is written
// in JavaScript (web_*.js, the Js… functions below); what is only bookkeeping
// is C++ (web_backend.cpp).
//
// Failures. Whatever the browser can refuse (a WebGL context, full-screen,
// the keyboard lock, loading the program) is checked where it is asked for,
// and every failure, the C++ side's included, reaches the browser's console
// through TowerWeb.reportError alone (JsReportError here), once.
#ifndef TOWER_PLATFORM_WEB_BACKEND_H
#define TOWER_PLATFORM_WEB_BACKEND_H

#include "../core/backend.h"

namespace web {

// The backend to install. It needs no set-up: the page is already there.
const platform::Backend *OpenBackend();

} // namespace web

// Sizes are in device pixels; a window or context id of 0 means none.
extern "C" {

// web_window.js: the canvas as the one window.

// The page's viewport: the browser window's, or the screen's while the page
// is full-screen.
void JsViewportSize(int *width, int *height);
// Take the canvas as a hidden window of this size and title; 0 when it is
// taken already.
platform::BackendId JsCreateWindow(int width, int height, const char *title);
void JsDestroyWindow(platform::BackendId window);
void JsShowWindow(platform::BackendId window, int visible);
// Count a frame as presented: the browser shows it when the program yields.
int JsPresent(platform::BackendId window);
// The window whose size changed since the last call, with its new size, or 0.
platform::BackendId JsTakeResize(int *width, int *height);
// Whether the page was closed since the last call.
int JsTakeClose();
// Whether a virtual key is down, and whether it went down since the last call.
int JsKeyState(int vkey, int *pressedSinceLastCall);

// web_gl.js: WebGL contexts on the canvas.
platform::BackendId JsCreateContext(platform::BackendId window, int depth, int stencil);
int JsMakeCurrent(platform::BackendId context);
void JsDeleteContext(platform::BackendId context);

// web_page.js: the program's turns and what the page tells the user.

// Give the thread to the browser, which presents the frame and runs its
// handlers, for at least this long; longer while the WebGL context is lost,
// and for good once it is given up.
void JsSleep(int milliseconds);

// Show a modal box in the page; returns once it is dismissed.
void JsMessageBox(const char *text, const char *caption);
// Say on the page that the program has ended, with its exit code.
void JsProgramEnded(int exitCode);
// The one place failures are written: the browser's console, each once.
void JsReportError(const char *what, const char *detail);
}

#endif
