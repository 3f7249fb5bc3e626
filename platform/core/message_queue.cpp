// The thread's message queue: posted messages first in, first out, and the
// quit request, which waits until no posted message is left.
#include "core.h"

namespace platform {

bool PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_core.queueSize == kQueueCapacity) {
        ReportError("the message queue is full", "messages are lost");
        return false;
    }
    const int tail = (g_core.queueHead + g_core.queueSize) % kQueueCapacity;
    MSG &msg = g_core.queue[tail];
    msg = MSG{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    ++g_core.queueSize;
    return true;
}

} // namespace platform

using namespace platform;

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg)
{
    // Only the form the program uses is served: any window, any message.
    if (msg == nullptr || hwnd != nullptr || filterMin != 0 || filterMax != 0) {
        ReportError("cannot peek at the queue", "only a MSG for any window and message is served");
        return FALSE;
    }
    g_core.backend->pumpEvents();
    if (g_core.queueSize > 0) {
        *msg = g_core.queue[g_core.queueHead];
        if ((removeMsg & PM_REMOVE) != 0) {
            g_core.queueHead = (g_core.queueHead + 1) % kQueueCapacity;
            --g_core.queueSize;
        }
        return TRUE;
    }
    if (g_core.quitPending) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(g_core.quitCode);
        if ((removeMsg & PM_REMOVE) != 0) {
            g_core.quitPending = false;
        }
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A null window posts to the thread, as PostThreadMessage would.
    if (hwnd != nullptr && WindowIndex(hwnd) < 0) {
        return FALSE;
    }
    return PostToQueue(hwnd, message, wParam, lParam) ? TRUE : FALSE;
}

void WINAPI PostQuitMessage(int exitCode)
{
    // Repeated requests before the next retrieval make one WM_QUIT, carrying
    // the latest exit code.
    g_core.quitPending = true;
    g_core.quitCode = exitCode;
}

BOOL WINAPI TranslateMessage(const MSG *msg)
{
    // Character messages are never used, so nothing is ever translated.
    (void)msg;
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg)
{
    if (msg == nullptr || msg->message == WM_QUIT) {
        return 0;
    }
    const int index = WindowIndex(msg->hwnd);
    if (index < 0) {
        return 0;
    }
    return SendToWindow(index, msg->message, msg->wParam, msg->lParam);
}
