// Preloaded into the program, it makes the X server's XInput say version
// 2.0, which sends no raw key events to the root window (2.1 added them), so
// the program must read the keyboard on every poll instead. Xvfb cannot
// leave XInput out to show that.
#include <X11/extensions/XInput2.h>

extern "C" Status XIQueryVersion(Display * /*display*/, int *major, int *minor)
{
    *major = 2;
    *minor = 0;
    return Success;
}
