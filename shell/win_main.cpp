// The entry point and the frame loop.
#include "program_state.h"

#include "renderer.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd)
{
    (void)hPrevInstance;
    (void)lpCmdLine;
    (void)nShowCmd;

    WNDCLASSEXA wc;
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    // No background brush: the window is never erased, only drawn over.
    wc.hbrBackground = NULL;
    wc.lpszMenuName = NULL;
    wc.lpszClassName = "GLClass";
    wc.hIconSm = NULL;

    if (!RegisterClassExA(&wc)) {
        MessageBoxA(NULL, "Failed to register the window class", "Window Reg Error", MB_OK);
        return 1;
    }

    CreateMainWindow(hInstance, g_width, g_height, 1);

    MSG msg;
    msg.wParam = 0;
    while (!g_done) {
        // One message per pass: drawing never waits for the queue to drain.
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                g_done = true;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }

        DrawScene();
        Sleep(1);
        SwapBuffers(g_hDC);

        // Asynchronous, so Escape quits whichever window has the focus.
        if (GetAsyncKeyState(VK_ESCAPE)) {
            TearDownGL();
        }
    }

    return static_cast<int>(msg.wParam);
}
