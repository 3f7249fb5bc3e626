// Sleep as the frame loop's Sleep(1) needs it.
#include "posix.h"

#include <cerrno>
#include <ctime>

namespace posix {

void PosixSleep(DWORD milliseconds)
{
    timespec wait = {};
    wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    timespec left = {};
    // A signal cuts the wait short; its close request can wait for the
    // rest of it, as it is at most a frame.
    while (nanosleep(&wait, &left) != 0 && errno == EINTR) {
        wait = left;
    }
}

} // namespace posix
