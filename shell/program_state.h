// The program state the shell's routines share, and the routines themselves.
// Written against the Win32 and WGL interface only.
#ifndef TOWER_SHELL_PROGRAM_STATE_H
#define TOWER_SHELL_PROGRAM_STATE_H

#include <windows.h>

extern HWND g_hWnd;
extern HDC g_hDC;
extern HGLRC g_hRC;
extern int g_width;
extern int g_height;
extern int g_fullscreen;
extern bool g_done;
// The exit code the quit request carries: 1 once any set-up step has failed,
// so that a launcher can tell a program that never ran from a normal quit.
extern int g_exitCode;

// The pixel format every window asks for, and the index it was given.
extern const PIXELFORMATDESCRIPTOR kPixelFormatTemplate;
extern int g_pixelFormat;

// Release the rendering context, ask the frame loop to end and give the
// display mode back. Safe to call any number of times, in any state.
void TearDownGL();

// Return the display to its registry mode.
void RestoreDisplayMode();

// Switch the display to a mode; a refusal is reported and tears down.
void SetDisplayMode(int width, int height, int bits);

// Create the program's window, full-screen when fullscreen is 1.
void CreateMainWindow(HINSTANCE instance, int width, int height, int fullscreen);

// Choose and set the pixel format on g_hDC.
void SetupPixelFormat();

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif
