// The Win32 rules the stand-in's core gives the shell: the queue, classes,
// window creation and destruction, contexts and the key state.
#include "shell_fixture.h"

namespace {

std::vector<UINT> g_seen;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_seen.push_back(message);
    if (message == WM_CREATE && wParam == 0 &&
        reinterpret_cast<const CREATESTRUCTA *>(lParam)->lpCreateParams != nullptr) {
        return -1; // asked to refuse creation
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void RegisterRecordingClass()
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recording";
    ASSERT_NE(RegisterClassExA(&wc), 0);
}

class CoreTest : public ShellTest {
  protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        g_seen.clear();
    }
};

TEST_F(CoreTest, QueueHandsOutOneMessageAtATimeAndQuitLast)
{
    PostQuitMessage(7);
    PostQuitMessage(3); // coalesces with the first; the latest code wins
    for (UINT m = WM_USER; m < WM_USER + 3; ++m) {
        ASSERT_TRUE(PostMessageA(nullptr, m, m, 0));
    }
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER)) << "PM_NOREMOVE leaves it queued";
    for (UINT m = WM_USER; m < WM_USER + 3; ++m) {
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, m);
    }
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 3U);
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

    PostQuitMessage(0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
}

TEST_F(CoreTest, QueueRefusesPastItsCapacityAndRecovers)
{
    Script().maxPasses = 1000000;
    int posted = 0;
    while (PostMessageA(nullptr, WM_USER, 0, 0) && posted <= 20000) {
        ++posted;
    }
    EXPECT_EQ(posted, 10000);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0));
    int drained = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ++drained;
    }
    EXPECT_EQ(drained, 10000);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1)) << "first in, first out across the wrap";
}

TEST_F(CoreTest, ClassesAreCheckedAndRegisteredOnce)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc - 1;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recording";
    EXPECT_EQ(RegisterClassExA(&wc), 0) << "wrong cbSize";
    wc.cbSize = sizeof wc;
    EXPECT_NE(RegisterClassExA(&wc), 0);
    EXPECT_EQ(RegisterClassExA(&wc), 0) << "registered twice";
    EXPECT_EQ(CreateWindowExA(0, "Unknown", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    // Each refusal says why, through the backend's sink.
    EXPECT_EQ(Record().reports,
              (std::vector<std::string>{
                  "cannot register a window class: its WNDCLASSEXA lacks a size, a procedure or "
                  "a name",
                  "cannot register a window class: \"Recording\" is registered already",
                  "cannot create a window: no class \"Unknown\" is registered"}));
}

TEST_F(CoreTest, CreationSendsCreateThenSizeForPopupsOnly)
{
    RegisterRecordingClass();
    const HWND popup = CreateWindowExA(0, "Recording", "", WS_POPUP, 0, 0, 300, 200, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_CREATE, WM_SIZE}));

    // An overlapped window learns its size when first shown.
    g_seen.clear();
    const HWND overlapped = CreateWindowExA(0, "Recording", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                            nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(overlapped, nullptr);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_CREATE}));
    ShowWindow(overlapped, SW_SHOW);
    ShowWindow(overlapped, SW_SHOW);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_CREATE, WM_SIZE}));

    // A WM_CREATE that answers -1 fails the creation; the window is destroyed.
    g_seen.clear();
    int refuse = 1;
    EXPECT_EQ(CreateWindowExA(0, "Recording", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                              nullptr, &refuse),
              nullptr);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
}

