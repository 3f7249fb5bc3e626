// A message box's face: the "fixed" font where the server has it, the
// caption and the program's name over a rule where the box has no title bar,
// the text in lines over a centred OK button, drawn in black on the window's
// white.
#include "x11_box_face.h"

#include "x11_platform.h"

#include <cstring>

namespace x11 {

namespace {

constexpr int kMargin = 16;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kMinWidth = 240;
constexpr int kLineGap = 2;      // between one line's descent and the next one's ascent
constexpr int kPressedInset = 2; // the second frame that shows the button held down
constexpr int kLabelRaise = 1;   // "OK"'s baseline, above where centring its ascent puts it
// Where the server has no font at all to tell us about, "fixed"'s metrics.
constexpr int kFallbackAscent = 11;
constexpr int kFallbackDescent = 2;
constexpr int kFallbackCharWidth = 6;
constexpr char kProgramName[] = "tower";
constexpr int kProgramNameLength = sizeof kProgramName - 1;

void LoadFont(X11BoxFace &face)
{
    face.font = XLoadQueryFont(g_x11.display, "fixed");
    face.fontLoaded = face.font != nullptr;
    if (face.font == nullptr) {
        face.font = XQueryFont(g_x11.display, XGContextFromGC(face.gc));
    }
    if (face.font != nullptr) {
        if (face.fontLoaded) {
            XSetFont(g_x11.display, face.gc, face.font->fid);
        }
        face.ascent = face.font->ascent;
        face.lineHeight = face.font->ascent + face.font->descent + kLineGap;
    } else {
        face.ascent = kFallbackAscent;
        face.lineHeight = kFallbackAscent + kFallbackDescent + kLineGap;
    }
}

int TextWidth(const X11BoxFace &face, const char *text, int length)
{
    return face.font != nullptr ? XTextWidth(face.font, text, length) : kFallbackCharWidth * length;
}

void Layout(X11BoxFace &face, const char *text)
{
    face.lineCount = 0;
    int widest = 0;
    face.textTop = kMargin;
    if (face.title != nullptr) {
        face.titleLength = static_cast<int>(std::strlen(face.title));
        widest = TextWidth(face, face.title, face.titleLength) + kMargin +
                 TextWidth(face, kProgramName, kProgramNameLength);
        face.textTop += face.lineHeight + kMargin;
    }
    const char *line = text;
    while (face.lineCount < kBoxMaxLines) {
        const char *end = std::strchr(line, '\n');
        const int length =
            end != nullptr ? static_cast<int>(end - line) : static_cast<int>(std::strlen(line));
        face.lines[face.lineCount] = line;
        face.lengths[face.lineCount] = length;
        ++face.lineCount;
        const int width = TextWidth(face, line, length);
        widest = width > widest ? width : widest;
        if (end == nullptr) {
            break;
        }
        line = end + 1;
    }
    face.width = widest + 2 * kMargin;
    face.width = face.width < kMinWidth ? kMinWidth : face.width;
    face.height =
        face.textTop + face.lineCount * face.lineHeight + kMargin + kButtonHeight + kMargin;
    face.button.x = static_cast<short>((face.width - kButtonWidth) / 2);
    face.button.y = static_cast<short>(face.height - kMargin - kButtonHeight);
    face.button.width = kButtonWidth;
    face.button.height = kButtonHeight;
}

} // namespace

bool X11InitBoxFace(X11BoxFace &face, const char *text, const char *title)
{
    face.title = title;
    Display *display = g_x11.display;
    face.gc = XCreateGC(display, g_x11.root, 0, nullptr);
    if (face.gc == nullptr) {
        X11ReportError("cannot show a message box", "no graphics context");
        return false;
    }
    XSetForeground(display, face.gc, BlackPixel(display, g_x11.screen));
    LoadFont(face);
    Layout(face, text);
    return true;
}

void X11DrawBoxFace(const X11BoxFace &face, Window window)
{
    Display *display = g_x11.display;
    XClearWindow(display, window);
    if (face.title != nullptr) {
        XDrawString(display, window, face.gc, kMargin, kMargin + face.ascent, face.title,
                    face.titleLength);
        XDrawString(display, window, face.gc,
                    face.width - kMargin - TextWidth(face, kProgramName, kProgramNameLength),
                    kMargin + face.ascent, kProgramName, kProgramNameLength);
        const int rule = face.textTop - kMargin / 2;
        XDrawLine(display, window, face.gc, kMargin / 2, rule, face.width - kMargin / 2, rule);
    }
    for (int i = 0; i < face.lineCount; ++i) {
        XDrawString(display, window, face.gc, kMargin,
                    face.textTop + face.ascent + i * face.lineHeight, face.lines[i],
                    face.lengths[i]);
    }
    const XRectangle &b = face.button;
    XDrawRectangle(display, window, face.gc, b.x, b.y, b.width, b.height);
    if (face.buttonDown) {
        XDrawRectangle(display, window, face.gc, b.x + kPressedInset, b.y + kPressedInset,
                       b.width - 2u * kPressedInset, b.height - 2u * kPressedInset);
    }
    const int labelWidth = TextWidth(face, "OK", 2);
    XDrawString(display, window, face.gc, b.x + (b.width - labelWidth) / 2,
                b.y + (b.height + face.ascent) / 2 - kLabelRaise, "OK", 2);
}

bool X11InBoxButton(const X11BoxFace &face, int x, int y)
{
    const XRectangle &b = face.button;
    return x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height;
}

void X11FreeBoxFace(X11BoxFace &face)
{
    Display *display = g_x11.display;
    if (face.font != nullptr) {
        if (face.fontLoaded) {
            XFreeFont(display, face.font);
        } else {
            XFreeFontInfo(nullptr, face.font, 0);
        }
    }
    XFreeGC(display, face.gc);
}

} // namespace x11
