// A message box's face: its font, the layout of its lines and OK button, and
// drawing them. Only x11_message_box.cpp, which owns the window and its
// events, uses it.
#ifndef TOWER_PLATFORM_X11_BOX_FACE_H
#define TOWER_PLATFORM_X11_BOX_FACE_H

#include <X11/Xlib.h>

namespace x11 {

constexpr int kBoxMaxLines = 16;

struct X11BoxFace {
    // The caption, drawn at the top of the face with the program's name
    // where no window manager draws a title bar; null where one does.
    const char *title;
    int titleLength;
    int textTop; // where the text's lines begin
    GC gc;
    XFontStruct *font;
    bool fontLoaded; // ours to unload, rather than the GC's own font's info
    int lineCount;
    const char *lines[kBoxMaxLines]; // into the text, which outlives the face
    int lengths[kBoxMaxLines];
    int lineHeight;
    int ascent;
    int width;
    int height;
    XRectangle button;
    bool buttonDown;
};

// Lay the title, when there is one, and the text out; false, and said, when
// the face cannot be had.
bool X11InitBoxFace(X11BoxFace &face, const char *text, const char *title);
void X11DrawBoxFace(const X11BoxFace &face, Window window);
bool X11InBoxButton(const X11BoxFace &face, int x, int y);
void X11FreeBoxFace(X11BoxFace &face);

} // namespace x11

#endif