TEST_F(CoreTest, DefaultProcedureDestroysOnCloseAndTheHandleDies)
{
    RegisterRecordingClass();
    const HWND hwnd = CreateWindowExA(0, "Recording", "", WS_POPUP, 0, 0, 300, 200, nullptr,
                                      nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    const HDC hdc = GetDC(hwnd);
    ASSERT_NE(hdc, nullptr);
    EXPECT_EQ(GetDC(hwnd), hdc) << "a class's own DC is the same every time";
    g_seen.clear();
    ASSERT_TRUE(PostMessageA(hwnd, WM_CLOSE, 0, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(PostMessageA(hwnd, WM_USER, 0, 0));
    EXPECT_EQ(GetDC(hwnd), nullptr);
    EXPECT_FALSE(SwapBuffers(hdc));
}

TEST_F(CoreTest, ContextsNeedAPixelFormatAndDieOnce)
{
    RegisterRecordingClass();
    const HWND hwnd = CreateWindowExA(0, "Recording", "", WS_POPUP, 0, 0, 300, 200, nullptr,
                                      nullptr, nullptr, nullptr);
    const HDC hdc = GetDC(hwnd);
    EXPECT_EQ(wglCreateContext(hdc), nullptr) << "no pixel format yet";
    EXPECT_FALSE(SwapBuffers(hdc));
    const int format = ChoosePixelFormat(hdc, &kPixelFormatTemplate);
    ASSERT_GT(format, 0);
    EXPECT_FALSE(SetPixelFormat(hdc, 0, &kPixelFormatTemplate));
    ASSERT_TRUE(SetPixelFormat(hdc, format, &kPixelFormatTemplate));
    EXPECT_FALSE(SetPixelFormat(hdc, format + 1, &kPixelFormatTemplate)) << "set once";

    const HGLRC rc = wglCreateContext(hdc);
    ASSERT_NE(rc, nullptr);
    EXPECT_TRUE(wglMakeCurrent(hdc, rc));
    EXPECT_NE(Record().current, 0U);
    EXPECT_TRUE(wglDeleteContext(rc));
    EXPECT_EQ(Record().current, 0U) << "deleting the current context releases it";
    EXPECT_FALSE(wglDeleteContext(rc));
    EXPECT_FALSE(wglMakeCurrent(hdc, rc));
    EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_FALSE(wglDeleteContext(nullptr));
}

TEST_F(CoreTest, KeyStateReportsDownAndPressedSinceLastPoll)
{
    Script().escapeDown = [](long pass) { return pass >= 1 && pass <= 2; };
    MSG msg;
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); // pass 1
    EXPECT_EQ(static_cast<unsigned short>(GetAsyncKeyState(VK_ESCAPE)), 0x8001U);
    EXPECT_EQ(static_cast<unsigned short>(GetAsyncKeyState(VK_ESCAPE)), 0x8000U);
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); // pass 2
    EXPECT_EQ(static_cast<unsigned short>(GetAsyncKeyState(VK_ESCAPE)), 0x8000U);
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); // pass 3
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
    EXPECT_EQ(GetAsyncKeyState('A'), 0);
}

TEST_F(CoreTest, DisplayModeFieldsNotNamedKeepTheirValues)
{
    Script().screenWidth = 1280;
    Script().screenHeight = 1024;
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1024);
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_BITSPERPEL;
    mode.dmBitsPerPel = 16;
    mode.dmPelsWidth = 1; // not named in dmFields: ignored
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(Record().modeRequests.size(), 1U);
    EXPECT_TRUE((Record().modeRequests[0] == scripted::DisplayMode{1280, 1024, 16}));
    EXPECT_TRUE(Record().displayChanged);
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Record().displayChanged);
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN), DISP_CHANGE_BADPARAM);
}

TEST_F(CoreTest, WithoutModeSlotsOnlyTheCurrentSizeIsAccepted)
{
    // A backend whose mode cannot change leaves both slots empty.
    static platform::Backend fixed = scripted::Table();
    fixed.setDisplayMode = nullptr;
    fixed.restoreDisplayMode = nullptr;
    fixed.screenName = "page";
    platform::SetBackend(&fixed);
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    const struct {
        DWORD width, height, bits;
        LONG result;
    } cases[] = {{1920, 1080, 16, DISP_CHANGE_SUCCESSFUL}, {1920, 1080, 24, DISP_CHANGE_SUCCESSFUL},
                 {1920, 1080, 32, DISP_CHANGE_SUCCESSFUL}, {1920, 1080, 0, DISP_CHANGE_SUCCESSFUL},
                 {1280, 1080, 16, DISP_CHANGE_BADMODE},    {1920, 1080, 8, DISP_CHANGE_BADMODE}};
    for (const auto &c : cases) {
        mode.dmPelsWidth = c.width;
        mode.dmPelsHeight = c.height;
        mode.dmBitsPerPel = c.bits;
        EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), c.result)
            << c.width << " " << c.bits;
    }
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Record().modeRequests.empty() && Record().restores == 0) << "the core answered";
    EXPECT_EQ(Record().reports,
              (std::vector<std::string>{
                  "cannot change the screen's size: 1280x1080 asked for, the page is 1920x1080",
                  "no such colour depth: 8 bits per pixel"}));
}

} // namespace
